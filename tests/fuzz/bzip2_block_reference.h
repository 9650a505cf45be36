// One bzip2 block decoded twice, for the tests and the fuzzer that hold the own block decoder to
// libbz2: by libbz2 from the block framed as a stream of its own, as the block jobs framed it
// before, and by the own decoder from the same frame.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "archivers/bzip2_bits.h"
#include "archivers/bzip2_block_decoder.h"
#include "archivers/bzip2_stream.h"

namespace varnelt::bzip2_reference {

// The header, the block magic and the block's CRC come before its own bits in a frame.
constexpr size_t kFrameBlockByte = 10;

struct Decoded {
    bool good = false;
    std::vector<uint8_t> output;  // cut at the bound, for either decoder alike
};

// Both accept with the same output, or both refuse.
inline bool agree(const Decoded& a, const Decoded& b) {
    return a.good == b.good && (!a.good || a.output == b.output);
}

// libbz2: good when it ends the frame exactly at its last byte, every CRC matching.
inline Decoded byLibbz2(std::span<const uint8_t> frame, size_t bound) {
    archiver::Bunzip2 bunzip2;
    Decoded decoded;
    std::vector<uint8_t> piece(1 << 16);
    for (std::span<const uint8_t> in = frame;;) {
        const archiver::Bunzip2::Result result = bunzip2.decompress(in, piece);
        in = in.subspan(result.consumed);
        const size_t kept = std::min(result.produced, bound - decoded.output.size());
        decoded.output.insert(decoded.output.end(), piece.begin(), piece.begin() + kept);
        if (result.rc == BZ_STREAM_END) {
            decoded.good = in.empty();
            return decoded;
        }
        if (result.rc != BZ_OK || (result.consumed == 0 && result.produced == 0)) {
            return decoded;
        }
    }
}

// The own decoder on the blockBits bits after the magic, with output checked to its end.
inline Decoded byOwnDecoder(archiver::bzip2::BlockDecoder& decoder, std::span<const uint8_t> frame,
                            uint64_t blockBits, size_t bound) {
    using archiver::bzip2::BlockOutput;
    Decoded decoded;
    if (frame.size() < kFrameBlockByte ||
        !decoder.decode(frame.subspan(kFrameBlockByte), blockBits, frame[3] - '0')) {
        return decoded;
    }
    std::vector<uint8_t> piece(1 << 16);
    for (;;) {
        const archiver::bzip2::BlockPiece step = decoder.produce(piece);
        const size_t kept = std::min(step.produced, bound - decoded.output.size());
        decoded.output.insert(decoded.output.end(), piece.begin(), piece.begin() + kept);
        if (step.state != BlockOutput::More) {
            decoded.good = step.state == BlockOutput::End;
            return decoded;
        }
    }
}

struct Framed {
    std::vector<uint8_t> frame;
    uint64_t blockBits = 0;
};

// The block asks to be derandomised, which the own decoder leaves to libbz2.
inline bool randomised(const Framed& framed) {
    const uint64_t bit = kFrameBlockByte * 8 + 32;
    return framed.blockBits > 32 && framed.frame.size() > bit / 8 &&
           (framed.frame[bit / 8] >> (7 - bit % 8) & 1);
}

// The fuzzer's input as a block: the first byte picks the level (its low half) and how many
// bits (0 to 7) the block ends before the last byte; the rest are the block's bits after its
// magic. nullopt where the bits hold a magic, which would have split the block in a stream.
inline std::optional<Framed> frameFuzzInput(std::span<const uint8_t> input) {
    if (input.size() < 2) {
        return std::nullopt;
    }
    const uint8_t levelDigit = static_cast<uint8_t>('1' + (input[0] & 15) % 9);
    std::vector<uint8_t> block(archiver::bzip2::kMagicBits / 8);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(archiver::bzip2::kBlockMagic >> (40 - 8 * i));
    }
    block.insert(block.end(), input.begin() + 1, input.end());
    const uint64_t blockBits = uint64_t{input.size() - 1} * 8 - (input[0] >> 4 & 7);
    const uint64_t end = archiver::bzip2::kMagicBits + blockBits;
    Framed framed{archiver::bzip2::frameBlock(block, 0, end, levelDigit), blockBits};
    const uint64_t first = archiver::bzip2::kHeaderBits + archiver::bzip2::kMagicBits;
    const auto magic = archiver::bzip2::findMagic(framed.frame, first);
    if (!magic || magic->bit != archiver::bzip2::kHeaderBits + end ||
        archiver::bzip2::endsInEndMagicStart(block, end)) {
        return std::nullopt;
    }
    return framed;
}

}  // namespace varnelt::bzip2_reference
