#include "tools/vcm/EngineCommands.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <vector>

#include <boost/chrono/duration.hpp>
#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>
#include <boost/thread/thread.hpp>

#include "api/Addresses.h"
#include "api/ControlCharacters.h"
#include "api/InstallLog.h"
#include "engine/ComponentImpl.h"
#include "engine/Locale.h"
#include "engine/VomoInstallImpl.h"
#include "platform/Interrupt.h"
#include "registry/IComponentRegistry.h"
#include "sessions/UninstallSessionImpl.h"

namespace vcmtool {

namespace {

const boost::chrono::milliseconds kPollInterval(100);

const uint32_t kNotFound = 2;
const uint32_t kUninstalling = 6;
const uint32_t kRemoved = 7;
const uint32_t kInstallFailed = 9;
const uint32_t kUninstallFailed = 10;
const uint32_t kNothingAsked = 15;

boost::shared_ptr<VomoInstallImpl> MakeEngine() {
    const boost::shared_ptr<VomoInstallImpl> engine =
        boost::make_shared<VomoInstallImpl>(Url(vcm::ManifestUrlText()), 0);
    engine->SetEventLog(boost::make_shared<vcm::InstallLog>());
    return engine;
}

// The hot-fix session's end, reported on its worker thread.
std::mutex hotFixMutex;
std::condition_variable hotFixEnded;
bool hotFixDone = false;
int32_t hotFixResult = 0;

void OnHotFixDone(int32_t result) {
    std::lock_guard<std::mutex> lock(hotFixMutex);
    hotFixDone = true;
    hotFixResult = result;
    hotFixEnded.notify_all();
}

}  // namespace

int Uninstall(const std::string& ids, Outcome& outcome) {
    std::vector<std::string> asked;
    std::istringstream list(ids);
    for (std::string id; std::getline(list, id, ';');) {
        if (!id.empty()) {
            asked.push_back(id);
        }
    }
    if (asked.empty()) {
        return kNothingAsked;
    }
    // Each asked id names an installed component or a recorded install group; the session
    // reads everything else from the registry.
    const boost::shared_ptr<IComponentRegistry> registry = CreateComponentRegistry();
    std::vector<ComponentRecord> installGroups;
    registry->LoadInstallGroups(installGroups);
    vmi::ComponentList components;
    for (const std::string& id : asked) {
        ComponentRecord record;
        record.id = id;
        for (const ComponentRecord& group : installGroups) {
            record.inInstallGroup = record.inInstallGroup || group.id == id;
        }
        if (!record.inInstallGroup && !registry->IsComponentInstalled(id)) {
            outcome.message = id + " is not installed";
            return kNotFound;
        }
        components.push_back(boost::make_shared<ComponentImpl>(record));
    }

    // The interrupt signals that vcm holds end the run (platform/Interrupt.h).
    platform::InterruptScope interrupts;
    const boost::shared_ptr<VomoInstallImpl> engine = MakeEngine();
    boost::shared_ptr<vmi::IInstallSession> session;
    const uint32_t started = engine->StartUninstallSession(components, session);
    if (started != 0) {
        return static_cast<int>(started);
    }
    uint32_t position = 0;
    uint32_t total = 0;
    uint32_t state = kUninstalling;
    while (session->GetProgress(position, total, state) == 0 && state == kUninstalling) {
        boost::this_thread::sleep_for(kPollInterval);
        platform::PollInterrupt();
    }
    const boost::shared_ptr<UninstallSessionImpl> run =
        boost::dynamic_pointer_cast<UninstallSessionImpl>(session);
    for (const ComponentRecord& record : run ? run->GetRecords() : std::vector<ComponentRecord>()) {
        if (!registry->IsComponentInstalled(record.id)) {
            outcome.ids.push_back(record.id);
        }
    }
    if (state != kRemoved) {
        return kUninstallFailed;
    }
    if (session->IsRebootRequired()) {
        outcome.message = "restart the computer to finish the removal";
        return kRestartRequired;
    }
    return 0;
}

int HotFix(Outcome& outcome) {
    // The installers are told a locale, as an update run tells them.
    vmi::Locale::SelectIfNone("en-us");
    platform::InterruptScope interrupts;
    const boost::shared_ptr<VomoInstallImpl> engine = MakeEngine();
    if (!engine->GetHotFixes()) {
        // The download's verdict tells a refused manifest from one without hot fixes for here.
        const uint32_t verdict = engine->PollManifestDownload();
        return verdict == 8 || verdict == 18 || verdict == 19 ? static_cast<int>(verdict)
                                                              : kNotFound;
    }
    nlohmann::ordered_json& listed = outcome.details["hotFixes"] = nlohmann::ordered_json::array();
    for (const HotFixRecord& hotFix : engine->GetHotFixList()) {
        outcome.lines.push_back(hotFix.id + " " + hotFix.componentId + " " + hotFix.version);
        listed.push_back(
            {{"id", hotFix.id}, {"component", hotFix.componentId}, {"version", hotFix.version}});
    }
    const uint32_t started = engine->StartHotFixSession(OnHotFixDone);
    if (started != 0) {
        return static_cast<int>(started);
    }
    std::unique_lock<std::mutex> lock(hotFixMutex);
    while (!hotFixEnded.wait_for(lock, std::chrono::milliseconds(100), [] { return hotFixDone; })) {
        lock.unlock();
        platform::PollInterrupt();
        lock.lock();
    }
    return hotFixResult == 0 ? 0 : kInstallFailed;
}

}  // namespace vcmtool
