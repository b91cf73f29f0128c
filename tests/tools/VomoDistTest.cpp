// vomo-dist round trips: what it packages and signs verifies with our verifier and with
// osslsigncode; what it refuses, it refuses with a reason a publisher can act on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <boost/filesystem/operations.hpp>

#include "support/CodeSigning.h"
#include "support/LocalHttpServer.h"
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
    ASSERT_TRUE(testsupport::WriteFile(dir.File("manifest.xml"), "<manifest version='1.0.0.0'/>"));
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
        "<component id='b'><package><type>nsis</type><url>http://h/p/missing.cab</url>"
        "</package></component></componentDefinitions><hotfixDefinitions><hotfix id='h'>"
        "<componentId>a</componentId><version>1.0.0.1</version><package><type>nsis</type>"
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

    // A value that is not 64 hexadecimal digits is an error, never "no digest". `manifest`
    // refuses to sign such a manifest, so its cabinet is packed and signed by hand.
    ASSERT_EQ(0, Dist("package " + ShellQuote(dir.File("manifest.xml")) + " -o " + cabinet, out))
        << out;
    ASSERT_EQ(0, Dist("sign " + cabinet + SignArgs(Signer::kVomoLlc), out)) << out;
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

namespace {

// A manifest of the given lines, one per line of the file, after the manifest element's own
// line (line 1).
std::string Lines(const std::vector<std::string>& lines,
                  const std::string& manifest = "<manifest version='1.0.0.0'>") {
    std::string text = manifest + "\n";
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text + "</manifest>\n";
}

std::string Component(const std::string& id, const std::string& inner = "") {
    return "<component id='" + id + "'><latestVersion>1.0.0.0</latestVersion>" + inner +
           "</component>";
}

const char kDigest[] = "9f2c4a7be0d1c35e8a6b4f0e2d7c91a3b5e6f7081a2b3c4d5e6f708192a3b4c5";

std::string Package(const std::string& url, const std::string& digest = kDigest) {
    return "<package><type>nsis</type><url>" + url + "</url>" +
           (digest.empty() ? std::string() : "<sha256>" + digest + "</sha256>") + "</package>";
}

std::string Defs(const std::string& components) {
    return "<componentDefinitions>" + components + "</componentDefinitions>";
}

// The manifest reference's example.
std::string ReferenceExample() {
    std::string doc;
    EXPECT_TRUE(testsupport::ReadFile(std::string(VCM_SOURCE_DIR) + "/docs/manifest.md", doc));
    const std::string::size_type start = doc.find("```xml\n") + 7;
    return doc.substr(start, doc.find("```", start) - start);
}

TEST(VomoDistLintTest, EachFaultIsFoundOnItsLine) {
    testsupport::TempDir dir("vcm-lint");
    const std::string pkg = "<package><type>nsis</type>";
    const struct {
        const char* what;
        std::string xml;
        int line;
        const char* finding;  // "error: ..." or "warning: ..."
    } cases[] = {
        {"not well-formed",
         Lines({"<componentDefinitions>", "<component id='a'>", "</componentDefinitions>"}), 4,
         "error: not a manifest clients can parse: line 4"},
        {"duplicate id",
         Lines({Defs(""), "<componentDefinitions>", Component("a"), Component("b"), Component("a"),
                "</componentDefinitions>"}),
         6, "error: duplicate component id \"a\" (first at line 4)"},
        {"ids differing in case",
         Lines({"<componentDefinitions>", Component("Player"), Component("player"),
                "</componentDefinitions>"}),
         4, "error: component id \"player\" differs from \"Player\" (line 3) only in case"},
        {"an id hosts cannot ask for", Lines({Defs(Component("a;b"))}), 2,
         "error: component id \"a;b\" holds"},
        {"missing dependency",
         Lines({"<componentDefinitions><component id='a'>", "<dependencies>",
                "<componentRef id='ghost'/>", "</dependencies></component>",
                "</componentDefinitions>"}),
         4,
         "error: component \"a\" refers to component \"ghost\", which the manifest does not have"},
        {"cycle",
         Lines({"<componentDefinitions>",
                Component("b", "<dependencies><componentRef id='a'/></dependencies>"),
                Component("a", "<dependencies><componentRef id='b'/></dependencies>"),
                Component("c"), "</componentDefinitions>"}),
         3, "error: dependency cycle a -> b -> a"},
        {"depends on itself",
         Lines({Defs(""),
                Defs(Component("s", "<dependencies><componentRef id='s'/></dependencies>"))}),
         3, "error: dependency cycle s -> s"},
        {"manifest version", Lines({}, "<manifest version='1.0'>"), 1,
         "error: manifest version \"1.0\" is not a version"},
        {"no manifest version", Lines({}, "<manifest>"), 1, "warning: no manifest version"},
        {"latest version",
         Lines({"<componentDefinitions><component id='a'>", "<latestVersion>1.2</latestVersion>",
                "</component>", "</componentDefinitions>"}),
         3, "error: component \"a\": latestVersion \"1.2\" is not a version"},
        {"rollout",
         Lines({"<componentDefinitions><component id='a'>", "<streams><stream id='beta'>",
                "<latestVersion rollout='5%'>2.0.0.0</latestVersion>",
                "</stream></streams></component></componentDefinitions>"}),
         4, "error: stream \"beta\" of component \"a\": rollout \"5%\" is not a percentage"},
        {"expired", Lines({}, "<manifest version='1.0.0.0' expires='2020-01-01T00:00:00Z'>"), 1,
         "error: the manifest expired on 2020-01-01T00:00:00Z"},
        {"expiry", Lines({}, "<manifest version='1.0.0.0' expires='soon'>"), 1,
         "error: expires \"soon\" is not a UTC date and time"},
        {"no address",
         Lines({"<componentDefinitions><component id='a'>", pkg + "</package>",
                "</component></componentDefinitions>"}),
         3, "error: component \"a\": package without an address (url)"},
        {"not an address",
         Lines({Defs(""), "<hotfixDefinitions><hotfix id='h'>",
                "<componentId>a</componentId><version>1.0.0.0</version>",
                pkg + "<url>setup.cab</url></package>", "</hotfix></hotfixDefinitions>"}),
         5, "error: hot fix \"h\": package address \"setup.cab\" is not an http, https or file"},
        {"digest",
         Lines({"<pluginDefinitions><plugin id='p'>", Package("http://x/p.cab", "abc123"),
                "</plugin></pluginDefinitions>"}),
         3, "error: plug-in \"p\": sha256 \"abc123\" is not 64 hexadecimal digits"},
        {"no digest",
         Lines({Defs(""), "<componentDefinitions><component id='a'>", Package("http://x/a.cab", ""),
                "</component>", "</componentDefinitions>"}),
         4, "warning: component \"a\": package without a digest (sha256)"},
        {"no type",
         Lines({"<componentDefinitions><component id='a'>",
                "<package><url>http://x/a.cab</url><sha256>" + std::string(kDigest) +
                    "</sha256></package>",
                "</component></componentDefinitions>"}),
         3, "error: component \"a\": package without a type"},
        {"hot fix without version",
         Lines({Defs(Component("a")), "<hotfixDefinitions>",
                "<hotfix id='h'><componentId>a</componentId></hotfix>", "</hotfixDefinitions>"}),
         4, "error: hot fix \"h\" has no version"},
        {"unknown reference",
         Lines({"<bundleDefinitions><bundle id='VomoUpdate'>", "<componentRef id='retired'/>",
                "</bundle></bundleDefinitions>"}),
         3, "warning: bundle \"VomoUpdate\" refers to component \"retired\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = dir.File("manifest.xml");
        ASSERT_TRUE(testsupport::WriteFile(file, c.xml));
        std::string out;
        const int status = Dist("lint " + ShellQuote(file), out);
        const bool error = std::string(c.finding).compare(0, 6, "error:") == 0;
        EXPECT_EQ(error ? 1 : 0, status) << out;
        EXPECT_NE(std::string::npos,
                  out.find(file + ":" + std::to_string(c.line) + ": " + c.finding))
            << c.xml << out;
        if (!error) {
            EXPECT_EQ(2, Dist("lint --strict " + ShellQuote(file), out)) << out;
        }
    }

    // The reference's example has nothing to report.
    const std::string example = dir.File("example.xml");
    ASSERT_TRUE(testsupport::WriteFile(example, ReferenceExample()));
    std::string out;
    EXPECT_EQ(0, Dist("lint --strict " + ShellQuote(example), out)) << out;
    EXPECT_NE(std::string::npos, out.find("0 errors, 0 warnings")) << out;
    EXPECT_EQ(2, Dist("lint", out));
}

TEST(VomoDistLintTest, ManifestRefusesToSignAnErrorAndWritesTheExpiry) {
    testsupport::TempDir dir("vcm-lint");
    const std::string source = dir.File("manifest.xml");
    const std::string cabinet = dir.File("vomo/setup/manifest.cab");
    std::string out;
    ASSERT_TRUE(testsupport::WriteFile(source, Lines({Defs(Component("a") + Component("a"))})));
    EXPECT_EQ(1, Dist("manifest " + ShellQuote(dir.Path()) + SignArgs(Signer::kVomoLlc), out));
    EXPECT_NE(std::string::npos, out.find(source + ":2: error: duplicate component id")) << out;
    EXPECT_NE(std::string::npos, out.find("it is not signed")) << out;
    EXPECT_FALSE(boost::filesystem::exists(cabinet));

    // A span from now, replacing the expiry the file had; the rest of the text is unchanged.
    const std::string text =
        "<?xml version='1.0'?>\n<!-- <manifest expires='x'> -->\n"
        "<manifest expires=\"2099-01-01\"\n  version='1.0.0.0'>\n" +
        Defs(Component("a")) + "\n</manifest>\n";
    ASSERT_TRUE(testsupport::WriteFile(source, text));
    const int64_t before = std::time(nullptr);
    ASSERT_EQ(0, Dist("manifest " + ShellQuote(dir.Path()) + " --expires 14d" +
                          SignArgs(Signer::kVomoLlc),
                      out))
        << out;
    EXPECT_EQ(0, Dist("verify " + ShellQuote(cabinet), out)) << out;
    ASSERT_EQ(0, testsupport::RunCommandOutput("gcab -x -C " + ShellQuote(dir.File("out")) + " " +
                                                   ShellQuote(cabinet) + " 2>&1 && cat " +
                                                   ShellQuote(dir.File("out/manifest.xml")),
                                               out))
        << out;
    const std::string::size_type at = out.find("<manifest expires=\"");
    ASSERT_NE(std::string::npos, at) << out;
    const std::string written = out.substr(at + 19, 20);
    struct tm expiry = {};
    ASSERT_TRUE(strptime(written.c_str(), "%Y-%m-%dT%H:%M:%SZ", &expiry)) << written;
    const int64_t seconds = timegm(&expiry);
    EXPECT_GE(seconds, before + 14 * 86400);
    EXPECT_LE(seconds, before + 14 * 86400 + 300);
    std::string unchanged = out;
    unchanged.replace(at + 19, 20, "2099-01-01");
    EXPECT_EQ(text, unchanged.substr(unchanged.find("<?xml")));
    std::string kept;
    ASSERT_TRUE(testsupport::ReadFile(source, kept));
    EXPECT_EQ(text, kept);  // the publisher's file is left as it was

    for (const char* when : {"2001-01-01", "0d", "tomorrow", "2030-01-01T00:00"}) {
        EXPECT_EQ(2, Dist("manifest " + ShellQuote(dir.Path()) + " --expires " + when +
                              SignArgs(Signer::kVomoLlc),
                          out))
            << when;
    }
}

// With the packages at hand: each is signed by an accepted signer and matches its digest; and
// the manifest served now has a lower version.
TEST(VomoDistLintTest, PackagesAndTheManifestServedAreChecked) {
    testsupport::TempDir dir("vcm-lint");
    ASSERT_TRUE(testsupport::WriteFile(dir.File("setup.sh"), "#!/bin/sh\nexit 0\n"));
    std::string out;
    const auto make = [&](const std::string& name, const char* signer) {
        const std::string cab = dir.File("www/packages/" + name);
        EXPECT_EQ(0, testsupport::RunCommand("mkdir -p " + ShellQuote(dir.File("www/packages"))));
        EXPECT_EQ(
            0, Dist("package " + ShellQuote(dir.File("setup.sh")) + " -o " + ShellQuote(cab), out));
        if (signer) {
            EXPECT_EQ(0, Dist("sign " + ShellQuote(cab) +
                                  SignArgs(std::string(signer) == "llc" ? Signer::kVomoLlc
                                                                        : Signer::kOtherMaker),
                              out))
                << out;
        }
        EXPECT_EQ(0, testsupport::RunCommandOutput("sha256sum " + ShellQuote(cab), out));
        return out.substr(0, 64);
    };
    const std::string good = make("good.cab", "llc");
    make("other.cab", "other");
    // Found by its file name: the address's folders are not those of the folder.
    const std::string unsignedDigest = make("../unsigned.cab", nullptr);
    const std::string manifest =
        Lines({"<componentDefinitions>",
               Component("good", Package("https://dl.example/packages/good.cab", good)),
               Component("changed",
                         Package("https://dl.example/packages/good.cab", std::string(64, 'a'))),
               Component("other", Package("http://dl.example/packages/other.cab")),
               Component("unsigned", Package("file:///srv/unsigned.cab", unsignedDigest)),
               Component("gone", Package("https://dl.example/packages/gone.cab")),
               "</componentDefinitions>"},
              "<manifest version='2.0.0.0'>");
    const std::string file = dir.File("manifest.xml");
    ASSERT_TRUE(testsupport::WriteFile(file, manifest));
    EXPECT_EQ(1,
              Dist("lint " + ShellQuote(file) + " --packages " + ShellQuote(dir.File("www")), out));
    for (const std::string& finding :
         {":4: error: component \"changed\": the package " + dir.File("www/packages/good.cab") +
              " does not match its sha256 (the file's is " + good,
          std::string(":5: error: component \"other\": clients refuse the package ") +
              dir.File("www/packages/other.cab") + ": signed by \"Other Maker, Ltd.\"",
          std::string(":6: error: component \"unsigned\": clients refuse the package"),
          std::string(":7: warning: component \"gone\": its package is not in")}) {
        EXPECT_NE(std::string::npos, out.find(file + finding)) << finding << "\n" << out;
    }
    EXPECT_EQ(std::string::npos, out.find("\"good\"")) << out;
    EXPECT_NE(std::string::npos, out.find("4 errors, 1 warning")) << out;

    // The manifest served: its cabinet at an address, a cabinet or an XML file at hand.
    testsupport::LocalHttpServer server;
    const struct {
        std::string served;  // the version of the manifest served
        bool asCabinet;
        int status;
        std::string finding;
    } previous[] = {
        {"3.0.0.0", false, 1, ":1: error: manifest version 2.0.0.0 is lower than version 3.0.0.0"},
        {"2.0.0.0", true, 0, ":1: warning: manifest version 2.0.0.0 is the version of the "},
        {"1.9.9.9", true, 0, ""},
    };
    for (const auto& p : previous) {
        SCOPED_TRACE(p.served);
        const std::string served = dir.File("served.xml");
        ASSERT_TRUE(testsupport::WriteFile(served, "<manifest version='" + p.served + "'/>"));
        std::vector<std::string> where = {served};
        if (p.asCabinet) {
            const std::string cabinet = dir.File("served.cab");
            ASSERT_TRUE(testsupport::MakeCabinet(
                cabinet, {{"manifest.xml", "<manifest version='" + p.served + "'/>"}}, true,
                dir.Path()));
            std::string bytes;
            ASSERT_TRUE(testsupport::ReadFile(cabinet, bytes));
            server.Route("/vomo/setup/manifest.cab", testsupport::HttpReply::Body(bytes));
            where = {cabinet, server.Url("/vomo/setup/manifest.cab")};
        }
        for (const std::string& source : where) {
            const std::string plain = dir.File("plain.xml");
            ASSERT_TRUE(testsupport::WriteFile(
                plain, Lines({Defs(Component("a"))}, "<manifest version='2.0.0.0'>")));
            EXPECT_EQ(p.status,
                      Dist("lint " + ShellQuote(plain) + " --previous " + ShellQuote(source), out))
                << source << out;
            if (!p.finding.empty()) {
                EXPECT_NE(std::string::npos, out.find(plain + p.finding)) << source << out;
            }
        }
    }
    server.Route("/missing.cab", testsupport::HttpReply::Status(404));
    EXPECT_EQ(1, Dist("lint " + ShellQuote(file) + " --previous " +
                          ShellQuote(server.Url("/missing.cab")),
                      out));
    EXPECT_NE(std::string::npos, out.find("cannot read the manifest served")) << out;
}

}  // namespace
