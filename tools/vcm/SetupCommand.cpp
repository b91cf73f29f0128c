#include "tools/vcm/SetupCommand.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <thread>

#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

#include "api/Addresses.h"
#include "api/FirstInstallHints.h"
#include "api/InstallHints.h"
#include "api/InstallLog.h"
#include "api/SettingsShim.h"
#include "engine/Locale.h"
#include "engine/MultiLangStringImpl.h"
#include "engine/VomoInstallImpl.h"
#include "offers/IMessage.h"
#include "platform/Interrupt.h"
#include "sessions/InstallSessionImpl.h"
#include "settings/KeyName.h"
#include "settings/SettingsAccessors.h"
#include "tools/vcm/LogView.h"
#include "tools/vcm/Meanings.h"
#include "tools/vcm/SetupCatalogue.h"
#include "tools/vcm/SetupDialog.h"
#include "tools/vcm/SetupProgress.h"
#include "tools/vcm/WizardPages.h"

namespace vcmtool {

namespace {

const int kUsageError = 64;
const int kNotOffered = 2;
const int kInstallFailed = 9;
const int kRestartRequired = 13;
const int kContinue = -1;  // a page's answer when the setup goes on

const uint32_t kManifestDownloadRunning = 5;
const uint32_t kSessionFinished = 7;
const std::chrono::milliseconds kManifestPollInterval(50);

const char kDefaultInstallDir[] = "/opt/vomo";
const char kNoOffers[] = "none";

struct Options {
    std::string bundle;
    std::string distributor;
    std::string dir;
    bool unattended = false;
    bool acceptLicence = false;
    bool componentsGiven = false;
    std::vector<std::string> components;
    bool offersGiven = false;
    std::vector<std::string> offers;
};

std::vector<std::string> SplitIds(const std::string& text) {
    std::vector<std::string> ids;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = text.find(';', start);
        const std::string id = text.substr(start, end == std::string::npos ? end : end - start);
        if (!id.empty()) {
            ids.push_back(id);
        }
        if (end == std::string::npos) {
            return ids;
        }
        start = end + 1;
    }
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

bool ParseOptions(const std::vector<std::string>& args, Options& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--bundle" || arg == "--distributor" || arg == "--dir" ||
                                arg == "--components" || arg == "--offers";
        if (takesValue && i + 1 >= args.size()) {
            std::fprintf(stderr, "vcm: %s needs a value\n", arg.c_str());
            return false;
        }
        if (arg == "--bundle") {
            options.bundle = args[++i];
        } else if (arg == "--distributor") {
            options.distributor = args[++i];
        } else if (arg == "--dir") {
            options.dir = args[++i];
            if (options.dir.empty() || options.dir[0] != '/') {
                std::fprintf(stderr, "vcm: --dir takes an absolute folder\n");
                return false;
            }
        } else if (arg == "--components") {
            options.componentsGiven = true;
            options.components = SplitIds(args[++i]);
        } else if (arg == "--offers") {
            options.offersGiven = true;
            const std::string value = args[++i];
            options.offers = value == kNoOffers ? std::vector<std::string>() : SplitIds(value);
        } else if (arg == "--yes") {
            options.unattended = true;
        } else if (arg == "--accept-licence" || arg == "--accept-license") {
            options.acceptLicence = true;
        } else {
            std::fprintf(stderr, "vcm: setup does not know \"%s\"\n", arg.c_str());
            return false;
        }
    }
    if (options.bundle.empty()) {
        std::fprintf(stderr, "vcm: setup needs --bundle NAME\n");
        return false;
    }
    return true;
}

// Downloads, verifies and loads the manifest with the bundle's name as the download tag, which
// selects the bundle. 0, or the engine's code: 7 or 8 (download), 18 (signature), 19
// (extraction), 14 (the XML).
uint32_t PrepareManifest(VomoInstallImpl& engine, const std::string& bundle) {
    uint32_t result = engine.BeginManifestDownload(bundle);
    if (result != 0) {
        return result;
    }
    platform::InterruptScope interrupts;  // a held interrupt signal ends the download
    while ((result = engine.PollManifestDownload()) == kManifestDownloadRunning) {
        std::this_thread::sleep_for(kManifestPollInterval);
        platform::PollInterrupt();
    }
    if (result == 0) {
        result = engine.LoadManifest();
    }
    if (result == 0) {
        engine.LoadInstalledState();  // the recorded bundle groups and install groups
    }
    return result;
}

class SetupRun {
public:
    explicit SetupRun(const Options& options)
        : options_(options),
          terminal_(::isatty(STDOUT_FILENO) != 0),
          engine_(boost::make_shared<VomoInstallImpl>(Url(vcm::ManifestUrlText()), 0)) {
        engine_->SetEventLog(boost::make_shared<vcm::InstallLog>());
    }

