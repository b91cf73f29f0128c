// The object behind the six exported functions: it owns the installer engine, the settings
// shim, the clock and the install-hint sender, and keeps the specs the host added.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "api/IInstallHints.h"
#include "api/ISettings.h"
#include "api/ITime.h"
#include "engine/IVomoInstall.h"

namespace vcm {
class InstallLog;
}

// One spec added by the host: the role a component's spec must offer, the spec's name and its
// version. (The host writes "name;role;version".)
struct SpecRecord {
    std::string role;
    std::string name;
    std::string version;
};

// Splits a ";"-separated text, keeping empty fields; a null or empty text gives no field.
std::vector<std::string> SplitList(const char* text);

// Declared with the struct key so that the C header's "typedef struct ComponentManager" names
// this very type.
struct ComponentManager {
public:
    // The real members: an engine for the built-in (or VOMO_MANIFEST_URL) manifest address, a
    // settings shim, a local clock and a hint sender, made in that order.
    ComponentManager();
    // Given members, for hosts that bring their own (tests use substitutes); any may be null.
    ComponentManager(const boost::shared_ptr<vmi::IVomoInstall>& engine,
                     const boost::shared_ptr<vcm::ISettings>& settings,
                     const boost::shared_ptr<vcm::ITime>& clock,
                     const boost::shared_ptr<vcm::IPingSender>& pinger);
    // Empties the spec list, then releases the pinger, the clock, the settings and the engine.
    ~ComponentManager();

    ComponentManager(const ComponentManager&) = delete;
    ComponentManager& operator=(const ComponentManager&) = delete;

    void AddSpec(const SpecRecord& spec);

    // Download, verify, extract and load the manifest: 0, or the export codes 1, 4, 5, 6, 8.
    int PrepareManifest();

    // Ids of the components offering the added specs, ascending by bytes: 0, 12, 13, 14 or a
    // preparation code. Consumes the specs once preparation has succeeded.
    int FindComponents(std::vector<std::string>& ids);

    // Leaves in `ids` the components that have an update: 0, 1, 9 or 11.
    int CheckForUpdates(std::vector<std::string>& ids, bool force);

    // Installs the manifest version of the components: 0, 1 or 7.
    int UpdateComponents(const std::vector<std::string>& ids);

    // Whether the update check lets every machine take a release, whatever share of machines
    // its staged rollout has reached (a tester's view); false unless set.
    void SetRolloutIgnored(bool ignored) { rolloutIgnored_ = ignored; }

    bool IsLoaded() const { return loaded_; }
    const std::vector<SpecRecord>& GetSpecs() const { return specs_; }

    // Update schedule helpers.
    // Days between unforced checks: 0 read or defaulted to 3 (written back); 1 when the
    // default could not be written.
    int GetCheckInterval(uint32_t& interval);
    // Whether the component (or the pseudo id "all") is due for an unforced check.
    bool IsCheckDue(const std::string& id);
    // Whole days from a stamp (full year, 0-based month) to now, truncated toward zero.
    int32_t DaysSince(const struct tm& stamp);
    // Writes the current local time as the check date of the component (or of "all").
    int RecordCheckDate(const std::string& id);
    // "%04d%02d%02d%02d%02d%02d" of year, month index, day, hour, minute, second.
    static void FormatTimeStamp(const struct tm& time, std::string& stamp);

private:
    // Whether this machine takes the manifest's version of `component` now: within the
    // release's staged rollout, or rollouts ignored (RolloutCheck.cpp).
    bool TakesRelease(vmi::IComponent& component);

    // The real members, all telling the install log `log` what they do.
    explicit ComponentManager(const boost::shared_ptr<vcm::InstallLog>& log);

    bool loaded_ = false;
    bool rolloutIgnored_ = false;
    boost::shared_ptr<vmi::IVomoInstall> engine_;
    boost::shared_ptr<vcm::ISettings> settings_;
    boost::shared_ptr<vcm::ITime> clock_;
    boost::shared_ptr<vcm::IPingSender> pinger_;
    std::vector<SpecRecord> specs_;
    // Whether this manager pointed the registry's failure reports at its install log.
    bool ownsFailureSink_ = false;
};
