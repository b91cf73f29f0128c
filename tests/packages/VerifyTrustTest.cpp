// The signature check over real signed files: cabinets made by gcab and PE images, signed by
// osslsigncode with throwaway certificates. For every file the verdict of the platform check is
// compared with `osslsigncode verify` given the same roots.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "packages/VerifyTrust.h"
#include "platform/FileSeal.h"
#include "platform/LastError.h"
#include "platform/Trust.h"
#include "platform/TrustRoots.h"
#include "support/CodeSigning.h"
#include "support/TempDir.h"
#include "support/TimestampServer.h"

using testsupport::CodeSigning;
using testsupport::ReadFile;
using testsupport::Signer;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

uint32_t Le32(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    }
    return value;
}

void SetLe32(std::string& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// Where a signed file keeps its signature: the offset of the (offset, size) pair that locates
// it, and the offset of the signature itself.
struct SignatureFields {
    size_t locator;
    uint32_t start;
};

enum class Kind { kCabinet, kPe32, kPe32Plus };

const char* KindName(Kind kind) {
    return kind == Kind::kCabinet ? "cabinet" : kind == Kind::kPe32 ? "PE32" : "PE32+";
}

SignatureFields Locate(Kind kind, const std::string& file) {
    if (kind == Kind::kCabinet) {
        return {44, Le32(file, 44)};
    }
    const size_t entry = Le32(file, 0x3C) + (kind == Kind::kPe32 ? 152 : 168);
    return {entry, Le32(file, entry)};
}

class VerifyTrustTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        signing_ = &CodeSigning::Instance();
        dir_ = new TempDir("vcm-verify");
        ::setenv("VOMO_TRUST_ROOTS", signing_->TrustedRoots().c_str(), 1);
        ASSERT_TRUE(testsupport::MakeCabinet(dir_->File("plain.cab"),
                                             {{"manifest.xml", "<manifest version=\"1.2.3.4\"/>"}},
                                             true, dir_->Path()));
        ASSERT_TRUE(WriteFile(dir_->File("plain32.exe"), testsupport::MinimalPeImage(false)));
        ASSERT_TRUE(WriteFile(dir_->File("plain64.exe"), testsupport::MinimalPeImage(true)));
    }
    static void TearDownTestSuite() {
        ::unsetenv("VOMO_TRUST_ROOTS");
        delete dir_;
        dir_ = nullptr;
    }

    static std::string Unsigned(Kind kind) {
        return dir_->File(kind == Kind::kCabinet ? "plain.cab"
                          : kind == Kind::kPe32  ? "plain32.exe"
                                                 : "plain64.exe");
    }

    // A file of `kind` signed by `signer`, named after `label`.
    static std::string Signed(Kind kind, Signer signer, const std::string& label,
                              const std::string& extra = std::string()) {
        const std::string path = dir_->File(label + "-" + KindName(kind));
        EXPECT_TRUE(signing_->Sign(signer, Unsigned(kind), path, extra)) << label;
        return path;
    }

    // A copy of `source` changed by `change`.
    static std::string Changed(const std::string& source, const std::string& label,
                               const std::function<void(std::string&)>& change) {
        std::string bytes;
        EXPECT_TRUE(ReadFile(source, bytes));
        change(bytes);
        const std::string path = source + "-" + label;
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }

    // Checks the result code, and that the platform's verdict and osslsigncode's agree.
    static void Expect(const std::string& path, uint32_t code, const std::string& what) {
        Expect(path, code, what, code == 0 || code == 2);
    }
    // The same where osslsigncode's verdict is known to differ: it checks no usage but the
    // leaf's, and none of a legacy countersigner.
    static void Expect(const std::string& path, uint32_t code, const std::string& what,
                       bool osslsigncodeAccepts) {
        SCOPED_TRACE(what + " (" + path + ")");
        VerifyTrust verifier;
        EXPECT_EQ(code, verifier.Verify(path)) << platform::GetLastErrorText();
        const bool trusted = platform::VerifyFileTrust(path) == platform::kTrustOk;
        EXPECT_EQ(trusted, code == 0 || code == 2);
        EXPECT_EQ(osslsigncodeAccepts, signing_->OsslsigncodeAccepts(path))
            << "our reason: " << platform::GetLastErrorText();
    }

    static const CodeSigning* signing_;
    static TempDir* dir_;
};

