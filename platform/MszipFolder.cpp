#include "platform/MszipFolder.h"

#include <mspack.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform {
namespace mszip {

namespace {

const size_t kHeaderBytes = 36;        // CFHEADER without its optional parts
const size_t kFolderBytes = 8;         // CFFOLDER without its reserve
const size_t kBlockHeaderBytes = 8;    // CFDATA without its reserve
const size_t kMaxBlockOutput = 32768;  // what one block may inflate to
const size_t kMaxBlockInput = kMaxBlockOutput + 6144;
const size_t kReadAhead = 1024 * 1024;     // compressed bytes read at once
const uint16_t kHeaderReservePresent = 4;  // CFHEADER flags
const uint16_t kHeaderPrevious = 1;
const uint16_t kHeaderNext = 2;

uint16_t Le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The cabinet checksum: the little-endian words XORed together, the last bytes taken from the
// high end down.
uint32_t Checksum(const unsigned char* data, size_t size, uint32_t seed) {
    uint32_t sum = seed;
    size_t words = size / 4;
    for (; words > 0; --words, data += 4) {
        sum ^= Le32(data);
    }
    uint32_t last = 0;
    switch (size & 3) {
        case 3:
            last |= static_cast<uint32_t>(*data++) << 16;
            [[fallthrough]];
        case 2:
            last |= static_cast<uint32_t>(*data++) << 8;
            [[fallthrough]];
        case 1:
            last |= *data;
            break;
        default:
            break;
    }
    return sum ^ last;
}

}  // namespace

bool ReadLayout(const ReadAt& read, Layout& layout, int& error, std::string& reason) {
    layout = Layout();
    unsigned char header[kHeaderBytes];
    if (read(0, header, sizeof header) != sizeof header) {
        error = MSPACK_ERR_READ;
        reason = "the cabinet's header cannot be read";
        return false;
    }
    const uint16_t folders = Le16(header + 26);
    const uint16_t flags = Le16(header + 30);
    layout.spanned = (flags & (kHeaderPrevious | kHeaderNext)) != 0;
    uint64_t at = kHeaderBytes;
    uint32_t folderReserve = 0;
    if (flags & kHeaderReservePresent) {
        unsigned char sizes[4];
        if (read(at, sizes, sizeof sizes) != sizeof sizes) {
            error = MSPACK_ERR_READ;
            reason = "the cabinet's header cannot be read";
            return false;
        }
        folderReserve = sizes[2];
        layout.dataReserve = sizes[3];
        at += sizeof sizes + Le16(sizes);
    }
    if (layout.spanned) {
        return true;  // names of the other cabinets follow; such folders are not read here
    }
    for (uint16_t i = 0; i < folders; ++i) {
        unsigned char folder[kFolderBytes];
        if (read(at, folder, sizeof folder) != sizeof folder) {
            error = MSPACK_ERR_READ;
            reason = "the cabinet's folder table cannot be read";
            return false;
        }
        layout.folderDataOffsets.push_back(Le32(folder));
        at += kFolderBytes + folderReserve;
    }
    return true;
}

struct FolderReader::State {
    z_stream stream;
    bool streamReady = false;
    uint32_t nextBlock = 0;             // index of the block to read next
    uint64_t nextInput = 0;             // where its header starts
    uint64_t blockStart = 0;            // offset in the folder's output of the block in `output`
    std::vector<unsigned char> output;  // the current block's output
    std::vector<unsigned char> input;   // compressed bytes read ahead
    uint64_t inputStart = 0;            // the cabinet offset of input[0]
    size_t inputSize = 0;

