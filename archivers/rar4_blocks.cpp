#include "rar4_blocks.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "failure.h"
#include "little_endian.h"

namespace varnelt::archiver::rar4 {
namespace {

constexpr char kMarker[] = "Rar!\x1a\x07\x00";
constexpr size_t kMarkerSize = 7;
// libarchive looks this far into a self-extractor for the archive.
constexpr size_t kStubSearchLimit = 1024 * 1024;

constexpr const char* kCut = "unexpected end of archive";

constexpr size_t kBaseSize = 7;
constexpr size_t kFirstRead = 256;
constexpr size_t kFileHeaderSize = 32;
constexpr size_t kLargeFileHeaderSize = 40;
// RAR 2 kept an old-style comment inside the main header; its HEAD_CRC covers only the fixed
// fields before it.
constexpr size_t kMainFixedSize = 13;

enum : uint16_t { kOldComment = 0x0002, kLargeSizes = 0x0100, kLongBlock = 0x8000 };

// How many header bytes HEAD_CRC covers, or nullopt for the RAR 2 block types (comments,
// authenticity, signatures, recovery) whose rules differ between writers.
std::optional<size_t> checkedLength(uint8_t type, uint16_t flags, size_t headerSize) {
    switch (type) {
        case kMainHead:
            return (flags & kOldComment) != 0 ? std::min(headerSize, kMainFixedSize) : headerSize;
        case kFileHead:
        case kServiceHead:
        case kEndArchive:
            return headerSize;
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<uint64_t> findFirstBlock(const InputFile& file) {
    char start[kMarkerSize] = {};
    if (file.readAt(start, kMarkerSize, 0) && std::memcmp(start, kMarker, kMarkerSize) == 0) {
        return kMarkerSize;
    }
    std::vector<char> head(static_cast<size_t>(
        std::clamp<int64_t>(file.size(), 0, static_cast<int64_t>(kStubSearchLimit))));
    const ptrdiff_t got = head.empty() ? 0 : file.readSomeAt(head.data(), head.size(), 0);
    if (got < static_cast<ptrdiff_t>(kMarkerSize)) {
        return std::nullopt;
    }
    const auto end = head.begin() + got;
    const auto found = std::search(head.begin(), end, kMarker, kMarker + kMarkerSize);
    if (found == end) {
        return std::nullopt;
    }
    return static_cast<uint64_t>(found - head.begin()) + kMarkerSize;
}

int32_t BlockWalker::next(std::optional<Block>& block) {
    block.reset();
    const auto fileSize = static_cast<uint64_t>(file_.size());
    if (position_ >= fileSize) {
        return position_ == fileSize ? VARNELT_ARC_OK : failWith(VARNELT_ARC_ERROR_EOF, kCut);
    }
    std::vector<uint8_t>& header = header_;
    // Most headers are short: one read takes the whole of one, whose size is not yet known.
    const ptrdiff_t got = fileSize - position_ < kBaseSize
                              ? 0
                              : file_.readSomeAt(header.data(), kFirstRead, position_);
    if (got < static_cast<ptrdiff_t>(kBaseSize)) {
        return failWith(VARNELT_ARC_ERROR_EOF, kCut);
    }
    Block found;
    found.offset = position_;
    found.type = header[2];
    found.flags = le16(&header[3]);
    found.headerSize = le16(&header[5]);
    const size_t size = found.headerSize;
    const bool hasData = found.type == kFileHead || found.type == kServiceHead;
    const size_t least = !hasData                           ? kBaseSize
                         : (found.flags & kLargeSizes) != 0 ? kLargeFileHeaderSize
                                                            : kFileHeaderSize;
    if (size < least || (!hasData && (found.flags & kLongBlock) != 0 && size < kBaseSize + 4)) {
        return failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged block header");
    }
    const auto have = static_cast<size_t>(got);
    if (fileSize - position_ < size ||
        (size > have && !file_.readAt(&header[have], size - have, position_ + have))) {
        return failWith(VARNELT_ARC_ERROR_EOF, kCut);
    }
    if (const auto covered = checkedLength(found.type, found.flags, size);
        covered && (crc32_z(0, &header[2], *covered - 2) & 0xFFFF) != le16(&header[0])) {
        return failWith(VARNELT_ARC_ERROR_HEADER_CRC, "header CRC mismatch");
    }
    if (hasData) {
        found.dataSize = le32(&header[7]);
        found.unpackedSize = le32(&header[11]);
        if ((found.flags & kLargeSizes) != 0) {
            found.dataSize |= uint64_t{le32(&header[32])} << 32;
            found.unpackedSize |= uint64_t{le32(&header[36])} << 32;
        }
        found.dataCrc = le32(&header[16]);
        found.method = header[25];
    } else if ((found.flags & kLongBlock) != 0) {
        found.dataSize = le32(&header[7]);
    }
    if (fileSize - found.dataOffset() < found.dataSize) {
        return failWith(VARNELT_ARC_ERROR_EOF, kCut);
    }
    position_ = found.dataOffset() + found.dataSize;
    block = found;
    return VARNELT_ARC_OK;
}

int32_t verifyChain(const InputFile& file, uint64_t firstBlock) {
    BlockWalker walker(file, firstBlock);
    for (bool first = true;; first = false) {
        std::optional<Block> block;
        if (const int32_t rc = walker.next(block); rc != VARNELT_ARC_OK || !block) {
            return rc != VARNELT_ARC_OK || !first ? rc : failWith(VARNELT_ARC_ERROR_EOF, kCut);
        }
        if (first && block->type != kMainHead) {
            // The main header always comes first.
            return failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, "no main header");
        }
        if (block->type == kEndArchive ||
            (block->type == kMainHead && (block->flags & kEncryptedHeaders) != 0)) {
            return VARNELT_ARC_OK;  // encrypted headers cannot be walked without the password
        }
    }
}

bool filesStandAlone(const InputFile& file, uint64_t firstBlock) {
    BlockWalker walker(file, firstBlock);
    for (bool first = true;; first = false) {
        std::optional<Block> block;
        if (walker.next(block) != VARNELT_ARC_OK) {
            return false;  // whatever lies past a break was never looked at
        }
        if (!block) {
            return !first;  // written without an end block
        }
        if (first) {
            constexpr uint16_t kShared = kVolume | kSolidArchive | kFirstVolume | kEncryptedHeaders;
            if (block->type != kMainHead || (block->flags & kShared) != 0) {
                return false;
            }
        } else if (block->type == kFileHead || block->type == kServiceHead) {
            if ((block->flags & (kSplitBefore | kSplitAfter | kSolidFile)) != 0) {
                return false;
            }
        } else if (block->type == kEndArchive) {
            return true;
        }
    }
}

}  // namespace varnelt::archiver::rar4