const CodeSigning* VerifyTrustTest::signing_ = nullptr;
TempDir* VerifyTrustTest::dir_ = nullptr;

const Kind kKinds[] = {Kind::kCabinet, Kind::kPe32, Kind::kPe32Plus};

TEST_F(VerifyTrustTest, AcceptsOnlyTheTwoSignerNamesExactly) {
    for (Kind kind : kKinds) {
        SCOPED_TRACE(KindName(kind));
        Expect(Signed(kind, Signer::kVomoLlc, "llc"), 0, "Vomo, LLC");
        Expect(Signed(kind, Signer::kVomoInc, "inc"), 0, "Vomo, Inc. (RSA key)");
        Expect(Signed(kind, Signer::kOtherMaker, "other"), 2, "another maker");
        Expect(Signed(kind, Signer::kLowerCase, "lower"), 2, "lower case");
        Expect(Signed(kind, Signer::kTrailingBlank, "blank"), 2, "trailing blank");
        Expect(Signed(kind, Signer::kOrganization, "org"), 0, "name from the organization");
    }
}

TEST_F(VerifyTrustTest, RejectsUnsignedUntrustedExpiredAndMisusedCertificates) {
    for (Kind kind : kKinds) {
        SCOPED_TRACE(KindName(kind));
        Expect(Unsigned(kind), 6, "unsigned");
        Expect(Signed(kind, Signer::kUntrusted, "stray"), 6, "untrusted root");
        Expect(Signed(kind, Signer::kExpired, "expired"), 6, "expired, no timestamp");
        Expect(Signed(kind, Signer::kServerAuth, "server"), 6, "no code-signing usage");
        Expect(Signed(kind, Signer::kNoKeyUsage, "plain"), 0, "no extended key usage at all");
        Expect(Signed(kind, Signer::kServerIssuer, "narrow"), 6,
               "issued by an intermediate restricted to server authentication", true);
        Expect(Signed(kind, Signer::kNoDigitalSignature, "keyenc"), 6,
               "key usage without digital signatures", true);
    }
}

TEST_F(VerifyTrustTest, AnyChangedByteOfTheSignedContentIsCaught) {
    for (Kind kind : kKinds) {
        SCOPED_TRACE(KindName(kind));
        const std::string good = Signed(kind, Signer::kVomoLlc, "content");
        std::string bytes;
        ASSERT_TRUE(ReadFile(good, bytes));
        const uint32_t start = Locate(kind, bytes).start;
        std::vector<size_t> covered = {0, 10, 0x3C, start - 1};
        if (kind == Kind::kCabinet) {
            covered.insert(covered.end(), {56, 60, Le32(bytes, 16) + 2});  // a CFFILE byte
        } else {
            covered.insert(covered.end(), {0x200, Le32(bytes, 0x3C) + 4});  // code, machine
        }
        for (size_t offset : covered) {
            Expect(Changed(good, "at" + std::to_string(offset),
                           [offset](std::string& b) { b[offset] ^= 0x01; }),
                   6, "byte " + std::to_string(offset) + " changed");
        }
    }
}