    int Run() {
        if (options_.unattended && !options_.acceptLicence) {
            std::fprintf(stderr,
                         "vcm: an unattended setup needs --accept-licence: nothing installs "
                         "before its licence was accepted\n");
            return kLicenceNotAccepted;
        }
        vmi::Locale::SelectIfNone("en-us");
        language_ = vmi::Locale::CurrentCode();
        const uint32_t prepared = PrepareManifest(*engine_, options_.bundle);
        if (prepared != 0) {
            return static_cast<int>(prepared);
        }
        if (!ReadSetupCatalogue(*engine_, language_, catalogue_)) {
            std::fprintf(stderr, "vcm: the manifest has no bundle \"%s\" with components\n",
                         options_.bundle.c_str());
            return kNotOffered;
        }
        int answer = TakeGivenChoices();
        for (SetupPage page : OrderSetupPages(catalogue_.layout)) {
            if (answer != kContinue) {
                return answer;
            }
            answer = Show(page);
        }
        return answer != kContinue ? answer : Install();
    }

private:
    // The choices the command line names, checked against what the bundle offers.
    int TakeGivenChoices() {
        for (const std::string& id : options_.components) {
            if (std::none_of(catalogue_.choices.begin(), catalogue_.choices.end(),
                             [&](const SetupChoice& c) { return c.id == id; })) {
                std::fprintf(stderr, "vcm: the bundle has no component or install group \"%s\"\n",
                             id.c_str());
                return kNotOffered;
            }
        }
        for (const SetupChoice& choice : catalogue_.choices) {
            const bool wanted = options_.componentsGiven ? Contains(options_.components, choice.id)
                                                         : choice.defaultChecked;
            if (choice.optional && wanted) {
                chosen_.push_back(choice.id);
            }
        }
        for (const std::string& id : options_.offers) {
            if (Contains(catalogue_.heldBackOffers, id)) {
                std::fprintf(stderr, "vcm: the offer \"%s\" is not made on this machine\n",
                             id.c_str());
            } else if (std::none_of(catalogue_.offers.begin(), catalogue_.offers.end(),
                                    [&](const SetupOffer& o) { return o.plugin.id == id; })) {
                std::fprintf(stderr, "vcm: the bundle has no offer \"%s\"\n", id.c_str());
                return kNotOffered;
            }
        }
        for (const SetupOffer& offer : catalogue_.offers) {
            if (Contains(options_.offers, offer.plugin.id)) {
                kept_.push_back(offer.plugin);
            }
        }
        dir_ = options_.dir;
        if (dir_.empty() && !vmds::ReadInstallString(vmds::kSetupKeyName, "InstallDir", dir_)) {
            dir_ = kDefaultInstallDir;
        }
        if (options_.unattended) {
            for (const boost::shared_ptr<vmi::IEula>& licence : catalogue_.licences) {
                std::string id;
                licence->GetId(id);
                accepted_.push_back(id);
            }
        }
        return kContinue;
    }

    int Show(SetupPage page) {
        switch (page) {
            case SetupPage::kWelcome:
                return Welcome();
            case SetupPage::kLicence:
                return options_.unattended ? kContinue : Licence();
            case SetupPage::kComponents:
                return options_.unattended ? kContinue : Components();
            case SetupPage::kOffers:
                return options_.unattended ? kContinue : Offers();
            case SetupPage::kDirectory:
                return options_.unattended ? kContinue : Directory();
        }
        return kContinue;
    }

