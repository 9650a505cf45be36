// The bit layout of a bzip2 stream that its blocks are found by: block and end magics begin at
// any bit, so they are searched bit by bit, and a block cut out of its stream is framed as a
// one-block stream of its own that libbz2 decodes and checks alone. Bits are counted from the
// most significant bit of the first byte.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace varnelt::archiver::bzip2 {

constexpr uint64_t kBlockMagic = 0x314159265359;
constexpr uint64_t kEndMagic = 0x177245385090;
constexpr unsigned kMagicBits = 48;
// "BZh" and the level digit.
constexpr unsigned kHeaderBits = 32;

struct Magic {
    uint64_t bit = 0;
    bool end = false;  // the end magic, else a block magic
};

// The first block or end magic that begins at bit from or later and lies wholly within data.
std::optional<Magic> findMagic(std::span<const uint8_t> data, uint64_t from);

// count (at most 57) bits from bit, the first in the most significant place; the bits must lie
// within data.
uint64_t bitsAt(std::span<const uint8_t> data, uint64_t bit, unsigned count);

// True when the 45 to 47 bits just before bit are the start of the end magic. The end magic
// also ends with those bits, so a block framed as bits up to there and then the end magic could
// be read as ending early, at that start.
bool endsInEndMagicStart(std::span<const uint8_t> data, uint64_t bit);

// The block in bits [begin, end) of data (from its magic up to the next one) as a stream of its
// own: the header of that level, the block, the end magic and the block's CRC as the stream's.
std::vector<uint8_t> frameBlock(std::span<const uint8_t> data, uint64_t begin, uint64_t end,
                                uint8_t levelDigit);

// The stream's combined CRC after one more block.
constexpr uint32_t combineCrc(uint32_t combined, uint32_t block) {
    return (combined << 1 | combined >> 31) ^ block;
}

}  // namespace varnelt::archiver::bzip2