TEST_F(VerifyTrustTest, BytesOutsideTheDigestAreEitherCheckedOrHarmless) {
    // A cabinet's set index and the reserve's padding are not hashed and mean nothing for a
    // single cabinet; a PE checksum is not hashed either. Changing them keeps the signature.
    const std::string cabinet = Signed(Kind::kCabinet, Signer::kVomoLlc, "outside");
    Expect(Changed(cabinet, "set-index", [](std::string& b) { b[34] ^= 0x01; }), 0,
           "set index changed");
    Expect(Changed(cabinet, "reserve-pad", [](std::string& b) { b[52] ^= 0x01; }), 0,
           "reserve padding changed");
    for (Kind kind : {Kind::kPe32, Kind::kPe32Plus}) {
        const std::string image = Signed(kind, Signer::kVomoLlc, "outside");
        std::string bytes;
        ASSERT_TRUE(ReadFile(image, bytes));
        const size_t checksum = Le32(bytes, 0x3C) + 24 + 64;
        Expect(Changed(image, "checksum", [checksum](std::string& b) { b[checksum] ^= 0x5A; }), 0,
               std::string(KindName(kind)) + " checksum changed");
    }
    // The cabinet reserve that locates the signature is not hashed, so it is checked exactly:
    // a different folder reserve would make the decompressor read the cabinet differently.
    Expect(Changed(cabinet, "folder-reserve", [](std::string& b) { b[38] = 4; }), 6,
           "folder reserve size changed");
    Expect(Changed(cabinet, "spanned", [](std::string& b) { b[30] |= 0x02; }), 6,
           "marked as spanned");
}

TEST_F(VerifyTrustTest, DamagedSignaturesFailCleanly) {
    for (Kind kind : kKinds) {
        SCOPED_TRACE(KindName(kind));
        const std::string good = Signed(kind, Signer::kVomoLlc, "damaged");
        std::string bytes;
        ASSERT_TRUE(ReadFile(good, bytes));
        const SignatureFields fields = Locate(kind, bytes);
        const size_t sizeField = fields.locator + 4;
        const uint32_t size = Le32(bytes, sizeField);

        Expect(Changed(good, "cut", [](std::string& b) { b.resize(b.size() - 100); }), 6,
               "file cut inside the signature");
        Expect(Changed(good, "cut-consistent",
                       [&](std::string& b) {
                           // Sizes that agree with the shorter file: the layout passes and the
                           // DER inside is cut short.
                           b.resize(b.size() - 64);
                           SetLe32(b, sizeField, size - 64);
                           if (kind != Kind::kCabinet) {
                               SetLe32(b, fields.start, Le32(b, fields.start) - 64);
                           }
                       }),
               6, "signature cut short with consistent sizes");
        Expect(Changed(good, "offset-past-end",
                       [&](std::string& b) { SetLe32(b, fields.locator, 0xFFFFFF00u); }),
               6, "signature offset past the end");
        Expect(Changed(good, "size-past-end",
                       [&](std::string& b) { SetLe32(b, sizeField, 0xFFFFFFF0u); }),
               6, "signature size past the end");
        Expect(Changed(good, "garbage",
                       [&](std::string& b) {
                           for (size_t i = fields.start + (kind == Kind::kCabinet ? 0 : 8);
                                i < b.size(); ++i) {
                               b[i] = static_cast<char>(0x30 + i % 7);
                           }
                       }),
               6, "signature replaced by garbage");
        Expect(Changed(good, "appended", [](std::string& b) { b += std::string(16, '\0'); }), 6,
               "zeros appended after the signature");
        Expect(Changed(good, "unknown-digest",
                       [&](std::string& b) {
                           // The first SHA-256 identifier of the message is the signed data's
                           // list of digest algorithms; the file's own digest stays valid.
                           const std::string sha256("\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x01",
                                                    11);
                           const size_t at = b.find(sha256, fields.start);
                           ASSERT_NE(std::string::npos, at);
                           b[at + 10] = 0x7F;
                       }),
               6, "unknown digest algorithm in the signed data");
    }
}

TEST_F(VerifyTrustTest, FilesThatAreNeitherCabinetsNorImages) {
    const std::string text = dir_->File("notes.txt");
    ASSERT_TRUE(WriteFile(text, "MSC"));
    VerifyTrust verifier;
    EXPECT_EQ(6u, verifier.Verify(text));
    EXPECT_EQ(6u, verifier.Verify(dir_->File("no-such-file")));
    EXPECT_EQ(6u, verifier.Verify(dir_->Path()));
    const std::string fifo = dir_->File("fifo");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    EXPECT_EQ(6u, verifier.Verify(fifo));  // refused, not waited on
    EXPECT_EQ(6u, verifier.Verify(""));
    const std::string empty = dir_->File("empty");
    ASSERT_TRUE(WriteFile(empty, ""));
    EXPECT_EQ(6u, verifier.Verify(empty));
}

