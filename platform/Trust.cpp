#include "platform/Trust.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/Environment.h"
#include "platform/LastError.h"

namespace platform {

namespace {

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
using StorePtr = Owned<X509_STORE, X509_STORE_free>;
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

uint16_t U16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t U32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// ---------------------------------------------------------------------------------------------
// The bytes of the file under check: a file on disk, read piecewise, or a buffer.

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Exactly `count` bytes at `offset`; false when they are not all there.
    virtual bool ReadAt(uint64_t offset, void* out, size_t count) = 0;
    // Feeds the bytes [offset, offset + count) to `digest`.
    virtual bool Digest(EVP_MD_CTX* digest, uint64_t offset, uint64_t count) = 0;
};

class BufferSource : public ByteSource {
public:
    BufferSource(const void* data, size_t size)
        : data_(static_cast<const unsigned char*>(data)), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* out, size_t count) override {
        if (offset > size_ || count > size_ - offset) {
            return false;
        }
        if (count > 0) {
            std::memcpy(out, data_ + offset, count);
        }
        return true;
    }
    bool Digest(EVP_MD_CTX* digest, uint64_t offset, uint64_t count) override {
        if (offset > size_ || count > size_ - offset) {
            return false;
        }
        return EVP_DigestUpdate(digest, data_ + offset, count) == 1;
    }

private:
    const unsigned char* data_;
    size_t size_;
};

class FileSource : public ByteSource {
public:
    ~FileSource() override {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    // False with the last error set when the file cannot be opened as a regular file.
    bool Open(const std::string& path) {
        // Non-blocking, so that a FIFO under the name cannot hang the check; it is refused
        // below like anything else that is not a regular file.
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) {
            SetLastErrorFromErrno();
            return false;
        }
        struct stat st;
        if (::fstat(fd_, &st) != 0) {
            SetLastErrorFromErrno();
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            SetLastError(kTrustFileError, "not a regular file: " + path);
            return false;
        }
        size_ = static_cast<uint64_t>(st.st_size);
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
        return true;
    }
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* out, size_t count) override {
        if (offset > size_ || count > size_ - offset) {
            return false;
        }
        unsigned char* to = static_cast<unsigned char*>(out);
        while (count > 0) {
            const ssize_t n = ::pread(fd_, to, count, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;  // an error, or the file shrank under us
            }
            to += n;
            offset += static_cast<uint64_t>(n);
            count -= static_cast<size_t>(n);
        }
        return true;
    }
    bool Digest(EVP_MD_CTX* digest, uint64_t offset, uint64_t count) override {
        // A chunk that stays in the processor's cache between the copy and the hashing.
        const size_t kChunk = 256 * 1024;
        if (buffer_.empty()) {
            buffer_.resize(kChunk);
        }
        while (count > 0) {
            const size_t n = count < kChunk ? static_cast<size_t>(count) : kChunk;
            if (!ReadAt(offset, buffer_.data(), n) ||
                EVP_DigestUpdate(digest, buffer_.data(), n) != 1) {
                return false;
            }
            offset += n;
            count -= n;
        }
        return true;
    }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    std::vector<unsigned char> buffer_;
};

// ---------------------------------------------------------------------------------------------
// Where the signature lives and which bytes its digest covers.

enum class Format { Cabinet, PeImage };

struct Range {
    uint64_t offset;
    uint64_t length;
};

struct Layout {
    Format format = Format::Cabinet;
    std::vector<Range> hashed;
    uint64_t slotOffset = 0;  // the DER signature, then zero padding up to the slot's end
    uint64_t slotLength = 0;
};

// A signed cabinet: signing inserts a 20-byte header reserve that holds the offset and size of
// the signature, which sits at the end of the file. The reserve (bytes 36 to 51) is not hashed,
// so checking it exactly is what protects it.
uint32_t LocateCabinetSignature(ByteSource& source, Layout& layout) {
    const uint64_t size = source.Size();
    unsigned char h[60];
    if (!source.ReadAt(0, h, sizeof h)) {
        return Fail(kTrustNoSignature, "the cabinet is too short to carry a signature");
    }
    const uint16_t flags = U16(h + 30);
    if ((flags & 0x0004) == 0) {
        return Fail(kTrustNoSignature, "the cabinet carries no signature");
    }
    if ((flags & 0x0003) != 0) {
        return Fail(kTrustNoSignature, "spanned cabinets are not accepted");
    }
    if (U32(h + 4) != 0 || U16(h + 36) != 20 || h[38] != 0 || h[39] != 0 ||
        U32(h + 40) != 0x00100000u) {
        return Fail(kTrustNoSignature, "the cabinet's signature header is malformed");
    }
    const uint64_t start = U32(h + 44);
    const uint64_t length = U32(h + 48);
    if (start + length != size || U32(h + 8) != start || start < sizeof h) {
        return Fail(kTrustNoSignature, "the cabinet's signature is not where it says it is");
    }
    const uint64_t folders = U16(h + 26);
    if (U32(h + 16) != sizeof h + 8 * folders || U32(h + 16) > start) {
        return Fail(kTrustNoSignature, "the cabinet's folder table is malformed");
    }
    layout.format = Format::Cabinet;
    layout.hashed = {{0, 4}, {8, 26}, {56, start - 56}};
    layout.slotOffset = start;
    layout.slotLength = length;
    return kTrustOk;
}

