// One bzip2 block decoded without libbz2, for the blocks decoded side by side: its tables and
// symbols read by lookup tables, the inverse transform over one index array, and the final
// run-length stage streamed out in pieces of any size. It accepts only blocks that libbz2
// accepts, with the same output; randomised blocks, which no encoder writes any more, are
// refused and left to libbz2. Memory: thirteen bytes for each byte a block of the largest level
// seen may hold.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "bzip2_huffman.h"

namespace varnelt::archiver::bzip2 {

enum class BlockOutput {
    More,  // produce() again for the rest
    End,   // all of it produced, its CRC matching
    Bad,   // a run-length count is missing or the CRC does not match
};

struct BlockPiece {
    size_t produced = 0;
    BlockOutput state = BlockOutput::More;
};

class BlockDecoder {
public:
    // The block whose bits, after its magic, are the first bitLength bits of bytes (the bytes
    // after those may be loaded, never decoded), in a stream of level 1 to 9. False when libbz2
    // would refuse it, or when it ends before or after bitLength. May throw std::bad_alloc.
    bool decode(std::span<const uint8_t> bytes, uint64_t bitLength, unsigned level);

    // The block's next output, once decode() said true.
    BlockPiece produce(std::span<uint8_t> out);

private:
    static constexpr unsigned kMaxGroups = 6;
    static constexpr uint32_t kMaxSelectors = 18002;
    static constexpr unsigned kStep = 4;  // bytes a load of the output walk gives

    bool readTables(BitReader& reader);
    bool readSymbols(BitReader& reader, uint64_t bitLength, uint32_t limit);
    void linkVector();
    void joinLinks();
    void rewind();

    std::array<uint8_t, 256> used_{};  // the bytes the block uses, in order
    unsigned usedCount_ = 0;
    std::array<HuffmanTable, kMaxGroups> tables_;
    std::array<uint8_t, kMaxSelectors> selectors_{};
    uint32_t selectorCount_ = 0;

    std::unique_ptr<uint8_t[]> bytes_;   // the transformed block, one byte a place
    std::unique_ptr<uint32_t[]> links_;  // each place: the next one in the output, and its byte
    std::unique_ptr<uint64_t[]> steps_;  // each place: the one kStep links on, and their bytes
    uint32_t capacity_ = 0;
    std::array<uint32_t, 256> counts_{};
    uint32_t size_ = 0;
    uint32_t origin_ = 0;
    uint32_t storedCrc_ = 0;
    uint32_t start_ = 0;  // the place whose link gives the first byte

    // Where produce() stands.
    uint32_t place_ = 0;
    uint32_t taken_ = 0;  // bytes taken from the transform
    uint32_t held_ = 0;   // bytes of the last step not yet handled, the next one highest
    unsigned heldCount_ = 0;
    unsigned last_ = 256;  // the byte of the current run, 256 when none is open
    unsigned run_ = 0;     // how often it came in a row, up to 4
    uint32_t repeats_ = 0;
    uint32_t crc_ = 0;
};

}  // namespace varnelt::archiver::bzip2