TEST_F(VerifyTrustTest, WithoutTheRootsVariableOnlyTheSystemBundleIsTrusted) {
    const std::string path = Signed(Kind::kCabinet, Signer::kVomoLlc, "system-only");
    VerifyTrust verifier;
    ::unsetenv("VOMO_TRUST_ROOTS");
    EXPECT_EQ(6u, verifier.Verify(path));
    EXPECT_EQ(platform::kTrustChaining, platform::VerifyFileTrust(path));
    ::setenv("VOMO_TRUST_ROOTS", dir_->File("no-such-roots.pem").c_str(), 1);
    EXPECT_EQ(6u, verifier.Verify(path));
    ::setenv("VOMO_TRUST_ROOTS", signing_->TrustedRoots().c_str(), 1);
    EXPECT_EQ(0u, verifier.Verify(path));
}

// Every way the trust check can fail, each produced for real: the check names it, and the
// signer check refuses it whatever it is.
TEST_F(VerifyTrustTest, EveryFailureOfTheTrustCheckIsRefusedWithItsReason) {
    const std::string good = Signed(Kind::kCabinet, Signer::kVomoLlc, "reason");
    const std::string text = dir_->File("reason.txt");
    ASSERT_TRUE(WriteFile(text, "neither a cabinet nor an image"));
    const auto resign = [](std::string& b) {
        // A digit of the signing time, an authenticated attribute: what was signed changes.
        const std::string signingTime("\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x09\x05", 11);
        const size_t at = b.find(signingTime, Le32(b, 44));
        ASSERT_NE(std::string::npos, at);
        b[at + signingTime.size() + 2 + 2 + 3] ^= 0x01;  // SET, UTCTime, the month's last digit
    };
    struct Case {
        std::string path;
        uint32_t status;
        const char* reason;
    };
    const Case cases[] = {
        {text, platform::kTrustSubjectFormUnknown, "neither"},
        {Unsigned(Kind::kPe32), platform::kTrustNoSignature, "no signature"},
        {Changed(good, "digest", [](std::string& b) { b[60] ^= 1; }), platform::kTrustBadDigest,
         "digest"},
        {Changed(good, "resigned", resign), platform::kTrustBadSignature, "does not verify"},
        {Signed(Kind::kPe32, Signer::kExpired, "reason-expired"), platform::kTrustExpired,
         "expired"},
        {Signed(Kind::kCabinet, Signer::kUntrustedRoot, "reason-root"),
         platform::kTrustUntrustedRoot, "self-signed"},
        {Signed(Kind::kCabinet, Signer::kUntrusted, "reason-chain"), platform::kTrustChaining,
         "issuer"},
        {Signed(Kind::kPe32, Signer::kServerAuth, "reason-usage"), platform::kTrustWrongUsage,
         "code signing"},
        {dir_->File("no-such-file"), platform::kTrustFileError, "cannot open"},
    };
    VerifyTrust verifier;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.status, platform::VerifyFileTrust(c.path));
        EXPECT_EQ(c.status, platform::GetLastErrorCode());
        EXPECT_NE(std::string::npos, platform::GetLastErrorText().find(c.reason))
            << platform::GetLastErrorText();
        EXPECT_EQ(6u, verifier.Verify(c.path));
    }
    EXPECT_EQ(platform::kTrustOk, platform::VerifyFileTrust(good));
    EXPECT_EQ(0u, platform::GetLastErrorCode());
}

