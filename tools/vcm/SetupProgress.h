// vcm setup's view of a running install session: the session's position, state and status
// text, polled until it ends, with the distributor's banners shown in turn beside it.
//
// On a terminal the progress is one line rewritten in place ("[ 40%] 2/5 installing: ..."),
// with banners printed above it; elsewhere (a log, a pipe) a line is printed each time the
// state or the status text changes. A status text is the session's own (GetStatusText for the
// phase of the state: "download" while a package downloads, "install" while an installer
// runs); without one, the current component's name, or "Downloading offers, please wait..."
// and "Installing offers, please wait..." while only offers are under way.
//
// Banners: each is shown once, in its group's order, for its display duration; the last one
// stays until the end. A banner is printed as "Banner: <its address>".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/IInstallSession.h"

namespace vcmtool {

struct ShownBanner {
    std::string url;
    float seconds = 0;
};

// Polls `session` until it has finished (7) or failed (8) and answers that state.
uint32_t FollowInstall(vmi::IInstallSession& session, const std::vector<ShownBanner>& banners,
                       bool terminal);

}  // namespace vcmtool
