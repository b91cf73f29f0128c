#include "platform/Trust.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Environment.h"
#include "platform/LastError.h"
#include "platform/SignedFileLayout.h"
#include "platform/TrustRoots.h"

namespace platform {

namespace {

using signedfile::ByteSource;
using signedfile::Format;
using signedfile::Layout;
using signedfile::Range;

// ---------------------------------------------------------------------------------------------
// OpenSSL objects owned by unique pointers.

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
template <class T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, Deleter<T, Free>>;

using Pkcs7Ptr = Owned<PKCS7, PKCS7_free>;
using X509SigPtr = Owned<X509_SIG, X509_SIG_free>;
using X509Ptr = Owned<X509, X509_free>;
using StoreCtxPtr = Owned<X509_STORE_CTX, X509_STORE_CTX_free>;
using MdCtxPtr = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;
using BioPtr = Owned<BIO, BIO_free_all>;
using ObjectPtr = Owned<ASN1_OBJECT, ASN1_OBJECT_free>;
using TstInfoPtr = Owned<TS_TST_INFO, TS_TST_INFO_free>;
using TsVerifyPtr = Owned<TS_VERIFY_CTX, TS_VERIFY_CTX_free>;
using GeneralNamesPtr = Owned<GENERAL_NAMES, GENERAL_NAMES_free>;
using CounterSignerPtr = Owned<PKCS7_SIGNER_INFO, PKCS7_SIGNER_INFO_free>;

void FreeX509Stack(STACK_OF(X509) * stack) {
    sk_X509_free(stack);  // the certificates belong to the message
}
using SignerStackPtr = Owned<STACK_OF(X509), FreeX509Stack>;

// Object identifiers OpenSSL 3.0 has no names for. Made once; never changed afterwards.
const ASN1_OBJECT* Oid(const char* text) {
    return OBJ_txt2obj(text, 1);
}
const ASN1_OBJECT* SpcIndirectDataOid() {
    static const ASN1_OBJECT* oid = Oid("1.3.6.1.4.1.311.2.1.4");
    return oid;
}
const ASN1_OBJECT* SpcPeImageDataOid() {
    static const ASN1_OBJECT* oid = Oid("1.3.6.1.4.1.311.2.1.15");
    return oid;
}
const ASN1_OBJECT* SpcCabinetDataOid() {
    static const ASN1_OBJECT* oid = Oid("1.3.6.1.4.1.311.2.1.25");
    return oid;
}
const ASN1_OBJECT* Rfc3161TimestampOid() {
    static const ASN1_OBJECT* oid = Oid("1.3.6.1.4.1.311.3.3.1");
    return oid;
}

bool SameOid(const ASN1_OBJECT* a, const ASN1_OBJECT* b) {
    return a && b && OBJ_cmp(a, b) == 0;
}

// Records a failure as the thread's last error and answers its status. OpenSSL's error queue
// is emptied so that nothing of this check is left for the next user of the thread.
uint32_t Fail(uint32_t status, const std::string& reason) {
    ERR_clear_error();
    SetLastError(status, reason);
    return status;
}

// ---------------------------------------------------------------------------------------------
// The embedded signature.

// The signature of `source`, decoded: a PKCS #7 signed message with content.
uint32_t OpenSignature(ByteSource& source, Layout& layout, Pkcs7Ptr& message) {
    uint32_t status = signedfile::LocateSignature(source, layout);
    std::vector<unsigned char> der;
    if (status == kTrustOk) {
        status = signedfile::ReadSignature(source, layout, der);
    }
    if (status != kTrustOk) {
        return status;
    }
    const unsigned char* p = der.data();
    message.reset(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
    if (!message || p != der.data() + der.size()) {
        message.reset();
        return Fail(kTrustNoSignature, "the embedded signature cannot be decoded");
    }
    if (!PKCS7_type_is_signed(message.get()) || !message->d.sign || !message->d.sign->contents) {
        message.reset();
        return Fail(kTrustNoSignature, "the embedded signature is not a signed message");
    }
    return kTrustOk;
}

// ---------------------------------------------------------------------------------------------
// The signed content: SpcIndirectDataContent, naming the kind of file and its digest.

struct IndirectData {
    const unsigned char* content = nullptr;  // the content octets, what messageDigest covers
    size_t contentLength = 0;
    const EVP_MD* algorithm = nullptr;
    std::string digest;
};

// The digests a file's digest and its signer's digest may use. SHA-1 is refused: collisions
// are practical, and both of these digests cover bytes that whoever signs chooses.
bool IsAcceptedDigest(int nid) {
    return nid == NID_sha256 || nid == NID_sha384 || nid == NID_sha512;
}

// The digests a time-stamp may use, SHA-1 included: a time-stamp's digest covers a signature
// value, which nobody can shape to meet a collision.
bool IsTimestampDigest(int nid) {
    return nid == NID_sha1 || IsAcceptedDigest(nid);
}

// Reads one definite-length element header; false when it is malformed or overruns `size`.
bool ReadElement(const unsigned char*& p, long size, int expectedTag, long& length) {
    int tag = 0, cls = 0;
    const int flags = ASN1_get_object(&p, &length, &tag, &cls, size);
    return (flags & 0x80) == 0 && (flags & 0x01) == 0 && tag == expectedTag &&
           cls == V_ASN1_UNIVERSAL;
}

uint32_t ParseIndirectData(PKCS7* message, Format format, IndirectData& data) {
    PKCS7* inner = message->d.sign->contents;
    if (!SameOid(inner->type, SpcIndirectDataOid())) {
        return Fail(kTrustNoSignature, "the signed content is not Authenticode data");
    }
    const ASN1_TYPE* value = inner->d.other;
    if (!value || value->type != V_ASN1_SEQUENCE || !value->value.sequence) {
        return Fail(kTrustNoSignature, "the Authenticode data is malformed");
    }
    const ASN1_STRING* encoded = value->value.sequence;
    const unsigned char* p = encoded->data;
    long length = 0;
    if (!ReadElement(p, encoded->length, V_ASN1_SEQUENCE, length)) {
        return Fail(kTrustNoSignature, "the Authenticode data is malformed");
    }
    data.content = p;
    data.contentLength = static_cast<size_t>(length);
    const unsigned char* end = p + length;

    // SpcAttributeTypeAndOptionalValue: only its type matters.
    long attributeLength = 0;
    if (!ReadElement(p, end - p, V_ASN1_SEQUENCE, attributeLength)) {
        return Fail(kTrustNoSignature, "the Authenticode data is malformed");
    }
    const unsigned char* attributeEnd = p + attributeLength;
    ObjectPtr type(d2i_ASN1_OBJECT(nullptr, &p, attributeEnd - p));
    const ASN1_OBJECT* expected =
        format == Format::kCabinet ? SpcCabinetDataOid() : SpcPeImageDataOid();
    if (!type || !SameOid(type.get(), expected)) {
        return Fail(kTrustNoSignature, "the signature was not made for this kind of file");
    }
    p = attributeEnd;

    // DigestInfo.
    X509SigPtr digestInfo(d2i_X509_SIG(nullptr, &p, end - p));
    if (!digestInfo) {
        return Fail(kTrustNoSignature, "the Authenticode digest is malformed");
    }
    const X509_ALGOR* algorithm = nullptr;
    const ASN1_OCTET_STRING* digest = nullptr;
    X509_SIG_get0(digestInfo.get(), &algorithm, &digest);
    const ASN1_OBJECT* algorithmOid = nullptr;
    X509_ALGOR_get0(&algorithmOid, nullptr, nullptr, algorithm);
    const int nid = OBJ_obj2nid(algorithmOid);
    if (!IsAcceptedDigest(nid)) {
        return Fail(kTrustNoSignature, "the Authenticode digest algorithm is not accepted");
    }
    data.algorithm = EVP_get_digestbynid(nid);
    if (!data.algorithm || !digest ||
        ASN1_STRING_length(digest) != EVP_MD_get_size(data.algorithm)) {
        return Fail(kTrustNoSignature, "the Authenticode digest is malformed");
    }
    data.digest.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(digest)),
                       static_cast<size_t>(ASN1_STRING_length(digest)));
    return kTrustOk;
}

uint32_t CheckFileDigest(ByteSource& source, const Layout& layout, const IndirectData& data) {
    MdCtxPtr context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), data.algorithm, nullptr) != 1) {
        return Fail(kTrustBadDigest, "the file's digest cannot be computed");
    }
    EVP_MD_CTX* digest = context.get();
    const auto update = [digest](const unsigned char* bytes, size_t count) {
        return EVP_DigestUpdate(digest, bytes, count) == 1;
    };
    for (const Range& range : layout.hashed) {
        if (!source.Feed(range.offset, range.length, update)) {
            return Fail(kTrustFileError, "the file cannot be read");
        }
    }
    unsigned char computed[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(digest, computed, &length) != 1 || length != data.digest.size() ||
        CRYPTO_memcmp(computed, data.digest.data(), length) != 0) {
        return Fail(kTrustBadDigest, "the file's digest does not match its signature");
    }
    return kTrustOk;
}