// A PE certificate record's length must cover the signature it holds, and the table must hold
// that record alone: a record cut short holds no signature, as Windows reads it.
TEST_F(VerifyTrustTest, ThePeCertificateRecordMustHoldTheWholeSignature) {
    for (Kind kind : {Kind::kPe32, Kind::kPe32Plus}) {
        SCOPED_TRACE(KindName(kind));
        const std::string good = Signed(kind, Signer::kVomoLlc, "record");
        std::string bytes;
        ASSERT_TRUE(ReadFile(good, bytes));
        const SignatureFields fields = Locate(kind, bytes);
        const uint32_t table = Le32(bytes, fields.locator + 4);
        ASSERT_EQ(0x82, static_cast<unsigned char>(bytes[fields.start + 9]));  // 2 length bytes
        const uint32_t der = 4 + (static_cast<unsigned char>(bytes[fields.start + 10]) << 8 |
                                  static_cast<unsigned char>(bytes[fields.start + 11]));
        ASSERT_EQ(table, Le32(bytes, fields.start));
        const struct {
            const char* what;
            uint32_t length;
            uint32_t code;
        } records[] = {
            {"header only", 8, 6},
            {"one byte short of the signature", 8 + der - 1, 6},
            {"longer than the table", table + 8, 6},
            {"exactly the signature, without padding", 8 + der, 0},
        };
        for (const auto& record : records) {
            Expect(Changed(good, std::to_string(record.length),
                           [&](std::string& b) { SetLe32(b, fields.start, record.length); }),
                   record.code, record.what);
        }
        Expect(Changed(good, "table-past-record",
                       [&](std::string& b) {
                           b += std::string(8, '\0');
                           SetLe32(b, fields.locator + 4, table + 8);
                       }),
               6, "zeros in the table after the record");
    }
}

// SHA-1 is refused for the file's digest and for the signer's digest alike; the stronger SHA-2
// digests are accepted in any mix. osslsigncode accepts them all, so only SHA-1 is at fault.
TEST_F(VerifyTrustTest, Sha1IsRefusedForTheFileAndTheSignerDigests) {
    const struct {
        const char* file;
        const char* signer;
        uint32_t status;
    } cases[] = {
        {"sha1", "sha1", platform::kTrustNoSignature},
        {"sha1", "sha256", platform::kTrustNoSignature},
        {"sha256", "sha1", platform::kTrustNoSignature},
        {"sha384", "sha256", platform::kTrustOk},
        {"sha256", "sha512", platform::kTrustOk},
    };
    VerifyTrust verifier;
    for (const auto& c : cases) {
        const std::string label = std::string(c.file) + "-" + c.signer;
        SCOPED_TRACE(label);
        const std::string path = dir_->File(label + ".cab");
        ASSERT_TRUE(signing_->SignWithDigests(Signer::kVomoLlc, Unsigned(Kind::kCabinet), path,
                                              c.file, c.signer));
        EXPECT_EQ(c.status, platform::VerifyFileTrust(path)) << platform::GetLastErrorText();
        EXPECT_EQ(c.status == platform::kTrustOk ? 0u : 6u, verifier.Verify(path));
        EXPECT_TRUE(signing_->OsslsigncodeAccepts(path));
    }
}

