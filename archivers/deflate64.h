// Deflate64 ("enhanced deflate", ZIP method 9): Deflate with a 64 KiB window, length code 285
// meaning 3 plus 16 extra bits, and distance codes 30 and 31 for distances up to 65536.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "stream_decoder.h"

namespace varnelt::archiver {

// A canonical Huffman code as deflate sends it: code lengths per symbol, codes read from the
// low bits of the bit buffer.
class HuffmanCode {
public:
    static constexpr unsigned kMaxLength = 15;
    static constexpr unsigned kMaxSymbols = 288;

    // False when the lengths over-subscribe the code, or leave it incomplete where deflate
    // does not allow that (only a code of a single one-bit symbol may be incomplete, and
    // never the code-length code).
    bool build(std::span<const uint8_t> lengths, bool codeLengthCode);

    struct Symbol {
        uint16_t value = 0;
        uint8_t length = 0;  // 0: more bits are needed
        bool invalid = false;
    };
    // The symbol whose code starts the available bits of bits (the bits above them are 0).
    Symbol decode(uint64_t bits, unsigned available) const;

private:
    static constexpr unsigned kFastBits = 9;
    Symbol slowDecode(uint64_t bits, unsigned available) const;

    // (value << 4) | length for codes of up to kFastBits bits; 0 sends the lookup to the slow
    // path.
    std::array<uint16_t, 1u << kFastBits> fast_{};
    std::array<uint16_t, kMaxLength + 1> count_{};
    std::array<uint16_t, kMaxSymbols> sorted_{};
};

class Deflate64Decoder final : public StreamDecoder {
public:
    Deflate64Decoder();
    DecodeStep decode(std::span<const uint8_t> input, bool lastInput,
                      std::span<uint8_t> output) override;

private:
    enum class State {
        BlockHeader,
        StoredHeader,
        StoredCopy,
        TableSizes,
        CodeLengthCodes,
        CodeLengths,
        Codes,
        Done,
        Failed
    };
    enum class Progress { Continue, NeedInput, NeedRoom, Corrupt };

    // One call's input and output, with the bits taken from the input.
    struct Cursor {
        std::span<const uint8_t> input;
        std::span<uint8_t> output;
        size_t inPos = 0;
        size_t outPos = 0;
    };

    Progress step(Cursor& cursor);
    Progress blockHeader(Cursor& cursor);
    Progress storedHeader(Cursor& cursor);
    Progress storedCopy(Cursor& cursor);
    Progress tableSizes(Cursor& cursor);
    Progress codeLengthCodes(Cursor& cursor);
    Progress codeLengths(Cursor& cursor);
    Progress codes(Cursor& cursor);
    Progress copyMatch(Cursor& cursor);
    Progress endBlock();

    void refill(Cursor& cursor);
    bool have(unsigned count) const { return bitCount_ >= count; }
    uint32_t peek(unsigned count) const {
        return static_cast<uint32_t>(bits_ & ((uint64_t{1} << count) - 1));
    }
    void drop(unsigned count) {
        bits_ >>= count;
        bitCount_ -= count;
    }
    void emit(Cursor& cursor, uint8_t byte);

    static constexpr size_t kWindowSize = 65536;
    std::unique_ptr<uint8_t[]> window_;
    uint64_t total_ = 0;  // bytes produced so far; the window holds the last of them

    uint64_t bits_ = 0;
    unsigned bitCount_ = 0;

    State state_ = State::BlockHeader;
    bool finalBlock_ = false;
    uint32_t storedLeft_ = 0;
    uint32_t matchLength_ = 0;  // a length whose distance is still to be read
    uint32_t copyLeft_ = 0;     // bytes of the current match not yet written
    uint32_t copyDistance_ = 0;

    unsigned literalCount_ = 0;
    unsigned distanceCount_ = 0;
    unsigned codeLengthCount_ = 0;
    unsigned index_ = 0;
    std::array<uint8_t, HuffmanCode::kMaxSymbols + 32> lengths_{};
    HuffmanCode codeLengthCode_;
    HuffmanCode literalCode_;
    HuffmanCode distanceCode_;
};

}  // namespace varnelt::archiver