// ---------------------------------------------------------------------------------------------
// Trust: roots, chains and their usages, time-stamps.

bool ToTime(const ASN1_TIME* asn1, int64_t& when) {
    struct tm tm;
    std::memset(&tm, 0, sizeof tm);
    if (!asn1 || ASN1_TIME_to_tm(asn1, &tm) != 1) {
        return false;
    }
    when = static_cast<int64_t>(::timegm(&tm));
    return true;
}

enum class Usage { kCodeSigning, kTimeStamping };

// Whether a verified chain (leaf first) may be used for `usage`, as Windows judges it: every
// certificate that has an extended key usage extension lists the usage, so that an issuer
// restricted to other usages cannot issue for this one (the "any" usage is not taken for it);
// a time-stamp's signer must have the extension; and the leaf's key usage, when it has one,
// allows digital signatures.
bool ChainAllows(STACK_OF(X509) * chain, Usage usage) {
    const uint32_t wanted = usage == Usage::kCodeSigning ? XKU_CODE_SIGN : XKU_TIMESTAMP;
    for (int i = 0; i < sk_X509_num(chain); ++i) {
        X509* certificate = sk_X509_value(chain, i);
        if ((X509_get_extension_flags(certificate) & EXFLAG_XKUSAGE) == 0) {
            if (i == 0 && usage == Usage::kTimeStamping) {
                return false;
            }
        } else if ((X509_get_extended_key_usage(certificate) & wanted) == 0) {
            return false;
        }
    }
    X509* leaf = sk_X509_value(chain, 0);
    return leaf && ((X509_get_extension_flags(leaf) & EXFLAG_KUSAGE) == 0 ||
                    (X509_get_key_usage(leaf) & KU_DIGITAL_SIGNATURE) != 0);
}