// The path is switched to another file once the check has opened it: the verdict, the signer's
// name and the seal must be those of the bytes verified, never of the path read a second time.
// A file that passes the check but names another maker gives way to one that names "Vomo, LLC"
// but fails it; a valid file gives way to an unsigned one, which the seal must not describe (the
// valid file is large, so that reading it gives the swap time to land while the check runs).
TEST_F(VerifyTrustTest, TheNameAndTheSealComeFromTheBytesVerified) {
    const std::string large = dir_->File("large.cab"), valid = dir_->File("large-signed.cab");
    ASSERT_TRUE(testsupport::MakeCabinet(large, {{"payload", std::string(4 << 20, 'v')}}, false,
                                         dir_->Path()));
    ASSERT_TRUE(signing_->Sign(Signer::kVomoLlc, large, valid));
    const struct {
        std::string first, second;
        uint32_t code;
    } cases[] = {
        {Signed(Kind::kCabinet, Signer::kOtherMaker, "swap-other"),
         Changed(Signed(Kind::kCabinet, Signer::kVomoLlc, "swap-llc"), "forged",
                 [](std::string& b) { b[60] ^= 1; }),
         2},
        {valid, Unsigned(Kind::kCabinet), 0},
    };
    const std::string path = dir_->File("swapped.cab"), next = dir_->File("swapped.next");
    VerifyTrust verifier;
    for (const auto& c : cases) {
        std::string first, second;
        ASSERT_TRUE(ReadFile(c.first, first));
        ASSERT_TRUE(ReadFile(c.second, second));
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(c.second + ", round " + std::to_string(round));
            ASSERT_TRUE(WriteFile(path, first));
            ASSERT_TRUE(WriteFile(next, second));
            platform::FileSeal verified, seal;
            ASSERT_TRUE(platform::SealFile(path, verified));
            const int watch = ::inotify_init1(IN_CLOEXEC);
            ASSERT_LE(0, ::inotify_add_watch(watch, path.c_str(), IN_OPEN));
            std::thread swapper([&] {
                char event[sizeof(inotify_event) + 256];
                if (::read(watch, event, sizeof event) > 0) {
                    ::rename(next.c_str(), path.c_str());
                }
            });
            EXPECT_EQ(c.code, verifier.VerifyAndSeal(path, seal));
            swapper.join();
            ::close(watch);
            EXPECT_EQ(c.code == 0, seal == verified);
            EXPECT_EQ(6u, verifier.Verify(path));  // the swapped-in file, read on its own
        }
    }
}

TEST_F(VerifyTrustTest, ChecksRunOnSeveralThreadsAtOnce) {
    const std::string good = Signed(Kind::kCabinet, Signer::kVomoLlc, "threads");
    const std::string other = Signed(Kind::kPe32Plus, Signer::kOtherMaker, "threads");
    std::vector<std::thread> threads;
    std::vector<uint32_t> results(8, 99);
    for (size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&, i] {
            VerifyTrust verifier;
            results[i] = verifier.Verify(i % 2 ? other : good);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(i % 2 ? 2u : 0u, results[i]) << i;
    }
}

// ---------------------------------------------------------------------------------------------
// Time-stamps, from a local time-stamping server whose signing certificate each case chooses.

TEST_F(VerifyTrustTest, ATimeStampCountsOnlyFromATrustedTimeStampingAuthority) {
    const time_t mid2020 = 1593561600;  // while the expired certificate was valid
    const time_t now = std::time(nullptr);
    struct Stamper {
        const char* what;
        std::string certificates;
        std::string key;
        time_t when;
        uint32_t code;  // of a file signed by the expired certificate and stamped so
        bool osslsigncodeAccepts = false;  // it lets a signer without usages stamp time
    };
    const auto own = [mid2020](Signer signer, const char* what) {
        return Stamper{what, signing_->Chain(signer), signing_->Key(signer), mid2020, 6};
    };
    // Without extended key usage, under the code-signing intermediate or the root itself.
    Stamper unrestricted = own(Signer::kNoKeyUsage, "a certificate without extended key usage");
    unrestricted.osslsigncodeAccepts = true;
    Stamper direct = own(Signer::kRootNoKeyUsage, "the same, issued by the root");
    direct.osslsigncodeAccepts = true;
    const Stamper stampers[] = {
        {"the authority, in 2020", signing_->TsaCertificate(), signing_->TsaKey(), mid2020, 0},
        {"the authority, now", signing_->TsaCertificate(), signing_->TsaKey(), now, 6},
        own(Signer::kExpired, "the expired signer itself, in 2020"),
        own(Signer::kVomoLlc, "a code-signing certificate"),
        own(Signer::kServerAuth, "a server certificate"),
        unrestricted,
        direct,
    };
    for (const Stamper& stamper : stampers) {
        SCOPED_TRACE(stamper.what);
        const std::string label = "stamper" + std::to_string(&stamper - stampers) + "-";
        testsupport::TimestampServer server(stamper.certificates, stamper.key, stamper.when);
        const std::vector<Kind> kinds =
            stamper.code == 0 ? std::vector<Kind>(std::begin(kKinds), std::end(kKinds))
                              : std::vector<Kind>{Kind::kCabinet};
        for (Kind kind : kinds) {
            Expect(Signed(kind, Signer::kExpired, label + "stamped", "-ts " + server.Rfc3161Url()),
                   stamper.code, std::string(KindName(kind)) + ", RFC 3161",
                   stamper.code == 0 || stamper.osslsigncodeAccepts);
            Expect(
                Signed(kind, Signer::kExpired, label + "countersigned", "-t " + server.LegacyUrl()),
                stamper.code, std::string(KindName(kind)) + ", legacy countersignature",
                stamper.code == 0 || stamper.osslsigncodeAccepts);
        }
        if (stamper.code == 0) {
            // The time-stamp covers the signature, not the content: a changed byte still fails.
            const std::string stamped =
                Signed(Kind::kCabinet, Signer::kExpired, "changed", "-ts " + server.Rfc3161Url());
            Expect(Changed(stamped, "content", [](std::string& b) { b[60] ^= 1; }), 6,
                   "content changed");
            // A genuine token made for another signature does not count for this one.
            server.ReplayLastToken();
            Expect(Signed(Kind::kCabinet, Signer::kExpired, "lifted", "-ts " + server.Rfc3161Url()),
                   6, "a token lifted from another signature");
        }
    }
    testsupport::TimestampServer server(signing_->TsaCertificate(), signing_->TsaKey(), now);
    Expect(Signed(Kind::kPe32, Signer::kVomoLlc, "valid-stamped", "-ts " + server.Rfc3161Url()), 0,
           "valid, time-stamped now");
}

