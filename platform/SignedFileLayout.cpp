#include "platform/SignedFileLayout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/LastError.h"
#include "platform/Trust.h"

namespace platform {
namespace signedfile {

namespace {

uint32_t Fail(uint32_t status, const std::string& reason) {
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
// Byte sources.

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
    bool Feed(uint64_t offset, uint64_t count,
              const std::function<bool(const unsigned char*, size_t)>& sink) override {
        if (offset > size_ || count > size_ - offset) {
            return false;
        }
        return sink(data_ + offset, static_cast<size_t>(count));
    }
    bool Identify(uint64_t&, uint64_t&) const override { return false; }

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
        device_ = static_cast<uint64_t>(st.st_dev);
        node_ = static_cast<uint64_t>(st.st_ino);
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
    bool Feed(uint64_t offset, uint64_t count,
              const std::function<bool(const unsigned char*, size_t)>& sink) override {
        // A chunk that stays in the processor's cache between the copy and the hashing.
        const size_t kChunk = 256 * 1024;
        if (buffer_.empty()) {
            buffer_.resize(kChunk);
        }
        while (count > 0) {
            const size_t n = count < kChunk ? static_cast<size_t>(count) : kChunk;
            if (!ReadAt(offset, buffer_.data(), n) || !sink(buffer_.data(), n)) {
                return false;
            }
            offset += n;
            count -= n;
        }
        return true;
    }
    bool Identify(uint64_t& device, uint64_t& node) const override {
        device = device_;
        node = node_;
        return true;
    }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    uint64_t device_ = 0;
    uint64_t node_ = 0;
    std::vector<unsigned char> buffer_;
};

// ---------------------------------------------------------------------------------------------
// Layouts.

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
    layout.format = Format::kCabinet;
    layout.hashed = {{0, 4}, {8, 26}, {56, start - 56}};
    layout.slotOffset = start;
    layout.slotLength = length;
    layout.derLimit = length;
    return kTrustOk;
}

// A PE image: the certificate table entry of the optional header's data directories gives
// the file offset and size of the table, which must end the file. The checksum and the entry
// itself are not hashed; everything else before the table is, in file order.
//
// The table holds exactly one WIN_CERTIFICATE record: its length (header included) covers the
// DER signature, and only the padding to the next multiple of 8 may follow it. A record whose
// length cuts the signature short holds no signature, as Windows reads it.
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
    if (tableSize - recordLength >= 8) {
        return Fail(kTrustNoSignature, "the PE certificate table holds more than its record");
    }
    layout.format = Format::kPeImage;
    layout.hashed = {
        {0, checksum}, {checksum + 4, entry - checksum - 4}, {entry + 8, tableOffset - entry - 8}};
    layout.slotOffset = tableOffset + 8;
    layout.slotLength = tableSize - 8;
    layout.derLimit = recordLength - 8;
    return kTrustOk;
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

}  // namespace

std::unique_ptr<ByteSource> OpenFile(const std::string& path) {
    FileSource* file = new FileSource;
    std::unique_ptr<ByteSource> source(file);
    if (!file->Open(path)) {
        Fail(kTrustFileError, "cannot open " + path + ": " + GetLastErrorText());
        return nullptr;
    }
    return source;
}

std::unique_ptr<ByteSource> OverBuffer(const void* data, size_t size) {
    return std::unique_ptr<ByteSource>(new BufferSource(data, size));
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

uint32_t ReadSignature(ByteSource& source, const Layout& layout, std::vector<unsigned char>& der) {
    der.clear();
    if (layout.slotLength > kMaxSignatureBytes) {
        return Fail(kTrustNoSignature, "the embedded signature is implausibly large");
    }
    std::vector<unsigned char> slot(static_cast<size_t>(layout.slotLength));
    if (!source.ReadAt(layout.slotOffset, slot.data(), slot.size())) {
        return Fail(kTrustFileError, "the embedded signature cannot be read");
    }
    const size_t limit = static_cast<size_t>(std::min(layout.derLimit, layout.slotLength));
    const size_t length = DerElementLength(slot.data(), limit);
    if (length == 0) {
        return Fail(kTrustNoSignature, "the embedded signature is not a DER message");
    }
    for (size_t i = length; i < slot.size(); ++i) {
        if (slot[i] != 0) {
            return Fail(kTrustNoSignature, "data follows the embedded signature");
        }
    }
    slot.resize(length);
    der.swap(slot);
    return kTrustOk;
}

}  // namespace signedfile
}  // namespace platform
