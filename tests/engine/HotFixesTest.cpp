// The hot fixes the engine finds for the components installed here, from a manifest on disk and
// through its own manifest download, which must have verified what it reads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "engine/VomoInstallImpl.h"
#include "support/CodeSigning.h"
#include "support/InstalledComponents.h"
#include "support/ScopedRegistryRoot.h"
#include "support/SignedPackages.h"
#include "support/TempDir.h"

namespace {

using testsupport::InstalledComponent;
using testsupport::RecordInstalled;

std::string HotFix(const std::string& id, const std::string& component, const std::string& version,
                   const std::string& package = "") {
    return "<hotfix" + (id.empty() ? std::string() : " id='" + id + "'") + "><componentId>" +
           component + "</componentId>" + version + package + "</hotfix>";
}

std::string Version(const std::string& text) {
    return "<version>" + text + "</version>";
}

std::string Manifest(const std::string& hotFixes) {
    return "<?xml version='1.0'?><manifest version='1.0.0.0'>" + hotFixes + "</manifest>";
}

// id, component, version, package type, arguments, url, sha256 of each record.
std::vector<std::string> Fields(const std::vector<HotFixRecord>& list) {
    std::vector<std::string> fields;
    for (const HotFixRecord& r : list) {
        fields.insert(fields.end(), {r.id, r.componentId, r.version, std::to_string(r.packageType),
                                     r.commandLineArgs, r.url, r.packageSha256});
    }
    return fields;
}

TEST(HotFixesTest, KeepsTheHotFixesOfInstalledComponentsNotAboveTheirVersion) {
    testsupport::ScopedRegistryRoot hives;
    testsupport::TempDir dir("vcm-hotfix");
    RecordInstalled(InstalledComponent("a", "1.0.0.5"));
    RecordInstalled(InstalledComponent("z", "0.0.0.0"));
    const std::string nsis =
        "<package><type>nsis</type><commandLineArgs>/S</commandLineArgs>"
        "<url>http://127.0.0.1:1/h.cab</url><sha256>00ff</sha256></package>";
    const std::string section =
        "<hotfixDefinitions>" + HotFix("same", "a", Version("1.0.0.5"), nsis) +
        HotFix("older", "a", Version("1.0.0.4"), nsis) + HotFix("noVersion", "a", "", nsis) +
        HotFix("notInstalled", "b", Version("9.0.0.0"), nsis) +
        HotFix("capitals", "a", Version("2.0.0.0"), "<package><type>NSIS</type></package>") +
        HotFix("malformed", "z", Version("junk"), "") +
        HotFix("malformedA", "a", Version("x"), "") + HotFix("", "a", Version("1.0.0.6"), "") +
        "</hotfixDefinitions>";
    const std::vector<std::string> expected = {
        "same", "a",        "1.0.0.5",   "2",       "/S",   "http://127.0.0.1:1/h.cab",
        "00ff", "capitals", "a",         "2.0.0.0", "0",    "",
        "",     "",         "malformed", "z",       "junk", "0",
        "",     "",         "",          "",        "a",    "1.0.0.6",
        "0",    "",         "",          "",
    };
    VomoInstallImpl engine(Url("http://127.0.0.1:1/m.cab"), 0);
    const struct {
        const char* xml;
        bool result;
    } steps[] = {
        {"with", true},      // appends what applies
        {"with", false},     // asked again: nothing new, nothing twice
        {"without", false},  // no section: the list stays
        {"<broken", false},  // not parsed: the list stays
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.xml);
        const std::string xml = std::string(step.xml) == "with"      ? Manifest(section)
                                : std::string(step.xml) == "without" ? Manifest("")
                                                                     : step.xml;
        ASSERT_TRUE(testsupport::WriteFile(dir.File("manifest.xml"), xml));
        engine.SetManifestPath(Url::FromPath(dir.File("manifest.xml")));
        EXPECT_EQ(step.result, engine.GetHotFixes());
        EXPECT_EQ(expected, Fields(engine.GetHotFixList()));
    }
    EXPECT_FALSE(CreateComponentRegistry()->IsComponentInstalled("b"));
}

// Without a manifest, one is downloaded with the tag "dummy"; what does not verify is never
// read, not even by a later call that finds its file left under the manifest path.
TEST(HotFixesTest, ReadsOnlyADownloadedManifestThatVerified) {
    testsupport::ScopedRegistryRoot hives;
    testsupport::TempDir dir("vcm-hotfix");
    RecordInstalled(InstalledComponent("a", "1.0.0.5"));
    const std::string xml = Manifest(
        "<hotfixDefinitions>" + HotFix("fix", "a", Version("1.0.0.5")) + "</hotfixDefinitions>");
    const testsupport::CodeSigning& signing = testsupport::CodeSigning::Instance();
    ASSERT_TRUE(testsupport::WriteFile(dir.File("plain.xml"), xml));
    ASSERT_TRUE(
        testsupport::MakeCabinet(dir.File("plain.cab"), {{"manifest.xml", xml}}, true, dir.Path()));
    ASSERT_TRUE(
        signing.Sign(testsupport::Signer::kVomoInc, dir.File("plain.cab"), dir.File("signed.cab")));
    ::setenv("VOMO_TRUST_ROOTS", signing.TrustedRoots().c_str(), 1);
    for (const char* served : {"plain.xml", "plain.cab", "signed.cab"}) {
        SCOPED_TRACE(served);
        const bool signed_ = std::string(served) == "signed.cab";
        VomoInstallImpl engine(Url::FromPath(dir.File(served)), 0);
        EXPECT_EQ(signed_, engine.GetHotFixes());
        EXPECT_EQ("dummy", engine.GetDownloadTag());
        EXPECT_FALSE(engine.GetHotFixes());
        EXPECT_EQ(signed_ ? 1u : 0u, engine.GetHotFixList().size());
    }
    ::unsetenv("VOMO_TRUST_ROOTS");
}

std::atomic<int> g_hotFixResult{-1};
void HotFixDone(int32_t result) {
    g_hotFixResult = result;
}

// What GetHotFixes found is what the hot-fix session runs, in the repaired component's folder.
TEST(HotFixesTest, TheHotFixSessionRunsWhatWasFound) {
    testsupport::ScopedRegistryRoot hives;
    testsupport::SignedPackages packages;
    RecordInstalled(InstalledComponent("a", "1.0.0.5"), packages.Dir().File("a"), "#!/bin/sh\n");
    const std::string ran = packages.Dir().File("ran");
    const std::string url =
        packages.Serve("fix.cab", "#!/bin/sh\nprintf '%s\\n' \"$@\" > " + ran + "\n");
    ASSERT_TRUE(testsupport::WriteFile(
        packages.Dir().File("manifest.xml"),
        Manifest("<hotfixDefinitions>" +
                 HotFix("fix", "a", Version("1.0.0.5"),
                        "<package><type>nsis</type><url>" + url + "</url></package>") +
                 "</hotfixDefinitions>")));
    VomoInstallImpl engine(Url("http://127.0.0.1:1/m.cab"), 0);
    engine.SetManifestPath(Url::FromPath(packages.Dir().File("manifest.xml")));
    ASSERT_TRUE(engine.GetHotFixes());
    ASSERT_EQ(0u, engine.StartHotFixSession(&HotFixDone));
    for (int i = 0; i < 12000 && g_hotFixResult < 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(0, g_hotFixResult.load());
    std::string arguments;
    EXPECT_TRUE(testsupport::ReadFile(ran, arguments));
    EXPECT_EQ(0u, arguments.find("/DIR=" + packages.Dir().File("a") + "\n")) << arguments;
}

}  // namespace