    State() { std::memset(&stream, 0, sizeof stream); }
    ~State() {
        if (streamReady) {
            inflateEnd(&stream);
        }
    }
};

FolderReader::FolderReader(const ReadAt& read, uint64_t dataOffset, uint32_t blocks,
                           uint32_t dataReserve)
    : read_(read), dataOffset_(dataOffset), blocks_(blocks), dataReserve_(dataReserve) {}

FolderReader::~FolderReader() = default;

int FolderReader::Restart(std::string& reason) {
    if (!state_) {
        state_.reset(new State);
        if (inflateInit2(&state_->stream, -15) != Z_OK) {
            reason = "the inflater cannot be made";
            state_.reset();
            return MSPACK_ERR_NOMEMORY;
        }
        state_->streamReady = true;
        state_->input.resize(kReadAhead + kMaxBlockInput + kBlockHeaderBytes + 256);
        state_->output.reserve(kMaxBlockOutput);
    }
    state_->nextBlock = 0;
    state_->nextInput = dataOffset_;
    state_->blockStart = 0;
    state_->output.clear();
    state_->inputSize = 0;
    return MSPACK_ERR_OK;
}

// Reads the next block and inflates it into `output`, in place of the current one. The
// folder's output offset of the new block is `blockStart`.
int FolderReader::NextBlock(std::string& reason) {
    State& s = *state_;
    if (s.nextBlock >= blocks_) {
        reason = "a member reaches past the end of its folder";
        return MSPACK_ERR_DATAFORMAT;
    }
    // The block's header, reserve and data, from the read-ahead buffer.
    const auto bytesAt = [&](uint64_t offset, size_t size, const unsigned char*& out) {
        if (offset < s.inputStart || offset + size > s.inputStart + s.inputSize) {
            s.inputStart = offset;
            s.inputSize = read_(offset, s.input.data(), std::max(size, kReadAhead));
            if (s.inputSize < size) {
                return false;
            }
        }
        out = s.input.data() + (offset - s.inputStart);
        return true;
    };
    const unsigned char* header = nullptr;
    if (!bytesAt(s.nextInput, kBlockHeaderBytes, header)) {
        reason = "a data block's header cannot be read";
        return MSPACK_ERR_READ;
    }
    const uint32_t stored = Le32(header);
    const uint16_t inSize = Le16(header + 4);
    const uint16_t outSize = Le16(header + 6);
    unsigned char sizes[4];
    std::memcpy(sizes, header + 4, sizeof sizes);
    if (inSize > kMaxBlockInput || outSize > kMaxBlockOutput || outSize == 0) {
        reason = "a data block is larger than blocks may be";
        return MSPACK_ERR_DATAFORMAT;
    }
    const unsigned char* data = nullptr;
    const uint64_t dataAt = s.nextInput + kBlockHeaderBytes + dataReserve_;
    if (!bytesAt(dataAt, inSize, data)) {
        reason = "a data block cannot be read (truncated?)";
        return MSPACK_ERR_READ;
    }
    if (stored != 0 && Checksum(sizes, sizeof sizes, Checksum(data, inSize, 0)) != stored) {
        reason = "a data block's checksum is wrong";
        return MSPACK_ERR_CHECKSUM;
    }
    if (inSize < 2 || data[0] != 'C' || data[1] != 'K') {
        reason = "a data block does not start with its MSZIP signature";
        return MSPACK_ERR_DECRUNCH;
    }

    // The stream starts afresh for each block but keeps its window, the output so far: what
    // MSZIP's blocks refer back to. (Z_FINISH would skip keeping it.)
    s.blockStart += s.output.size();
    z_stream& z = s.stream;
    if ((s.nextBlock == 0 ? inflateReset(&z) : inflateResetKeep(&z)) != Z_OK) {
        reason = "the compressed data is corrupt";
        return MSPACK_ERR_DECRUNCH;
    }
    s.output.resize(outSize);
    z.next_in = const_cast<unsigned char*>(data + 2);
    z.avail_in = inSize - 2;
    z.next_out = s.output.data();
    z.avail_out = outSize;
    const int rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_STREAM_END || z.avail_out != 0) {
        reason = std::string("the compressed data is corrupt") + (z.msg ? ": " : "") +
                 (z.msg ? z.msg : "");
        s.output.clear();
        return MSPACK_ERR_DECRUNCH;
    }
    ++s.nextBlock;
    s.nextInput = dataAt + inSize;
    return MSPACK_ERR_OK;
}

int FolderReader::Extract(uint64_t offset, uint64_t length, const Sink& sink, std::string& reason) {
    if (!state_ || offset < state_->blockStart) {
        if (const int rc = Restart(reason)) {
            return rc;
        }
    }
    State& s = *state_;
    const uint64_t end = offset + length;
    uint64_t at = offset;
    while (at < end) {
        const uint64_t blockEnd = s.blockStart + s.output.size();
        if (at >= blockEnd) {
            if (const int rc = NextBlock(reason)) {
                return rc;
            }
            continue;
        }
        const uint64_t stop = std::min(end, blockEnd);
        const size_t from = static_cast<size_t>(at - s.blockStart);
        const size_t count = static_cast<size_t>(stop - at);
        if (!sink(reinterpret_cast<const char*>(s.output.data()) + from, count)) {
            reason.clear();  // the sink's own failure
            return MSPACK_ERR_WRITE;
        }
        at = stop;
    }
    return MSPACK_ERR_OK;
}

}  // namespace mszip
}  // namespace platform