// A PE image: the certificate table entry of the optional header's data directories gives
// the file offset and size of the table, which must end the file. The checksum and the entry
// itself are not hashed; everything else before the table is, in file order.
uint32_t LocatePeSignature(ByteSource& source, Layout& layout) {
    const uint64_t size = source.Size();
    unsigned char dos[64];
    if (!source.ReadAt(0, dos, sizeof dos)) {
        return Fail(kTrustNoSignature, "the PE image is too short");
    }
    const uint64_t e = U32(dos + 0x3C);
    unsigned char nt[24 + 2];
    if (!source.ReadAt(e, nt, sizeof nt) || std::memcmp(nt, "PE\0\0", 4) != 0) {
        return Fail(kTrustNoSignature, "the PE header is missing");
    }
    const uint64_t optionalSize = U16(nt + 20);
    const uint64_t o = e + 24;
    const uint16_t magic = U16(nt + 24);
    uint64_t countOffset, directories;
    if (magic == 0x10B) {
        countOffset = o + 92;
        directories = o + 96;
    } else if (magic == 0x20B) {
        countOffset = o + 108;
        directories = o + 112;
    } else {
        return Fail(kTrustNoSignature, "the PE optional header has an unknown magic");
    }
    const uint64_t checksum = o + 64;
    const uint64_t entry = directories + 4 * 8;
    if (optionalSize < entry + 8 - o) {
        return Fail(kTrustNoSignature, "the PE optional header has no certificate table entry");
    }
    unsigned char count[4], table[8];
    if (!source.ReadAt(countOffset, count, 4) || U32(count) < 5 ||
        !source.ReadAt(entry, table, 8)) {
        return Fail(kTrustNoSignature, "the PE optional header has no certificate table entry");
    }
    const uint64_t tableOffset = U32(table);
    const uint64_t tableSize = U32(table + 4);
    if (tableOffset == 0 && tableSize == 0) {
        return Fail(kTrustNoSignature, "the PE image carries no signature");
    }
    if (tableOffset + tableSize != size || tableSize < 8 || tableOffset < entry + 8) {
        return Fail(kTrustNoSignature, "the PE certificate table is not at the end of the file");
    }
    unsigned char header[8];
    if (!source.ReadAt(tableOffset, header, 8)) {
        return Fail(kTrustNoSignature, "the PE certificate table cannot be read");
    }
    const uint32_t recordLength = U32(header);
    if (recordLength < 8 || recordLength > tableSize || U16(header + 4) != 0x0200 ||
        U16(header + 6) != 0x0002) {
        return Fail(kTrustNoSignature, "the PE certificate table holds no PKCS #7 signature");
    }
    layout.format = Format::PeImage;
    layout.hashed = {
        {0, checksum}, {checksum + 4, entry - checksum - 4}, {entry + 8, tableOffset - entry - 8}};
    layout.slotOffset = tableOffset + 8;
    layout.slotLength = tableSize - 8;
    return kTrustOk;
}

uint32_t LocateSignature(ByteSource& source, Layout& layout) {
    unsigned char magic[4];
    if (!source.ReadAt(0, magic, sizeof magic)) {
        return Fail(kTrustSubjectFormUnknown, "the file is neither a cabinet nor a PE image");
    }
    if (std::memcmp(magic, "MSCF", 4) == 0) {
        return LocateCabinetSignature(source, layout);
    }
    if (magic[0] == 'M' && magic[1] == 'Z') {
        return LocatePeSignature(source, layout);
    }
    return Fail(kTrustSubjectFormUnknown, "the file is neither a cabinet nor a PE image");
}