// Chains `leaf` to a trusted root through the store and `untrusted`, valid at `*at` (now
// without it), and checks the chain's usages. 0, or the status of the failure.
uint32_t VerifyChain(const TrustRoots& roots, X509* leaf, STACK_OF(X509) * untrusted,
                     const int64_t* at, Usage usage) {
    StoreCtxPtr context(X509_STORE_CTX_new());
    // Held for the whole chain check: building a chain caches data in the store's shared
    // certificates (their extensions, the certificates of the system's folder read on demand),
    // which OpenSSL does not guard against a reader on another thread. A chain takes well under
    // a millisecond; the hashing of files, the long part of a check, stays parallel.
    std::lock_guard<std::mutex> lock(roots.ParametersLock());
    // The context takes a copy of the store's parameters here.
    const bool initialised =
        context && X509_STORE_CTX_init(context.get(), roots.Store(), leaf, untrusted) == 1;
    if (!initialised) {
        return Fail(kTrustChaining, "the certificate chain cannot be built");
    }
    if (at) {
        X509_STORE_CTX_set_time(context.get(), 0, static_cast<time_t>(*at));
    }
    if (X509_verify_cert(context.get()) != 1) {
        const int error = X509_STORE_CTX_get_error(context.get());
        const std::string reason =
            std::string("the certificate is not trusted: ") + X509_verify_cert_error_string(error);
        switch (error) {
            case X509_V_ERR_CERT_HAS_EXPIRED:
            case X509_V_ERR_CERT_NOT_YET_VALID:
                return Fail(kTrustExpired, reason);
            case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
            case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
                return Fail(kTrustUntrustedRoot, reason);
            default:
                return Fail(kTrustChaining, reason);
        }
    }
    if (!ChainAllows(X509_STORE_CTX_get0_chain(context.get()), usage)) {
        return Fail(kTrustWrongUsage, usage == Usage::kCodeSigning
                                          ? "the certificate chain does not allow code signing"
                                          : "the certificate chain does not allow time-stamping");
    }
    return kTrustOk;
}

