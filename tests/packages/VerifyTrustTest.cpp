// The signature check over real signed files: cabinets made by gcab and PE images, signed by
// osslsigncode with throwaway certificates. For every file the verdict of the platform check is
// compared with `osslsigncode verify` given the same roots.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <httplib.h>
#include <openssl/pem.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "packages/VerifyTrust.h"
#include "platform/LastError.h"
#include "platform/Trust.h"
#include "support/CodeSigning.h"
#include "support/TempDir.h"

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
        SCOPED_TRACE(what + " (" + path + ")");
        VerifyTrust verifier;
        EXPECT_EQ(code, verifier.Verify(path)) << platform::GetLastErrorText();
        const bool trusted = platform::VerifyFileTrust(path) == platform::kTrustOk;
        EXPECT_EQ(trusted, code == 0 || code == 2);
        EXPECT_EQ(trusted, signing_->OsslsigncodeAccepts(path))
            << "osslsigncode disagrees; our reason: " << platform::GetLastErrorText();
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

TEST_F(VerifyTrustTest, ReasonsNameTheFailure) {
    EXPECT_EQ(platform::kTrustNoSignature, platform::VerifyFileTrust(Unsigned(Kind::kCabinet)));
    EXPECT_EQ(platform::kTrustNoSignature, platform::GetLastErrorCode());
    EXPECT_EQ(platform::kTrustExpired,
              platform::VerifyFileTrust(Signed(Kind::kPe32, Signer::kExpired, "reason-expired")));
    EXPECT_NE(std::string::npos, platform::GetLastErrorText().find("expired"));
    EXPECT_EQ(platform::kTrustWrongUsage,
              platform::VerifyFileTrust(Signed(Kind::kPe32, Signer::kServerAuth, "reason-usage")));
    const std::string good = Signed(Kind::kCabinet, Signer::kVomoLlc, "reason");
    EXPECT_EQ(platform::kTrustBadDigest, platform::VerifyFileTrust(Changed(
                                             good, "reason", [](std::string& b) { b[60] ^= 1; })));
    EXPECT_EQ(platform::kTrustOk, platform::VerifyFileTrust(good));
    EXPECT_EQ(0u, platform::GetLastErrorCode());
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
// Timestamps: a local RFC 3161 time-stamping server that answers with a chosen time.

class TimestampServer {
public:
    TimestampServer(const CodeSigning& signing, time_t when) : when_(when) {
        FILE* file = std::fopen(signing.TsaCertificate().c_str(), "r");
        certificate_ = file ? PEM_read_X509(file, nullptr, nullptr, nullptr) : nullptr;
        if (file) {
            std::fclose(file);
        }
        file = std::fopen(signing.TsaKey().c_str(), "r");
        key_ = file ? PEM_read_PrivateKey(file, nullptr, nullptr, nullptr) : nullptr;
        if (file) {
            std::fclose(file);
        }
        server_.Post("/", [this](const httplib::Request& request, httplib::Response& response) {
            response.set_content(Reply(request.body), "application/timestamp-reply");
        });
        server_.Post(
            "/legacy", [this](const httplib::Request& request, httplib::Response& response) {
                response.set_content(LegacyReply(request.body), "application/octet-stream");
            });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) {
            std::this_thread::yield();
        }
    }
    ~TimestampServer() {
        server_.stop();
        thread_.join();
        X509_free(certificate_);
        EVP_PKEY_free(key_);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

private:
    static int Now(TS_RESP_CTX*, void* data, long* seconds, long* microseconds) {
        *seconds = static_cast<long>(*static_cast<time_t*>(data));
        *microseconds = 0;
        return 1;
    }

    std::string Reply(const std::string& query) {
        TS_RESP_CTX* context = TS_RESP_CTX_new();
        ASN1_OBJECT* policy = OBJ_txt2obj("1.3.6.1.4.1.59999.1", 1);
        TS_RESP_CTX_set_signer_cert(context, certificate_);
        TS_RESP_CTX_set_signer_key(context, key_);
        TS_RESP_CTX_set_def_policy(context, policy);
        TS_RESP_CTX_add_md(context, EVP_sha1());
        TS_RESP_CTX_add_md(context, EVP_sha256());
        TS_RESP_CTX_set_time_cb(context, &TimestampServer::Now, &when_);
        BIO* in = BIO_new_mem_buf(query.data(), static_cast<int>(query.size()));
        TS_RESP* reply = TS_RESP_create_response(context, in);
        unsigned char* der = nullptr;
        const int length = reply ? i2d_TS_RESP(reply, &der) : 0;
        std::string out(reinterpret_cast<char*>(der), length > 0 ? length : 0);
        OPENSSL_free(der);
        TS_RESP_free(reply);
        BIO_free(in);
        ASN1_OBJECT_free(policy);
        TS_RESP_CTX_free(context);
        return out;
    }

    // The legacy Authenticode protocol: the request is the base64 of a sequence holding the
    // signature value to countersign; the reply is the base64 of a signed message over it,
    // whose signer information becomes the countersignature.
    std::string LegacyReply(const std::string& query) {
        std::string clean;
        for (char c : query) {
            if (!std::isspace(static_cast<unsigned char>(c))) {
                clean += c;
            }
        }
        std::vector<unsigned char> der(clean.size());
        const int decoded =
            EVP_DecodeBlock(der.data(), reinterpret_cast<const unsigned char*>(clean.data()),
                            static_cast<int>(clean.size()));
        if (decoded <= 0) {
            return std::string();
        }
        // SEQUENCE { type, SEQUENCE { content type, [0] { OCTET STRING } } }
        const unsigned char* p = der.data();
        const unsigned char* end = p + decoded;
        long length = 0;
        int tag = 0, cls = 0;
        const bool enter[] = {true, false, true, false, true, true};
        for (bool into : enter) {
            if (ASN1_get_object(&p, &length, &tag, &cls, end - p) & 0x80) {
                return std::string();
            }
            if (!into) {
                p += length;
            }
        }
        BIO* in = BIO_new_mem_buf(p, static_cast<int>(length));
        const int flags = PKCS7_BINARY | PKCS7_PARTIAL | PKCS7_NOSMIMECAP;
        PKCS7* message = PKCS7_sign(certificate_, key_, nullptr, in, flags);
        PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(message), 0);
        PKCS7_add_signed_attribute(signer, NID_pkcs9_signingTime, V_ASN1_UTCTIME,
                                   ASN1_UTCTIME_set(nullptr, when_));
        PKCS7_final(message, in, flags);
        unsigned char* out = nullptr;
        const int size = i2d_PKCS7(message, &out);
        std::string base64(4 * ((size + 2) / 3) + 1, '\0');
        base64.resize(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&base64[0]), out, size));
        OPENSSL_free(out);
        PKCS7_free(message);
        BIO_free(in);
        return base64;
    }

    time_t when_;
    X509* certificate_ = nullptr;
    EVP_PKEY* key_ = nullptr;
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