// Length of the DER element at the start of `data` (a SEQUENCE in definite form), or 0.
size_t DerElementLength(const unsigned char* data, size_t size) {
    if (size < 2 || data[0] != 0x30) {
        return 0;
    }
    size_t length = data[1], header = 2;
    if (length & 0x80) {
        const size_t digits = length & 0x7F;
        if (digits == 0 || digits > 4 || size < 2 + digits) {
            return 0;  // indefinite, or longer than any signature we read
        }
        length = 0;
        for (size_t i = 0; i < digits; ++i) {
            length = (length << 8) | data[2 + i];
        }
        header += digits;
    }
    if (length > size - header) {
        return 0;
    }
    return header + length;
}

// Reads the signature slot and decodes its PKCS #7 message, requiring zero padding after it.
uint32_t ReadSignature(ByteSource& source, const Layout& layout, Pkcs7Ptr& message) {
    if (layout.slotLength > kMaxSignatureBytes) {
        return Fail(kTrustNoSignature, "the embedded signature is implausibly large");
    }
    std::vector<unsigned char> slot(static_cast<size_t>(layout.slotLength));
    if (!source.ReadAt(layout.slotOffset, slot.data(), slot.size())) {
        return Fail(kTrustFileError, "the embedded signature cannot be read");
    }
    const size_t der = DerElementLength(slot.data(), slot.size());
    if (der == 0) {
        return Fail(kTrustNoSignature, "the embedded signature is not a DER message");
    }
    for (size_t i = der; i < slot.size(); ++i) {
        if (slot[i] != 0) {
            return Fail(kTrustNoSignature, "data follows the embedded signature");
        }
    }
    const unsigned char* p = slot.data();
    message.reset(d2i_PKCS7(nullptr, &p, static_cast<long>(der)));
    if (!message || p != slot.data() + der) {
        message.reset();
        return Fail(kTrustNoSignature, "the embedded signature cannot be decoded");
    }
    if (!PKCS7_type_is_signed(message.get()) || !message->d.sign || !message->d.sign->contents) {
        message.reset();
        return Fail(kTrustNoSignature, "the embedded signature is not a signed message");
    }
    return kTrustOk;
}

uint32_t OpenSignature(ByteSource& source, Layout& layout, Pkcs7Ptr& message) {
    const uint32_t status = LocateSignature(source, layout);
    return status != kTrustOk ? status : ReadSignature(source, layout, message);
}

// ---------------------------------------------------------------------------------------------
// The signed content: SpcIndirectDataContent, naming the kind of file and its digest.

struct IndirectData {
    const unsigned char* content = nullptr;  // the content octets, what messageDigest covers
    size_t contentLength = 0;
    const EVP_MD* algorithm = nullptr;
    std::string digest;
};

bool IsAcceptedDigest(int nid) {
    return nid == NID_sha1 || nid == NID_sha256 || nid == NID_sha384 || nid == NID_sha512;
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
        format == Format::Cabinet ? SpcCabinetDataOid() : SpcPeImageDataOid();
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
    for (const Range& range : layout.hashed) {
        if (!source.Digest(context.get(), range.offset, range.length)) {
            return Fail(kTrustFileError, "the file cannot be read");
        }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1 || length != data.digest.size() ||
        CRYPTO_memcmp(digest, data.digest.data(), length) != 0) {
        return Fail(kTrustBadDigest, "the file's digest does not match its signature");
    }
    return kTrustOk;
}

// ---------------------------------------------------------------------------------------------
// Trust: roots, timestamp, chain, key usage.

StorePtr NewTrustStore() {
    StorePtr store(X509_STORE_new());
    if (!store) {
        return store;
    }
    X509_STORE_set_default_paths(store.get());
    std::string extra;
    if (GetEnvironmentText("VOMO_TRUST_ROOTS", extra) && !extra.empty()) {
        // A file that cannot be read adds no roots; the check then fails on the chain.
        X509_STORE_load_file(store.get(), extra.c_str());
    }
    // Code-signing certificates are not S/MIME certificates: the purpose is checked below.
    X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY);
    ERR_clear_error();
    return store;
}