// The trusted roots are loaded once per process and shared: checks on several threads at once,
// of plain and of time-stamped files (whose tokens set the shared store's time), load them once
// and agree; a changed roots file or variable counts from the next check on.
TEST_F(VerifyTrustTest, TrustedRootsAreLoadedOnceAndAgainWhenTheyChange) {
    testsupport::TimestampServer server(signing_->TsaCertificate(), signing_->TsaKey(),
                                        std::time(nullptr));
    const std::string plain = Signed(Kind::kCabinet, Signer::kVomoLlc, "shared-plain");
    const std::string stamped =
        Signed(Kind::kPe32, Signer::kVomoLlc, "shared-stamped", "-ts " + server.Rfc3161Url());
    const std::string expired =
        Signed(Kind::kCabinet, Signer::kExpired, "shared-expired", "-ts " + server.Rfc3161Url());
    std::string roots;
    ASSERT_TRUE(ReadFile(signing_->TrustedRoots(), roots));
    const std::string copy = dir_->File("shared-roots.pem");
    ASSERT_TRUE(WriteFile(copy, roots));
    ::setenv("VOMO_TRUST_ROOTS", copy.c_str(), 1);
    ASSERT_EQ(platform::kTrustOk, platform::VerifyFileTrust(plain));
    ASSERT_EQ(platform::kTrustOk, platform::VerifyFileTrust(stamped));
    const uint32_t expiredVerdict = platform::VerifyFileTrust(expired);
    EXPECT_NE(platform::kTrustOk, expiredVerdict);
    const unsigned loads = platform::TrustRoots::LoadCount();

    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i) {
                if (platform::VerifyFileTrust(plain) != platform::kTrustOk ||
                    platform::VerifyFileTrust(stamped) != platform::kTrustOk ||
                    platform::VerifyFileTrust(expired) != expiredVerdict) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(loads, platform::TrustRoots::LoadCount());

    // Another file's content under the same name: loaded again, and it trusts nothing of ours.
    ASSERT_TRUE(WriteFile(copy, "not a certificate\n"));
    EXPECT_EQ(platform::kTrustChaining, platform::VerifyFileTrust(plain));
    EXPECT_EQ(loads + 1, platform::TrustRoots::LoadCount());
    EXPECT_EQ(platform::kTrustChaining, platform::VerifyFileTrust(plain));
    EXPECT_EQ(loads + 1, platform::TrustRoots::LoadCount());
    ASSERT_TRUE(WriteFile(copy, roots + "\n"));
    EXPECT_EQ(platform::kTrustOk, platform::VerifyFileTrust(plain));
    ::setenv("VOMO_TRUST_ROOTS", signing_->TrustedRoots().c_str(), 1);
    EXPECT_EQ(platform::kTrustOk, platform::VerifyFileTrust(plain));
    EXPECT_EQ(loads + 3, platform::TrustRoots::LoadCount());
}

