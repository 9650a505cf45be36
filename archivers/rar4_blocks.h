// The block chain of a RAR 4 archive (the format of RAR 1.5 to 4.x): a 7-byte marker, then
// blocks that each start with HEAD_CRC, HEAD_TYPE, HEAD_FLAGS and HEAD_SIZE, the data of file
// and service blocks following their header. Only headers are read here.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "input_file.h"

namespace varnelt::archiver::rar4 {

enum : uint8_t { kMainHead = 0x73, kFileHead = 0x74, kServiceHead = 0x7A, kEndArchive = 0x7B };
enum : uint16_t {
    kSplitBefore = 0x0001,
    kSplitAfter = 0x0002,
    kEncryptedData = 0x0004,
    kSolidFile = 0x0010,         // file header: its data goes on from the previous file's
    kEncryptedHeaders = 0x0080,  // main header: every later header is encrypted
};
// Main header flags.
enum : uint16_t { kVolume = 0x0001, kSolidArchive = 0x0008, kFirstVolume = 0x0100 };
constexpr uint8_t kStoredMethod = 0x30;

struct Block {
    uint64_t offset = 0;  // of the header
    uint8_t type = 0;
    uint16_t flags = 0;
    uint16_t headerSize = 0;
    uint64_t dataSize = 0;
    // File and service blocks only.
    uint64_t unpackedSize = 0;
    uint32_t dataCrc = 0;
    uint8_t method = 0;

    uint64_t dataOffset() const { return offset + headerSize; }
};

// Where the archive's first block begins: after a marker at the start of the file or behind a
// self-extractor's stub; nullopt when the file holds no RAR 4 marker.
std::optional<uint64_t> findFirstBlock(const InputFile& file);

class BlockWalker {
public:
    BlockWalker(const InputFile& file, uint64_t firstBlock) : file_(file), position_(firstBlock) {}

    // The next block, its header complete and checked, its data inside the file. OK with
    // nullopt when the file ends exactly where a block would begin. Otherwise
    // VARNELT_ARC_ERROR_EOF for a block cut short, VARNELT_ARC_ERROR_HEADER_CRC for a header
    // that fails its checksum, VARNELT_ARC_ERROR_HEADER_BROKEN for one that cannot be a header;
    // the walk cannot go on after an error.
    int32_t next(std::optional<Block>& block);

private:
    const InputFile& file_;
    uint64_t position_;
    std::vector<uint8_t> header_ = std::vector<uint8_t>(0xFFFF);  // HEAD_SIZE is 16 bits
};

// Walks the chain from its first block, the main header, to the end-of-archive block, or to the
// end of the file when the archive was written without one: OK, or why the chain is broken.
// What follows the end-of-archive block is not the archive's.
int32_t verifyChain(const InputFile& file, uint64_t firstBlock);

// True when the chain is whole to its end and each file's data stands on its own: the archive is
// neither solid nor a volume, no file is split or goes on from the one before, and the headers
// are not encrypted. Records the reason when the chain is broken.
bool filesStandAlone(const InputFile& file, uint64_t firstBlock);

}  // namespace varnelt::archiver::rar4
