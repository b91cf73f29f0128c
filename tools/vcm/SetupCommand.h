// vcm setup: the first install of a bundle's components, as a setup program makes it, on a
// terminal or unattended.
//
//   vcm setup --bundle NAME [--distributor ID] [--dir DIR]
//             [--yes --accept-licence] [--components IDS] [--offers IDS|none]
//
// The engine is started with the bundle's name as its download tag, which selects the bundle
// in the verified manifest. The wizard's pages (WizardPages.h) then show the bundle group's
// heading and description, the licence texts (fetched from their localized addresses and
// shown through the user's pager, then accepted or not: nothing installs without that), the
// optional components and install groups (SetupCatalogue.h), the offers (plug-ins that pass
// their plug-in tests here, each off unless chosen) and the install directory. During the
// install the session's progress, the distributor's banners and the messages the chosen
// components name are shown (SetupProgress.h); afterwards a summary and the post-install
// address.
//
// With --yes nothing is asked: the optional choices are those --components names (the ones
// checked by default without it), the offers those --offers names (none without it, or with
// "none"), the directory --dir (the product's recorded one, else /opt/vomo), and --accept-
// licence accepts the licence texts; without it an unattended setup refuses at once. On a
// terminal --components and --offers only change the proposed answers.
//
// A finished install is recorded (VomoInstallImpl::CompleteInstall: the components, install
// groups, plug-ins, install directory and the bundle group with its texts), and the first-
// install hints go out as an update run sends them.
#pragma once

#include <string>
#include <vector>

namespace vcmtool {

// Exit statuses of vcm setup besides the engine's codes (0 installed, 13 installed and a
// restart is needed, 2 the bundle has no such component or offer or none at all, 7, 8, 14,
// 18, 19 the manifest, 9 an install failed).
const int kSetupNoAnswer = 1;        // standard input ended before a question was answered
const int kLicenceNotAccepted = 77;  // nothing was installed

// Runs vcm setup with the words that follow "setup" on the command line; its exit status.
// Usage errors answer 64.
int SetupCommand(const std::vector<std::string>& args);

}  // namespace vcmtool
