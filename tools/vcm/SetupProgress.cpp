#include "tools/vcm/SetupProgress.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/Interrupt.h"
#include "sessions/InstallSessionImpl.h"
#include "tools/vcm/SetupDialog.h"

namespace vcmtool {

namespace {

typedef std::chrono::steady_clock Clock;

const std::chrono::milliseconds kPollInterval(100);
const float kLongestBanner = 3600;  // seconds a banner may hold its place

using namespace install_state;

const char* StateWord(uint32_t state) {
    switch (state) {
        case kOfferNotStarted:
            return "offers starting";
        case kDownloading:
            return "downloading";
        case kOfferDownloading:
            return "offers downloading";
        case kInstalling:
            return "installing";
        case kOfferInstalling:
            return "offers installing";
        case kFinished:
            return "finished";
        case kFailed:
            return "failed";
        default:
            return "starting";
    }
}

std::string StatusText(vmi::IInstallSession& session, uint32_t state) {
    const bool download =
        state == kDownloading || state == kOfferDownloading || state == kOfferNotStarted;
    std::string text;
    if (session.GetStatusText(download ? "download" : "install", text) == 0 && !text.empty()) {
        return text;
    }
    if (state == kDownloading || state == kInstalling) {
        std::string name;
        if (session.GetCurrentComponentText(name) == 0 && !name.empty()) {
            return (download ? "Downloading " : "Installing ") + name + "...";
        }
        return std::string();
    }
    if (state == kOfferNotStarted || state == kOfferDownloading) {
        return "Downloading offers, please wait...";
    }
    if (state == kOfferInstalling) {
        return "Installing offers, please wait...";
    }
    return std::string();
}

}  // namespace

uint32_t FollowInstall(vmi::IInstallSession& session, const std::vector<ShownBanner>& banners,
                       bool terminal) {
    size_t nextBanner = 0;
    Clock::time_point bannerDue = Clock::now();
    std::string lastShown;
    uint32_t state = 0;
    platform::InterruptScope interrupts;
    bool cancelled = false;
    for (;;) {
        uint32_t position = 0;
        uint32_t total = 0;
        // A held interrupt signal (tools/vcm/Signals.h) cancels the session's download, and
        // the session starts no further installer (platform/Interrupt.h).
        if (platform::PollInterrupt() != 0 && !cancelled) {
            session.Cancel();
            cancelled = true;
        }
        session.GetProgress(position, total, state);
        if (state == kFinished) {
            position = total;  // the session keeps the position of the last installer it ran
        }
        const std::string text = Printable(StatusText(session, state));
        char counts[64];
        std::snprintf(counts, sizeof counts, "%u/%u %s", position, total, StateWord(state));
        std::string line = std::string(counts) + (text.empty() ? "" : ": " + text);
        if (terminal) {
            const unsigned percent =
                total == 0
                    ? (state == kFinished ? 100u : 0u)
                    : static_cast<unsigned>(std::min<uint64_t>(100, 100ull * position / total));
            char bar[16];
            std::snprintf(bar, sizeof bar, "[%3u%%] ", percent);
            line = bar + line;
        }
        if (nextBanner < banners.size() && Clock::now() >= bannerDue) {
            const ShownBanner& banner = banners[nextBanner++];
            std::printf("%sBanner: %s\n", terminal ? "\r\033[K" : "",
                        Printable(banner.url).c_str());
            const float seconds = std::min(std::max(banner.seconds, 0.0f), kLongestBanner);
            bannerDue =
                Clock::now() + std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
            lastShown.clear();  // shown again below the banner
        }
        // Elsewhere than on a terminal a line is printed for each new state or text, not for
        // each byte downloaded.
        const std::string shown = StateWord(state) + text;
        if (terminal) {
            std::printf("\r\033[K%s", line.c_str());
        } else if (shown != lastShown) {
            std::printf("%s\n", line.c_str());
        }
        lastShown = shown;
        std::fflush(stdout);
        if (state == kFinished || state == kFailed) {
            break;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    if (terminal) {
        std::printf("\n");
    }
    return state;
}

}  // namespace vcmtool