bool ToTime(const ASN1_TIME* asn1, int64_t& when) {
    struct tm tm;
    std::memset(&tm, 0, sizeof tm);
    if (!asn1 || ASN1_TIME_to_tm(asn1, &tm) != 1) {
        return false;
    }
    when = static_cast<int64_t>(::timegm(&tm));
    return true;
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

// The time of an RFC 3161 timestamp on signer `signer`, when it carries one that verifies: the
// token's imprint covers the signer's signature value and the token's signer chains to a
// trusted root at the token's own time.
bool VerifiedTimestamp(PKCS7_SIGNER_INFO* signer, X509_STORE* store, int64_t& when) {
    const auto isTimestamp = [](const ASN1_OBJECT* oid) {
        return SameOid(oid, Rfc3161TimestampOid());
    };
    for (const ASN1_STRING* sequence : UnauthenticatedSequences(signer, isTimestamp)) {
        const unsigned char* p = sequence->data;
        Pkcs7Ptr token(d2i_PKCS7(nullptr, &p, sequence->length));
        if (!token || !PKCS7_type_is_signed(token.get())) {
            continue;
        }
        TstInfoPtr info(PKCS7_to_TS_TST_INFO(token.get()));
        int64_t tokenTime = 0;
        if (!info || !ToTime(TS_TST_INFO_get_time(info.get()), tokenTime)) {
            continue;
        }
        TsVerifyPtr verify(TS_VERIFY_CTX_new());
        BIO* imprinted = BIO_new_mem_buf(signer->enc_digest->data, signer->enc_digest->length);
        if (!verify || !imprinted || X509_STORE_up_ref(store) != 1) {
            BIO_free(imprinted);
            continue;
        }
        TS_VERIFY_CTX_set_flags(verify.get(), TS_VFY_VERSION | TS_VFY_SIGNATURE | TS_VFY_DATA);
        TS_VERIFY_CTX_set_data(verify.get(), imprinted);  // owned by the context from here
        TS_VERIFY_CTX_set_store(verify.get(), store);     // so is this reference
        X509_VERIFY_PARAM* param = X509_STORE_get0_param(store);
        X509_VERIFY_PARAM_set_time(param, static_cast<time_t>(tokenTime));
        const bool ok = TS_RESP_verify_token(verify.get(), token.get()) == 1;
        X509_VERIFY_PARAM_clear_flags(param, X509_V_FLAG_USE_CHECK_TIME);
        if (ok) {
            when = tokenTime;
            return true;
        }
    }
    return false;
}

// The time of a legacy Authenticode countersignature on `signer`, when it carries one that
// verifies: a signer information of its own, whose message digest covers the signer's
// signature value, whose signing time the counter-signer vouches for, and whose certificate
// (supplied by the message) chains to a trusted root at that time and may stamp time.
bool VerifiedCountersignature(PKCS7* message, PKCS7_SIGNER_INFO* signer, X509_STORE* store,
                              int64_t& when) {
    const auto isCountersignature = [](const ASN1_OBJECT* oid) {
        return OBJ_obj2nid(oid) == NID_pkcs9_countersignature;
    };
    for (const ASN1_STRING* sequence : UnauthenticatedSequences(signer, isCountersignature)) {
        const unsigned char* p = sequence->data;
        CounterSignerPtr counter(d2i_PKCS7_SIGNER_INFO(nullptr, &p, sequence->length));
        if (!counter || !counter->issuer_and_serial || !counter->digest_alg ||
            !IsAcceptedDigest(OBJ_obj2nid(counter->digest_alg->algorithm))) {
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
        StoreCtxPtr context(X509_STORE_CTX_new());
        if (!context ||
            X509_STORE_CTX_init(context.get(), store, certificate, message->d.sign->cert) != 1) {
            continue;
        }
        X509_STORE_CTX_set_time(context.get(), 0, static_cast<time_t>(counterTime));
        if (X509_verify_cert(context.get()) != 1 ||
            ((X509_get_extension_flags(certificate) & EXFLAG_XKUSAGE) != 0 &&
             (X509_get_extended_key_usage(certificate) & XKU_TIMESTAMP) == 0)) {
            continue;
        }
        when = counterTime;
        return true;
    }
    return false;
}

uint32_t ChainFailure(int error) {
    const std::string reason = std::string("the signer's certificate is not trusted: ") +
                               X509_verify_cert_error_string(error);
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

uint32_t CheckTrust(PKCS7* message, const IndirectData& data) {
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

    StorePtr store = NewTrustStore();
    if (!store) {
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
    if (PKCS7_verify(message, nullptr, store.get(), content.get(), nullptr, PKCS7_NOVERIFY) != 1) {
        return Fail(kTrustBadSignature, "the signature does not verify");
    }
    SignerStackPtr signerCerts(PKCS7_get0_signers(message, nullptr, 0));
    X509* certificate = signerCerts ? sk_X509_value(signerCerts.get(), 0) : nullptr;
    if (!certificate) {
        return Fail(kTrustBadSignature, "the signer's certificate is missing");
    }

    int64_t timestamp = 0;
    const bool stamped = VerifiedTimestamp(signer, store.get(), timestamp) ||
                         VerifiedCountersignature(message, signer, store.get(), timestamp);
    StoreCtxPtr chain(X509_STORE_CTX_new());
    if (!chain ||
        X509_STORE_CTX_init(chain.get(), store.get(), certificate, message->d.sign->cert) != 1) {
        return Fail(kTrustChaining, "the certificate chain cannot be built");
    }
    if (stamped) {
        X509_STORE_CTX_set_time(chain.get(), 0, static_cast<time_t>(timestamp));
    }
    if (X509_verify_cert(chain.get()) != 1) {
        return ChainFailure(X509_STORE_CTX_get_error(chain.get()));
    }
    if ((X509_get_extension_flags(certificate) & EXFLAG_XKUSAGE) != 0 &&
        (X509_get_extended_key_usage(certificate) & XKU_CODE_SIGN) == 0) {
        return Fail(kTrustWrongUsage, "the signer's certificate does not allow code signing");
    }
    return kTrustOk;
}

uint32_t VerifySource(ByteSource& source) {
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
        status = CheckTrust(message.get(), data);
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

uint32_t VerifyFileTrust(const std::string& path) {
    FileSource source;
    if (!source.Open(path)) {
        return Fail(kTrustFileError, "cannot open " + path + ": " + GetLastErrorText());
    }
    return VerifySource(source);
}

uint32_t VerifyBufferTrust(const void* data, size_t size) {
    BufferSource source(data, size);
    return VerifySource(source);
}

struct EmbeddedSignature::Message {
    Pkcs7Ptr pkcs7;
};

EmbeddedSignature::EmbeddedSignature() = default;
EmbeddedSignature::~EmbeddedSignature() = default;

namespace {

// The decoded signature of `source`, or nothing.
std::unique_ptr<EmbeddedSignature::Message> DecodeSignature(ByteSource& source) {
    Layout layout;
    Pkcs7Ptr pkcs7;
    if (OpenSignature(source, layout, pkcs7) != kTrustOk) {
        return nullptr;
    }
    return std::unique_ptr<EmbeddedSignature::Message>(
        new EmbeddedSignature::Message{std::move(pkcs7)});
}

}  // namespace

bool EmbeddedSignature::Open(const std::string& path) {
    FileSource source;
    if (!source.Open(path)) {
        message_.reset();
        Fail(kTrustFileError, "cannot open " + path + ": " + GetLastErrorText());
        return false;
    }
    message_ = DecodeSignature(source);
    return message_ != nullptr;
}

bool EmbeddedSignature::OpenBuffer(const void* data, size_t size) {
    BufferSource source(data, size);
    message_ = DecodeSignature(source);
    return message_ != nullptr;
}

bool EmbeddedSignature::HasSignerInfo(size_t index) const {
    if (!message_) {
        return false;
    }
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(message_->pkcs7.get());
    if (static_cast<int>(index) >= sk_PKCS7_SIGNER_INFO_num(signers)) {
        return false;
    }
    const PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(signers, static_cast<int>(index));
    return signer && signer->issuer_and_serial && signer->issuer_and_serial->issuer &&
           signer->issuer_and_serial->serial;
}

namespace {

X509* SignerCertificate(PKCS7* message) {
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(message);
    if (sk_PKCS7_SIGNER_INFO_num(signers) < 1) {
        return nullptr;
    }
    const PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(signers, 0);
    if (!signer || !signer->issuer_and_serial) {
        return nullptr;
    }
    return X509_find_by_issuer_and_serial(message->d.sign->cert, signer->issuer_and_serial->issuer,
                                          signer->issuer_and_serial->serial);
}

}  // namespace

bool EmbeddedSignature::HasSignerCertificate() const {
    return message_ && SignerCertificate(message_->pkcs7.get()) != nullptr;
}

std::string EmbeddedSignature::SignerDisplayName() const {
    X509* certificate = message_ ? SignerCertificate(message_->pkcs7.get()) : nullptr;
    return certificate ? SimpleDisplayName(certificate) : std::string();
}

std::string CertificateSimpleDisplayName(const std::string& der) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    X509Ptr certificate(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    ERR_clear_error();
    return certificate ? SimpleDisplayName(certificate.get()) : std::string();
}

}  // namespace platform
