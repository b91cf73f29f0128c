// The bytes of a file under the trust check (Trust.h), and where its embedded Authenticode
// signature lives: the layout readers of signed cabinets and PE images, which name the bytes
// the signature's digest covers and the slot that holds the signature. Only the trust check
// uses this.
//
// A file is opened once: every read goes to that one open file, whatever later happens to its
// name, so that what is hashed, what is decoded and whose signer is named come from one file.
//
// Functions that answer a status answer a TrustStatus of Trust.h and record a failure as the
// calling thread's last error (LastError.h); their out-parameters are written only on success,
// except that ReadSignature empties `der` first. One thread uses a source at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSeal.h"

namespace platform {
namespace signedfile {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Exactly `count` bytes at `offset`; false when they are not all there.
    virtual bool ReadAt(uint64_t offset, void* out, size_t count) = 0;
    // Hands the bytes [offset, offset + count) to `sink` in order, in pieces; false when they
    // are not all there or `sink` answers false.
    virtual bool Feed(uint64_t offset, uint64_t count,
                      const std::function<bool(const unsigned char*, size_t)>& sink) = 0;
    // The identity of the open file (FileSeal.h); false for bytes that are not a file.
    virtual bool Identify(uint64_t& device, uint64_t& node) const = 0;
};

// The regular file at `path`, opened for reading without blocking (a FIFO under the name is
// refused, not waited on). Null, with the last error set to kTrustFileError, when it cannot be
// opened or is not a regular file.
std::unique_ptr<ByteSource> OpenFile(const std::string& path);
// Bytes held by the caller, which outlive the source.
std::unique_ptr<ByteSource> OverBuffer(const void* data, size_t size);

// The seal of an opened file's source, from its identity and every byte it reads now. False,
// with the last error set to kTrustFileError and `seal` as it was, when it is not a file or
// cannot be read to its end. (Defined with SealFile.)
bool SealSource(ByteSource& source, FileSeal& seal);

enum class Format { kCabinet, kPeImage };

struct Range {
    uint64_t offset;
    uint64_t length;
};

struct Layout {
    Format format = Format::kCabinet;
    std::vector<Range> hashed;  // the bytes the Authenticode digest covers, in order
    uint64_t slotOffset = 0;    // the DER signature, then zero padding up to the slot's end
    uint64_t slotLength = 0;
    uint64_t derLimit = 0;  // the DER signature ends within this many bytes of the slot
};

// Reads the layout of a signed cabinet or PE image. kTrustSubjectFormUnknown for any other
// file; kTrustNoSignature for an unsigned file or a layout that a signed file cannot have.
uint32_t LocateSignature(ByteSource& source, Layout& layout);

// The DER signature of the slot, of at most kMaxSignatureBytes, without the padding after it,
// which must be zero. kTrustNoSignature when it is missing, too large or not one DER element.
uint32_t ReadSignature(ByteSource& source, const Layout& layout, std::vector<unsigned char>& der);

}  // namespace signedfile
}  // namespace platform
