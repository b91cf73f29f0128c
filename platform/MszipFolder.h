// The MSZIP folders of a cabinet decoded with zlib, for the cabinet reader (Cabinet.h), which
// keeps libmspack for the cabinet's structure (header, folders, members) and for the other
// compression types.
//
// An MSZIP folder is a row of data blocks (CFDATA): each holds "CK" and one deflate stream that
// inflates to the block's stated size, with the output of the blocks before it (up to 32 KiB)
// as its dictionary. Each block is checked as libmspack checks it - at most 38,912 bytes in, at
// most 32,768 out, its checksum when it carries one - and more strictly: the "CK" must open the
// block, its stream must end inside the block, and it must inflate to exactly the stated size.
// Whatever fails is an error of libmspack's numbering (MSPACK_ERR_*), with a text.
//
// POSIX backend only: on Windows the system's cabinet API does this work.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
namespace mszip {

// Where the cabinet's bytes come from: reads up to `size` bytes at `offset` into `buffer` and
// answers how many it read (fewer only at the end of the cabinet or on an error).
typedef std::function<size_t(uint64_t offset, void* buffer, size_t size)> ReadAt;

// Where a member's bytes go, in order; false stops the decoding (the sink sets the last error).
typedef std::function<bool(const char* data, size_t size)> Sink;

// The layout a cabinet's header gives: the reserve sizes and where each folder's blocks start.
struct Layout {
    uint32_t dataReserve = 0;                 // bytes reserved in each data block's header
    std::vector<uint64_t> folderDataOffsets;  // the first data block of each folder
    bool spanned = false;                     // part of a set: folders may continue elsewhere
};

// Reads the layout from the cabinet's header; false with an MSPACK_ERR_* code and its reason
// when the header cannot be read.
bool ReadLayout(const ReadAt& read, Layout& layout, int& error, std::string& reason);

// Decodes one MSZIP folder, member by member: each Extract writes the bytes of the folder's
// uncompressed stream from `offset` to `offset + length` to the sink, continuing from where the
// last one stopped when it can and starting the folder afresh when it cannot.
class FolderReader {
public:
    FolderReader(const ReadAt& read, uint64_t dataOffset, uint32_t blocks, uint32_t dataReserve);
    ~FolderReader();
    FolderReader(const FolderReader&) = delete;
    FolderReader& operator=(const FolderReader&) = delete;

    // 0, or an MSPACK_ERR_* code with `reason` set.
    int Extract(uint64_t offset, uint64_t length, const Sink& sink, std::string& reason);

private:
    struct State;
    int Restart(std::string& reason);
    int NextBlock(std::string& reason);

    ReadAt read_;
    uint64_t dataOffset_;
    uint32_t blocks_;
    uint32_t dataReserve_;
    std::unique_ptr<State> state_;
};

}  // namespace mszip
}  // namespace platform