// The SEQUENCE values of the signer's unauthenticated attributes of one kind (`isKind` tells it
// by the attribute's OID), in their order.
template <class IsKind>
std::vector<const ASN1_STRING*> UnauthenticatedSequences(PKCS7_SIGNER_INFO* signer, IsKind isKind) {
    std::vector<const ASN1_STRING*> found;
    STACK_OF(X509_ATTRIBUTE)* attributes = signer->unauth_attr;
    for (int i = 0; i < sk_X509_ATTRIBUTE_num(attributes); ++i) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(attributes, i);
        if (!isKind(X509_ATTRIBUTE_get0_object(attribute)) || X509_ATTRIBUTE_count(attribute) < 1) {
            continue;
        }
        const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, 0);
        if (value && value->type == V_ASN1_SEQUENCE && value->value.sequence) {
            found.push_back(value->value.sequence);
        }
    }
    return found;
}

// The time of an RFC 3161 time-stamp on `signer`, when it carries one that counts: the token's
// imprint covers the signer's signature value, its signature verifies, and its signer's
// certificate chains to a trusted root at the token's own time and may stamp time.
bool VerifiedTimestamp(PKCS7_SIGNER_INFO* signer, const TrustRoots& roots, int64_t& when) {
    X509_STORE* store = roots.Store();
    const auto isTimestamp = [](const ASN1_OBJECT* oid) {
        return SameOid(oid, Rfc3161TimestampOid());
    };
    for (const ASN1_STRING* sequence : UnauthenticatedSequences(signer, isTimestamp)) {
        const unsigned char* p = sequence->data;
        Pkcs7Ptr token(d2i_PKCS7(nullptr, &p, sequence->length));
        if (!token || !PKCS7_type_is_signed(token.get()) || !token->d.sign) {
            continue;
        }
        TstInfoPtr info(PKCS7_to_TS_TST_INFO(token.get()));
        int64_t tokenTime = 0;
        if (!info || !ToTime(TS_TST_INFO_get_time(info.get()), tokenTime)) {
            continue;
        }
        const X509_ALGOR* imprintAlgorithm =
            TS_MSG_IMPRINT_get_algo(TS_TST_INFO_get_msg_imprint(info.get()));
        if (!imprintAlgorithm || !IsTimestampDigest(OBJ_obj2nid(imprintAlgorithm->algorithm))) {
            continue;
        }
        // The token's version, imprint and signature; OpenSSL checks a chain too, which
        // VerifyChain below checks again with the usages.
        TsVerifyPtr verify(TS_VERIFY_CTX_new());
        BIO* imprinted = BIO_new_mem_buf(signer->enc_digest->data, signer->enc_digest->length);
        if (!verify || !imprinted || X509_STORE_up_ref(store) != 1) {
            BIO_free(imprinted);
            continue;
        }
        TS_VERIFY_CTX_set_flags(verify.get(), TS_VFY_VERSION | TS_VFY_SIGNATURE | TS_VFY_DATA);
        TS_VERIFY_CTX_set_data(verify.get(), imprinted);  // owned by the context from here
        TS_VERIFY_CTX_set_store(verify.get(), store);     // so is this reference
        // The token's chain is judged at the token's time, which OpenSSL takes from the shared
        // store's parameters only: they are set and restored under the roots' lock.
        bool verified = false;
        {
            std::lock_guard<std::mutex> lock(roots.ParametersLock());
            X509_VERIFY_PARAM* param = X509_STORE_get0_param(store);
            X509_VERIFY_PARAM_set_time(param, static_cast<time_t>(tokenTime));
            verified = TS_RESP_verify_token(verify.get(), token.get()) == 1;
            X509_VERIFY_PARAM_clear_flags(param, X509_V_FLAG_USE_CHECK_TIME);
        }
        if (!verified) {
            continue;
        }
        SignerStackPtr tokenSigners(PKCS7_get0_signers(token.get(), nullptr, 0));
        X509* stamper = tokenSigners ? sk_X509_value(tokenSigners.get(), 0) : nullptr;
        if (stamper && VerifyChain(roots, stamper, token->d.sign->cert, &tokenTime,
                                   Usage::kTimeStamping) == kTrustOk) {
            when = tokenTime;
            return true;
        }
    }
    return false;
}