TEST_F(VerifyTrustTest, ATimestampWithinTheValidityPeriodKeepsAnExpiredSignatureValid) {
    const time_t mid2020 = 1593561600;  // 2020-07-01, while the expired certificate was valid
    {
        TimestampServer server(*signing_, mid2020);
        for (Kind kind : kKinds) {
            Expect(Signed(kind, Signer::kExpired, "stamped", "-ts " + server.Url()), 0,
                   std::string(KindName(kind)) + " expired, timestamped in 2020");
            Expect(Signed(kind, Signer::kExpired, "countersigned", "-t " + server.Url() + "legacy"),
                   0, std::string(KindName(kind)) + " expired, countersigned in 2020");
        }
        // The timestamp covers the signature, not the content: a changed byte still fails.
        const std::string stamped =
            Signed(Kind::kCabinet, Signer::kExpired, "stamped-changed", "-ts " + server.Url());
        Expect(Changed(stamped, "content", [](std::string& b) { b[60] ^= 1; }), 6,
               "timestamped, content changed");
    }
    {
        TimestampServer server(*signing_, std::time(nullptr));
        Expect(Signed(Kind::kCabinet, Signer::kExpired, "stamped-now", "-ts " + server.Url()), 6,
               "expired, timestamped now");
        Expect(Signed(Kind::kPe32, Signer::kExpired, "countersigned-now",
                      "-t " + server.Url() + "legacy"),
               6, "expired, countersigned now");
        Expect(Signed(Kind::kPe32, Signer::kVomoLlc, "valid-stamped", "-ts " + server.Url()), 0,
               "valid, timestamped now");
    }
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
