// Cabinet ("MSCF") extraction: on POSIX libmspack reads the cabinet's structure and decodes
// LZX, Quantum and stored folders, and zlib inflates MSZIP folders (MszipFolder.h, with the same
// bounds and checksums and stricter checks); on Windows the system's FDI (cabinet.dll).
//
// Every member of a cabinet is written to one destination file, each member replacing the one
// before it (a manifest cabinet holds a single member). After each member the destination's
// modification time becomes the member's DOS date and time taken as local time, and its
// permissions follow the member's read-only attribute: read-only removes the write permission
// bits, otherwise the owner may read and write. Hidden, system and archive have no meaning
// here. The last access time is left alone, as Windows leaves it.
//
// Choices where Windows would act differently:
// - The destination is created exclusively (it must not exist yet, and a link under its name is
//   not followed) with mode 0600, so that no file planted under that name in a shared
//   directory is ever written to; later members of the same cabinet rewrite the same file.
// - A cabinet without members extracts nothing and fails; any failure removes the destination
//   again, so that no partial file is left behind.
// - The output is capped: a cabinet whose members come to more bytes than the caller allows (a
//   few kilobytes of compressed data can claim gigabytes) fails once the cap is passed.
// - libmspack's diagnostics go to the calling thread's last error (LastError.h), never to
//   standard error.
//
// On Windows the destination, created exclusively as above, takes each member's DOS date and
// time as its creation and last-write times and the member's read-only, hidden, system and
// archive attributes, as the system's own extraction sets them; the decompressor only ever opens
// the cabinet it was given and writes only into that destination.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Extracts every member of the cabinet at `source` into the new file `destination`, writing at
// most `outputLimit` bytes in all. False on any failure, with the reason as the thread's last
// error.
bool ExtractCabinet(const std::string& source, const std::string& destination,
                    uint64_t outputLimit);

// A member as its cabinet describes it.
struct CabinetMember {
    std::string name;  // raw bytes; UTF-8 when attributes & 0x80
    uint32_t length = 0;
    uint32_t attributes = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// For checks of the reader on bytes in memory: lists the members of the cabinet held in
// `data` and decompresses each, discarding the output. Decompression stops with a failure once
// more than `outputLimit` bytes came out in all. False when the cabinet cannot be opened or a
// member fails.
bool ScanCabinetBuffer(const void* data, size_t size, size_t outputLimit,
                       std::vector<CabinetMember>& members);

// Test hook: false sends MSZIP folders through libmspack's own inflater too, so that tests can
// compare both readers on the same cabinets; true (the default) restores zlib's. No effect on
// Windows. Not for production use.
void UseZlibForMszipForTesting(bool use);

}  // namespace platform