// The time of a legacy Authenticode countersignature on `signer`, when it carries one that
// counts: a signer information of its own, whose message digest covers the signer's signature
// value, whose signing time the counter-signer vouches for, and whose certificate (supplied by
// the message) chains to a trusted root at that time and may stamp time.
bool VerifiedCountersignature(PKCS7* message, PKCS7_SIGNER_INFO* signer, const TrustRoots& roots,
                              int64_t& when) {
    const auto isCountersignature = [](const ASN1_OBJECT* oid) {
        return OBJ_obj2nid(oid) == NID_pkcs9_countersignature;
    };
    for (const ASN1_STRING* sequence : UnauthenticatedSequences(signer, isCountersignature)) {
        const unsigned char* p = sequence->data;
        CounterSignerPtr counter(d2i_PKCS7_SIGNER_INFO(nullptr, &p, sequence->length));
        if (!counter || !counter->issuer_and_serial || !counter->digest_alg ||
            !IsTimestampDigest(OBJ_obj2nid(counter->digest_alg->algorithm))) {
            continue;
        }
        X509* certificate = X509_find_by_issuer_and_serial(message->d.sign->cert,
                                                           counter->issuer_and_serial->issuer,
                                                           counter->issuer_and_serial->serial);
        const ASN1_TYPE* signingTime =
            PKCS7_get_signed_attribute(counter.get(), NID_pkcs9_signingTime);
        int64_t counterTime = 0;
        if (!certificate || !signingTime ||
            (signingTime->type != V_ASN1_UTCTIME && signingTime->type != V_ASN1_GENERALIZEDTIME) ||
            !ToTime(signingTime->value.utctime, counterTime)) {
            continue;
        }
        // The signature value goes through a digest BIO, as PKCS7_signatureVerify expects.
        BIO* digest = BIO_new(BIO_f_md());
        BIO* sink = BIO_new(BIO_s_null());
        if (!digest || !sink) {
            BIO_free(digest);
            BIO_free(sink);
            continue;
        }
        BioPtr chain(BIO_push(digest, sink));
        BIO_set_md(digest, EVP_get_digestbyobj(counter->digest_alg->algorithm));
        if (BIO_write(chain.get(), signer->enc_digest->data, signer->enc_digest->length) !=
                signer->enc_digest->length ||
            PKCS7_signatureVerify(chain.get(), message, counter.get(), certificate) != 1) {
            continue;
        }
        if (VerifyChain(roots, certificate, message->d.sign->cert, &counterTime,
                        Usage::kTimeStamping) == kTrustOk) {
            when = counterTime;
            return true;
        }
    }
    return false;
}

std::string SimpleDisplayName(X509* certificate);

uint32_t CheckTrust(PKCS7* message, const IndirectData& data, std::string* signerName) {
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(message);
    if (sk_PKCS7_SIGNER_INFO_num(signers) != 1) {
        return Fail(kTrustNoSignature, "the signature must have exactly one signer");
    }
    PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(signers, 0);
    if (sk_X509_ATTRIBUTE_num(signer->auth_attr) <= 0 || !signer->enc_digest) {
        return Fail(kTrustNoSignature, "the signature has no authenticated attributes");
    }
    if (!signer->digest_alg || !IsAcceptedDigest(OBJ_obj2nid(signer->digest_alg->algorithm))) {
        return Fail(kTrustNoSignature, "the signer's digest algorithm is not accepted");
    }
    const ASN1_TYPE* contentType = PKCS7_get_signed_attribute(signer, NID_pkcs9_contentType);
    if (!contentType || contentType->type != V_ASN1_OBJECT ||
        !SameOid(contentType->value.object, SpcIndirectDataOid())) {
        return Fail(kTrustNoSignature, "the signature's content type is not Authenticode data");
    }

    const std::shared_ptr<TrustRoots> roots = TrustRoots::Current();
    if (!roots) {
        return Fail(kTrustChaining, "no certificate store");
    }
    // The message digest of the content octets and the signature over the attributes; the
    // chain is checked separately below, at the right time.
    // A null filter in front of the memory BIO: given a memory BIO directly, PKCS7_verify of
    // OpenSSL 3.0 makes a private copy of it that it leaks when the message names a digest it
    // does not know.
    BIO* memory = BIO_new_mem_buf(data.content, static_cast<int>(data.contentLength));
    BIO* filter = BIO_new(BIO_f_null());
    if (!memory || !filter) {
        BIO_free(memory);
        BIO_free(filter);
        return Fail(kTrustBadSignature, "out of memory");
    }
    BioPtr content(BIO_push(filter, memory));
    // The store is not used by the check without chain (PKCS7_NOVERIFY).
    if (PKCS7_verify(message, nullptr, roots->Store(), content.get(), nullptr, PKCS7_NOVERIFY) !=
        1) {
        return Fail(kTrustBadSignature, "the signature does not verify");
    }
    SignerStackPtr signerCerts(PKCS7_get0_signers(message, nullptr, 0));
    X509* certificate = signerCerts ? sk_X509_value(signerCerts.get(), 0) : nullptr;
    if (!certificate) {
        return Fail(kTrustBadSignature, "the signer's certificate is missing");
    }

    int64_t timestamp = 0;
    const bool stamped = VerifiedTimestamp(signer, *roots, timestamp) ||
                         VerifiedCountersignature(message, signer, *roots, timestamp);
    const uint32_t status = VerifyChain(*roots, certificate, message->d.sign->cert,
                                        stamped ? &timestamp : nullptr, Usage::kCodeSigning);
    if (status != kTrustOk) {
        return status;
    }
    if (signerName) {
        *signerName = SimpleDisplayName(certificate);
    }
    return kTrustOk;
}

