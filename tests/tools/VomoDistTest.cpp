// vomo-dist round trips: what it packages and signs verifies with our verifier and with
// osslsigncode; what it refuses, it refuses with a reason a publisher can act on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/CodeSigning.h"
#include "support/TempDir.h"

namespace {

using testsupport::CodeSigning;
using testsupport::ShellQuote;
using testsupport::Signer;

// Runs vomo-dist with `args` (already quoted); its exit status and combined output.
int Dist(const std::string& args, std::string& output) {
    return testsupport::RunCommandOutput(
        "VOMO_TRUST_ROOTS=" + ShellQuote(CodeSigning::Instance().TrustedRoots()) + " " +
            ShellQuote(VOMO_DIST_PATH) + " " + args + " 2>&1",
        output);
}

std::string SignArgs(Signer signer) {
    const CodeSigning& signing = CodeSigning::Instance();
    return " --cert " + ShellQuote(signing.Chain(signer)) + " --key " +
           ShellQuote(signing.Key(signer));
}

TEST(VomoDistTest, PackagesAndManifestsItSignsVerifyWithUsAndWithOsslsigncode) {
    testsupport::TempDir dir("vcm-dist");
    const CodeSigning& signing = CodeSigning::Instance();
    ASSERT_TRUE(testsupport::WriteFile(dir.File("setup.sh"), "#!/bin/sh\nexit 0\n"));
    ASSERT_TRUE(testsupport::WriteFile(dir.File("manifest.xml"), "<manifest version='1.0'/>"));
    std::string out;
    const std::string pkg = dir.File("pkg.cab");
    ASSERT_EQ(0,
              Dist("package " + ShellQuote(dir.File("setup.sh")) + " -o " + ShellQuote(pkg), out))
        << out;
    ASSERT_EQ(0, Dist("sign " + ShellQuote(pkg) + SignArgs(Signer::kVomoLlc), out)) << out;
    ASSERT_EQ(0, Dist("manifest " + ShellQuote(dir.Path()) + SignArgs(Signer::kVomoInc), out))
        << out;
    const std::string manifest = dir.File("vomo/setup/manifest.cab");

    struct Case {
        std::string file;
        std::string words;
    } cases[] = {{pkg, "trusted, signed by \"Vomo, LLC\""},
                 {manifest, "trusted, signed by \"Vomo, Inc.\""}};
    for (const Case& c : cases) {
        EXPECT_EQ(0, Dist("verify " + ShellQuote(c.file), out)) << out;
        EXPECT_NE(std::string::npos, out.find(c.words)) << out;
        EXPECT_TRUE(signing.OsslsigncodeAccepts(c.file)) << c.file;
    }
    std::string listing;
    ASSERT_EQ(0, testsupport::RunCommandOutput("gcab -l " + ShellQuote(pkg), listing));
    EXPECT_NE(std::string::npos, listing.find("setup.sh")) << listing;
}

// With a package folder, `manifest` binds every package it finds there to its entry (the
// `sha256` of its file), in the copy it packs, and `verify` checks those digests again: a
// package changed since, or a value that is not a digest, fails the check.
TEST(VomoDistTest, ManifestFillsPackageDigestsAndVerifyChecksThem) {
    testsupport::TempDir dir("vcm-dist");
    ASSERT_TRUE(testsupport::WriteFile(dir.File("a.cab"), "the package a"));
    const std::string manifest =
        "<manifest version='1.0.0.0'><componentDefinitions><component id='a'><package>"
        "<type>nsis</type><url>http://h/p/a.cab?x=1</url></package></component>"
        "<component id='b'><package><url>http://h/p/missing.cab</url></package></component>"
        "</componentDefinitions><hotfixDefinitions><hotfix id='h'><package>"
        "<url>http://h/a.cab</url><sha256>stale</sha256></package></hotfix>"
        "</hotfixDefinitions></manifest>";
    ASSERT_TRUE(testsupport::WriteFile(dir.File("manifest.xml"), manifest));
    std::string out;
    ASSERT_EQ(0, Dist("manifest " + ShellQuote(dir.Path()) + " --packages " +
                          ShellQuote(dir.Path()) + SignArgs(Signer::kVomoLlc),
                      out))
        << out;
    // sha256 -n of "the package a"
    std::string digest;
    ASSERT_EQ(0, testsupport::RunCommandOutput(
                     "printf 'the package a' | sha256sum | cut -c1-64 | tr -d '\\n'", digest));
    std::string written, packed;
    ASSERT_TRUE(testsupport::ReadFile(dir.File("manifest.xml"), written));
    EXPECT_EQ(manifest, written);  // the publisher's own file is left as it is
    ASSERT_TRUE(testsupport::ReadFile(dir.File("vomo/setup/manifest.xml"), packed));
    size_t count = 0;
    for (size_t at = 0;
         (at = packed.find("<sha256>" + digest + "</sha256>", at)) != std::string::npos; ++at) {
        ++count;
    }
    EXPECT_EQ(2u, count) << packed;  // a's, and the hot fix's stale value replaced
    EXPECT_EQ(std::string::npos, packed.find("stale")) << packed;

    const std::string cabinet = ShellQuote(dir.File("vomo/setup/manifest.cab"));
    EXPECT_EQ(0, Dist("verify " + cabinet + " --packages " + ShellQuote(dir.Path()), out)) << out;
    EXPECT_NE(std::string::npos, out.find("http://h/p/a.cab?x=1: sha256 matches")) << out;
    ASSERT_TRUE(testsupport::WriteFile(dir.File("a.cab"), "the package a, changed"));
    EXPECT_EQ(1, Dist("verify " + cabinet + " --packages " + ShellQuote(dir.Path()), out)) << out;
    EXPECT_NE(std::string::npos, out.find("http://h/a.cab: sha256 differs")) << out;

    // A value that is not 64 hexadecimal digits is an error, never "no digest".
    ASSERT_TRUE(testsupport::WriteFile(dir.File("manifest.xml"), manifest));
    ASSERT_EQ(0, Dist("manifest " + ShellQuote(dir.Path()) + SignArgs(Signer::kVomoLlc), out));
    EXPECT_EQ(1, Dist("verify " + cabinet + " --packages " + ShellQuote(dir.Path()), out)) << out;
    EXPECT_NE(std::string::npos, out.find("http://h/a.cab: sha256 is not 64 hexadecimal digits"))
        << out;
    EXPECT_EQ(2, Dist("sign " + cabinet + " --packages x" + SignArgs(Signer::kVomoLlc), out));
}

TEST(VomoDistTest, RefusalsSayWhy) {
    testsupport::TempDir dir("vcm-dist");
    ASSERT_TRUE(testsupport::WriteFile(dir.File("setup.sh"), "#!/bin/sh\nexit 0\n"));
    std::string out;
    const auto make = [&](const std::string& name, Signer signer) {
        const std::string cab = dir.File(name);
        EXPECT_EQ(
            0, Dist("package " + ShellQuote(dir.File("setup.sh")) + " -o " + ShellQuote(cab), out));
        EXPECT_EQ(0, Dist("sign " + ShellQuote(cab) + SignArgs(signer), out)) << out;
        return cab;
    };
    const std::string tampered = make("tampered.cab", Signer::kVomoLlc);
    std::string bytes;
    ASSERT_TRUE(testsupport::ReadFile(tampered, bytes));
    bytes[bytes.find("exit 0")] ^= 1;  // the installer's own bytes, inside the cabinet
    ASSERT_TRUE(testsupport::WriteFile(tampered, bytes));
    const std::string unsignedCab = dir.File("unsigned.cab");
    ASSERT_EQ(0,
              Dist("package " + ShellQuote(dir.File("setup.sh")) + " -o " + ShellQuote(unsignedCab),
                   out));

    struct Case {
        std::string file;
        std::string words;
    } cases[] = {
        {tampered, "refused: the file does not match its signature"},
        {make("other.cab", Signer::kOtherMaker),
         "refused: signed by \"Other Maker, Ltd.\", which is not an accepted signer"},
        {make("untrusted.cab", Signer::kUntrusted),
         "refused: no certificate chain to a trusted root"},
        {unsignedCab, "refused: no embedded signature"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(1, Dist("verify " + ShellQuote(c.file), out)) << out;
        EXPECT_NE(std::string::npos, out.find(c.words)) << out;
    }
    EXPECT_EQ(2, Dist("frob x", out));
    EXPECT_NE(std::string::npos, out.find("unknown command \"frob\"")) << out;
    EXPECT_EQ(
        1, Dist("sign " + ShellQuote(dir.File("missing.cab")) + SignArgs(Signer::kVomoLlc), out));
}

}  // namespace