// ---------------------------------------------------------------------------------------------
// The signer's display name, on certificates made in memory.

class DisplayNameTest : public ::testing::Test {
protected:
    struct Entry {
        const char* field;
        std::string value;
    };

    // DER of a self-signed certificate with the subject `entries` and, when given, subject
    // alternative names in OpenSSL's configuration syntax.
    static std::string Certificate(const std::vector<Entry>& entries,
                                   const std::string& alternatives = std::string()) {
        static EVP_PKEY* key = EVP_EC_gen("P-256");
        X509* x = X509_new();
        X509_set_version(x, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
        X509_gmtime_adj(X509_getm_notBefore(x), 0);
        X509_gmtime_adj(X509_getm_notAfter(x), 3600);
        X509_NAME* name = X509_get_subject_name(x);
        for (const Entry& entry : entries) {
            X509_NAME_add_entry_by_txt(name, entry.field, MBSTRING_UTF8,
                                       reinterpret_cast<const unsigned char*>(entry.value.data()),
                                       static_cast<int>(entry.value.size()), -1, 0);
        }
        X509_set_issuer_name(x, name);
        if (!alternatives.empty()) {
            X509V3_CTX context;
            X509V3_set_ctx_nodb(&context);
            X509V3_set_ctx(&context, x, x, nullptr, nullptr, 0);
            X509_EXTENSION* extension =
                X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, alternatives.c_str());
            X509_add_ext(x, extension, -1);
            X509_EXTENSION_free(extension);
        }
        X509_set_pubkey(x, key);
        X509_sign(x, key, EVP_sha256());
        unsigned char* der = nullptr;
        const int length = i2d_X509(x, &der);
        std::string out(reinterpret_cast<char*>(der), length > 0 ? length : 0);
        OPENSSL_free(der);
        X509_free(x);
        return out;
    }
};

TEST_F(DisplayNameTest, FollowsTheFallbackOrder) {
    using platform::CertificateSimpleDisplayName;
    EXPECT_EQ("Vomo, LLC", CertificateSimpleDisplayName(Certificate(
                               {{"C", "US"}, {"O", "Other"}, {"CN", "Vomo, LLC"}, {"CN", "Two"}})));
    EXPECT_EQ("Unit", CertificateSimpleDisplayName(
                          Certificate({{"O", "Org"}, {"OU", "Unit"}, {"OU", "Second"}})));
    EXPECT_EQ("Org", CertificateSimpleDisplayName(Certificate({{"C", "US"}, {"O", "Org"}})));
    EXPECT_EQ("a@b.example",
              CertificateSimpleDisplayName(Certificate(
                  {{"C", "US"}, {"emailAddress", "a@b.example"}}, "email:c@d.example")));
    EXPECT_EQ("c@d.example",
              CertificateSimpleDisplayName(Certificate({{"C", "US"}}, "email:c@d.example")));
    EXPECT_EQ("US", CertificateSimpleDisplayName(Certificate({{"C", "US"}, {"L", "Town"}})));
    EXPECT_EQ("", CertificateSimpleDisplayName(Certificate({})));
    EXPECT_EQ("", CertificateSimpleDisplayName("not a certificate"));
}

TEST_F(DisplayNameTest, KeepsEveryByteOfTheName) {
    using platform::CertificateSimpleDisplayName;
    EXPECT_EQ("Vömo, LLC", CertificateSimpleDisplayName(Certificate({{"CN", "Vömo, LLC"}})));
    // A zero byte must not cut the name short into an accepted one.
    const std::string embedded("Vomo, LLC\0.evil.example", 23);
    EXPECT_EQ(embedded, CertificateSimpleDisplayName(Certificate({{"CN", embedded}})));
}

}  // namespace