uint32_t VerifySource(ByteSource& source, std::string* signerName) {
    Layout layout;
    Pkcs7Ptr message;
    uint32_t status = OpenSignature(source, layout, message);
    IndirectData data;
    if (status == kTrustOk) {
        status = ParseIndirectData(message.get(), layout.format, data);
    }
    if (status == kTrustOk) {
        status = CheckFileDigest(source, layout, data);
    }
    if (status == kTrustOk) {
        status = CheckTrust(message.get(), data, signerName);
    }
    if (status == kTrustOk) {
        ERR_clear_error();
        ClearLastError();
    }
    return status;
}

// ---------------------------------------------------------------------------------------------
// Simple display name.

std::string Utf8(const ASN1_STRING* text) {
    unsigned char* out = nullptr;
    const int length = text ? ASN1_STRING_to_UTF8(&out, text) : -1;
    if (length < 0) {
        return std::string();
    }
    std::string result(reinterpret_cast<const char*>(out), static_cast<size_t>(length));
    OPENSSL_free(out);
    return result;
}

bool FirstOf(const X509_NAME* name, int nid, std::string& value) {
    const int index = name ? X509_NAME_get_index_by_NID(name, nid, -1) : -1;
    if (index < 0) {
        return false;
    }
    value = Utf8(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
    return true;
}

std::string SimpleDisplayName(X509* certificate) {
    const X509_NAME* subject = X509_get_subject_name(certificate);
    std::string name;
    if (FirstOf(subject, NID_commonName, name) ||
        FirstOf(subject, NID_organizationalUnitName, name) ||
        FirstOf(subject, NID_organizationName, name) ||
        FirstOf(subject, NID_pkcs9_emailAddress, name)) {
        return name;
    }
    GeneralNamesPtr alternatives(static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr)));
    for (int i = 0; i < sk_GENERAL_NAME_num(alternatives.get()); ++i) {
        const GENERAL_NAME* alternative = sk_GENERAL_NAME_value(alternatives.get(), i);
        if (alternative->type == GEN_DIRNAME &&
            FirstOf(alternative->d.directoryName, NID_pkcs9_emailAddress, name)) {
            return name;
        }
    }
    for (int i = 0; i < sk_GENERAL_NAME_num(alternatives.get()); ++i) {
        const GENERAL_NAME* alternative = sk_GENERAL_NAME_value(alternatives.get(), i);
        if (alternative->type == GEN_EMAIL) {
            return Utf8(alternative->d.rfc822Name);
        }
    }
    if (X509_NAME_entry_count(subject) > 0) {
        return Utf8(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, 0)));
    }
    return std::string();
}

}  // namespace

uint32_t VerifyFileTrust(const std::string& path, std::string* signerName, FileSeal* seal) {
    if (signerName) {
        signerName->clear();
    }
    const std::unique_ptr<ByteSource> source = signedfile::OpenFile(path);
    if (!source) {
        return kTrustFileError;
    }
    uint32_t status = VerifySource(*source, signerName);
    if (status == kTrustOk && seal && !signedfile::SealSource(*source, *seal)) {
        status = kTrustFileError;
        if (signerName) {
            signerName->clear();
        }
    }
    return status;
}

uint32_t VerifyBufferTrust(const void* data, size_t size, std::string* signerName) {
    if (signerName) {
        signerName->clear();
    }
    const std::unique_ptr<ByteSource> source = signedfile::OverBuffer(data, size);
    return VerifySource(*source, signerName);
}

std::string CertificateSimpleDisplayName(const std::string& der) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    X509Ptr certificate(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    ERR_clear_error();
    return certificate ? SimpleDisplayName(certificate.get()) : std::string();
}

}  // namespace platform
