// The bit reader and Huffman tables of the bzip2 block decoder. Codes are read exactly as libbz2
// reads them, by the limits of each length, whether or not the lengths make a complete prefix
// code; a lookup table answers the short codes at once.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace varnelt::archiver::bzip2 {

// Bits taken most significant first; past the end of its bytes it reads zeros, which the caller
// tells by position().
class BitReader {
public:
    explicit BitReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    // Tops the buffer up to at least 56 bits.
    void refill() {
        if (next_ + 8 <= bytes_.size()) {
            buffer_ |= loadBigEndian(bytes_.data() + next_) >> held_;
            next_ += (63 - held_) >> 3;
            held_ |= 56;
            return;
        }
        for (; held_ <= 56; held_ += 8, ++next_) {
            const uint64_t byte = next_ < bytes_.size() ? bytes_[next_] : 0;
            buffer_ |= byte << (56 - held_);
        }
    }
    // The next count (1 to 32) bits, which a refill must have brought in.
    uint32_t peek(unsigned count) const { return static_cast<uint32_t>(buffer_ >> (64 - count)); }
    void skip(unsigned count) {
        buffer_ <<= count;
        held_ -= count;
    }
    uint32_t take(unsigned count) {
        refill();
        const uint32_t value = peek(count);
        skip(count);
        return value;
    }
    // Bits read so far.
    uint64_t position() const { return next_ * 8 - held_; }

private:
    static uint64_t loadBigEndian(const uint8_t* p) {
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i) {
            value = value << 8 | p[i];
        }
        return value;
    }

    std::span<const uint8_t> bytes_;
    uint64_t next_ = 0;  // the next byte to load; beyond the end once zeros were read
    uint64_t buffer_ = 0;
    unsigned held_ = 0;
};

class HuffmanTable {
public:
    static constexpr unsigned kMaxAlphabet = 258;
    static constexpr unsigned kMaxLength = 20;

    // lengths: one per symbol of the alphabet, each 1 to kMaxLength.
    void build(std::span<const uint8_t> lengths);

    // The next symbol, or -1 for a code libbz2 refuses. The reader holds at least 21 bits.
    int decode(BitReader& reader) const {
        const uint16_t entry = lookup_[reader.peek(kLookupBits)];
        if (const unsigned length = entry & kLengthMask; length != 0) {
            reader.skip(length);
            return entry >> kLengthBits;
        }
        return decodeLong(reader);
    }

private:
    static constexpr unsigned kLookupBits = 10;
    static constexpr unsigned kLengthBits = 5;
    static constexpr uint16_t kLengthMask = (1 << kLengthBits) - 1;

    struct Found {
        int symbol = -1;  // -1: refused; -2: longer than the bits given
        unsigned length = 0;
    };
    // libbz2's search, over bits(length), the first length bits, for lengths up to most.
    template <typename Bits>
    Found find(const Bits& bits, unsigned most) const;
    int decodeLong(BitReader& reader) const;

    std::array<uint16_t, 1 << kLookupBits> lookup_{};  // symbol and length; 0: decodeLong
    std::array<int32_t, kMaxLength + 3> limit_{};
    std::array<int32_t, kMaxLength + 3> base_{};
    std::array<uint16_t, kMaxAlphabet> perm_{};
    unsigned minLength_ = 1;
    unsigned alphabet_ = 0;
};

}  // namespace varnelt::archiver::bzip2