    int Welcome() {
        const std::string heading =
            catalogue_.heading.empty() ? options_.bundle : catalogue_.heading;
        std::printf("%s%s%s\n", Printable(heading).c_str(),
                    catalogue_.marketingVersion.empty() ? "" : " ",
                    Printable(catalogue_.marketingVersion).c_str());
        if (!catalogue_.description.empty()) {
            std::printf("%s\n", Printable(catalogue_.description).c_str());
        }
        std::printf("\n");
        return kContinue;
    }

    int Licence() {
        for (const boost::shared_ptr<vmi::IEula>& licence : catalogue_.licences) {
            std::string id;
            std::string url;
            std::string text;
            std::string why;
            licence->GetId(id);
            if (licence->GetLocalizedUrl(language_, url) != 0) {
                why = "it has no address";
            } else if (!FetchText(url, text, why)) {
                why = url + ": " + why;
            }
            if (!why.empty()) {
                std::fprintf(stderr, "vcm: the licence \"%s\" cannot be shown: %s\n", id.c_str(),
                             why.c_str());
                return kLicenceNotAccepted;
            }
            std::printf("Licence %s:\n", Printable(id).c_str());
            ShowPaged(text);
            bool yes = false;
            if (!AskYesNo("Do you accept this licence?", false, yes) || !yes) {
                return kLicenceNotAccepted;
            }
            accepted_.push_back(id);
        }
        return kContinue;
    }

    int Components() {
        std::string always;
        for (const SetupChoice& choice : catalogue_.choices) {
            if (choice.installed) {
                std::printf("%s is installed already.\n", Printable(choice.name).c_str());
            } else if (!choice.optional) {
                always += (always.empty() ? "" : ", ") + Printable(choice.name);
            }
        }
        if (!always.empty()) {
            std::printf("Always installed: %s\n", always.c_str());
        }
        std::vector<std::string> chosen;
        for (const SetupChoice& choice : catalogue_.choices) {
            if (!choice.optional || choice.installed) {
                continue;
            }
            std::string question = "Install " + Printable(choice.name);
            if (!choice.description.empty()) {
                question += " (" + Printable(choice.description) + ")";
            }
            bool yes = false;
            if (!AskYesNo(question + "?", Contains(chosen_, choice.id), yes)) {
                return kSetupNoAnswer;
            }
            if (yes) {
                chosen.push_back(choice.id);
            }
        }
        chosen_ = chosen;
        return kContinue;
    }

    int Offers() {
        std::vector<PluginRecord> kept;
        for (const SetupOffer& offer : catalogue_.offers) {
            const bool proposed =
                std::any_of(kept_.begin(), kept_.end(),
                            [&](const PluginRecord& p) { return p.id == offer.plugin.id; });
            bool yes = false;
            if (!AskYesNo("Also install the offer " + Printable(offer.name) + "?", proposed, yes)) {
                return kSetupNoAnswer;
            }
            if (yes) {
                kept.push_back(offer.plugin);
            }
        }
        kept_ = kept;
        return kContinue;
    }

    int Directory() {
        for (;;) {
            std::string answer;
            if (!AskText("Install into", dir_, answer)) {
                return kSetupNoAnswer;
            }
            if (!answer.empty() && answer[0] == '/') {
                dir_ = answer;
                return kContinue;
            }
            std::printf("Please give an absolute folder (one that starts with \"/\").\n");
        }
    }

    // The messages the components name, each once, in the install order.
    void ShowMessages(const vmi::ComponentList& components) {
        std::vector<boost::shared_ptr<vmi::IMessage>> messages;
        engine_->GetMessages(messages);
        std::set<std::string> shown;
        for (const vmi::ComponentPtr& component : components) {
            const std::string ref = component->GetMessageRef();
            if (ref.empty() || !shown.insert(ref).second) {
                continue;
            }
            for (const boost::shared_ptr<vmi::IMessage>& message : messages) {
                std::string id;
                std::string text;
                message->GetId(id);
                if (id == ref && message->GetLocalizedText(language_, text) == 0) {
                    std::printf("%s\n", Printable(text).c_str());
                    break;
                }
            }
        }
    }

