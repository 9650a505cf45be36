#include "bzip2_bits.h"

#include <array>

namespace varnelt::archiver::bzip2 {
namespace {

constexpr uint64_t kMagicMask = (uint64_t{1} << kMagicBits) - 1;
constexpr unsigned kCrcBits = 32;

// Whichever of its 8 bit offsets a magic begins at in byte j, bytes j + 1 and j + 2 lie wholly
// within it: the 16 values they can take pick out the few places worth a full look.
constexpr std::array<bool, 65536> kCandidates = [] {
    std::array<bool, 65536> candidates{};
    for (const uint64_t magic : {kBlockMagic, kEndMagic}) {
        for (unsigned offset = 0; offset < 8; ++offset) {
            candidates[(magic >> (24 + offset)) & 0xFFFF] = true;
        }
    }
    return candidates;
}();

// The 8 bytes from index first, zeros past the end.
uint64_t load64(std::span<const uint8_t> data, size_t first) {
    uint64_t window = 0;
    for (size_t i = first; i < first + 8; ++i) {
        window = window << 8 | (i < data.size() ? data[i] : 0);
    }
    return window;
}

// Appends bits to a byte vector, the first in the most significant place.
class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    // count at most 32.
    void put(uint64_t value, unsigned count) {
        pending_ = pending_ << count | (value & ((uint64_t{1} << count) - 1));
        pendingBits_ += count;
        while (pendingBits_ >= 8) {
            pendingBits_ -= 8;
            out_.push_back(static_cast<uint8_t>(pending_ >> pendingBits_));
        }
    }
    // Pads the last byte with zero bits.
    void flush() {
        if (pendingBits_ > 0) {
            put(0, 8 - pendingBits_);
        }
    }

private:
    std::vector<uint8_t>& out_;
    uint64_t pending_ = 0;
    unsigned pendingBits_ = 0;
};

}  // namespace

uint64_t bitsAt(std::span<const uint8_t> data, uint64_t bit, unsigned count) {
    return (load64(data, bit / 8) << (bit % 8)) >> (64 - count);
}

std::optional<Magic> findMagic(std::span<const uint8_t> data, uint64_t from) {
    const uint64_t endBit = uint64_t{data.size()} * 8;
    for (size_t byte = from / 8; byte + kMagicBits / 8 <= data.size(); ++byte) {
        if (!kCandidates[data[byte + 1] << 8 | data[byte + 2]]) {
            continue;
        }
        const uint64_t window = load64(data, byte);
        for (unsigned offset = 0; offset < 8; ++offset) {
            const uint64_t bit = uint64_t{byte} * 8 + offset;
            if (bit < from || bit + kMagicBits > endBit) {
                continue;
            }
            const uint64_t value = window >> (64 - kMagicBits - offset) & kMagicMask;
            if (value == kBlockMagic || value == kEndMagic) {
                return Magic{bit, value == kEndMagic};
            }
        }
    }
    return std::nullopt;
}

bool endsInEndMagicStart(std::span<const uint8_t> data, uint64_t bit) {
    for (unsigned length = 45; length < kMagicBits; ++length) {
        if (bit >= length && bitsAt(data, bit - length, length) == kEndMagic >> (48 - length)) {
            return true;
        }
    }
    return false;
}

std::vector<uint8_t> frameBlock(std::span<const uint8_t> data, uint64_t begin, uint64_t end,
                                uint8_t levelDigit) {
    const uint64_t length = end - begin;
    const size_t whole = static_cast<size_t>(length / 8);
    const size_t first = static_cast<size_t>(begin / 8);
    const unsigned shift = begin % 8;
    std::vector<uint8_t> frame{'B', 'Z', 'h', levelDigit};
    frame.reserve(frame.size() + whole + (kMagicBits + kCrcBits) / 8 + 2);
    if (shift == 0) {
        frame.insert(frame.end(), data.begin() + first, data.begin() + first + whole);
    } else {
        for (size_t i = first; i < first + whole; ++i) {
            frame.push_back(static_cast<uint8_t>(data[i] << shift | data[i + 1] >> (8 - shift)));
        }
    }
    BitWriter writer(frame);
    if (const unsigned rest = length % 8; rest > 0) {
        writer.put(bitsAt(data, begin + uint64_t{whole} * 8, rest), rest);
    }
    writer.put(kEndMagic >> 24, 24);
    writer.put(kEndMagic, 24);
    writer.put(bitsAt(data, begin + kMagicBits, kCrcBits), kCrcBits);
    writer.flush();
    return frame;
}

}  // namespace varnelt::archiver::bzip2