    int Install() {
        engine_->SetInstallDir(dir_);
        vmi::ComponentList components;
        if (ComponentsToInstall(*engine_, catalogue_, chosen_, components) != 0) {
            std::fprintf(stderr,
                         "vcm: the chosen components require one the manifest does not have, "
                         "or require each other in a circle\n");
            return kNotOffered;
        }
        if (components.empty() && kept_.empty()) {
            std::printf("Nothing to install: the chosen components are installed already.\n");
            return 0;
        }
        ShowMessages(components);
        std::vector<ShownBanner> banners;
        for (const BannerPtr& banner : engine_->GetDistributorBanners(options_.distributor)) {
            ShownBanner shown;
            if (banner->GetLocalizedUrl(language_, shown.url) == 0) {
                banner->GetDisplayDuration(shown.seconds);
                banners.push_back(shown);
            }
        }
        boost::shared_ptr<vmi::IInstallSession> session;
        const uint32_t started = engine_->StartInstallSession(components, kept_, session);
        if (started != 0) {
            return static_cast<int>(started);
        }
        const bool finished = FollowInstall(*session, banners, terminal_) == kSessionFinished;

        std::vector<std::string> ids;
        for (const vmi::ComponentPtr& component : components) {
            ids.push_back(component->GetId());
        }
        if (finished && engine_->CompleteInstall(accepted_) != 0) {
            std::fprintf(stderr, "vcm: the install could not be recorded completely\n");
        }
        {
            vcm::SettingsShim settings;
            vcm::PingSender pinger;  // waits, when released, until the hints were tried
            vcm::SendInstallHints(settings, &pinger, ids, finished);
        }
        if (!finished) {
            return kInstallFailed;
        }
        Summary(components, *session);
        return session->IsRebootRequired() ? kRestartRequired : 0;
    }

    void Summary(const vmi::ComponentList& components, vmi::IInstallSession& session) {
        std::printf("\nInstalled into %s:\n", dir_.c_str());
        std::vector<std::string> ids;
        for (const vmi::ComponentPtr& component : components) {
            ids.push_back(component->GetId());
            std::string version;
            component->GetDisplayVersion(version);
            if (version.empty()) {
                Version latest;
                component->GetLatestVersion(latest);
                version = latest.ToString();
            }
            std::printf("  %s %s\n", Printable(SetupName(component)).c_str(),
                        Printable(version).c_str());
        }
        InstallSessionImpl* install = dynamic_cast<InstallSessionImpl*>(&session);
        for (const OfferRecord& offer :
             install ? install->GetInstalledOffers() : std::vector<OfferRecord>()) {
            std::printf("  offer %s\n", Printable(OfferName(offer.id)).c_str());
        }
        std::string page;
        if (engine_->GetPostInstallPage(ids, page) != 0 || page.empty()) {
            page = engine_->GetSelectedBundleGroup().postInstallUrl;
        }
        if (!page.empty()) {
            std::printf("Next, see %s\n", Printable(page).c_str());
        }
        if (session.IsRebootRequired()) {
            std::printf("Restart the computer to finish the install.\n");
        }
    }

    std::string SetupName(const vmi::ComponentPtr& component) const {
        boost::shared_ptr<vmi::IMultiLangString> name;
        const std::string text =
            component->GetName(name) == 0 ? LocalizedOrEmpty(name, language_) : "";
        return text.empty() ? component->GetId() : text;
    }

    std::string OfferName(const std::string& id) const {
        for (const SetupOffer& offer : catalogue_.offers) {
            if (offer.plugin.id == id) {
                return offer.name;
            }
        }
        return id;
    }

    const Options options_;
    const bool terminal_;
    const boost::shared_ptr<VomoInstallImpl> engine_;
    std::string language_;
    SetupCatalogue catalogue_;
    std::vector<std::string> chosen_;    // the optional choices to install
    std::vector<PluginRecord> kept_;     // the offers to install
    std::vector<std::string> accepted_;  // the licence ids accepted
    std::string dir_;
};

}  // namespace

int SetupCommand(const std::vector<std::string>& args) {
    Options options;
    if (!ParseOptions(args, options)) {
        return kUsageError;
    }
    const std::streamoff logStart = LogSize();
    const int result = SetupRun(options).Run();
    if (result != 0 && result != kRestartRequired) {
        const std::string why = LastErrorLine(logStart);
        std::fprintf(stderr, "vcm: %s%s%s\n", Meaning("setup", result), why.empty() ? "" : ": ",
                     why.c_str());
    }
    return result;
}

}  // namespace vcmtool
