#include "bzip2_huffman.h"

#include <algorithm>

namespace varnelt::archiver::bzip2 {

template <typename Bits>
HuffmanTable::Found HuffmanTable::find(const Bits& bits, unsigned most) const {
    for (unsigned length = minLength_;; ++length) {
        if (length > kMaxLength) {
            return {};
        }
        if (length > most) {
            return {-2, 0};
        }
        const int32_t code = static_cast<int32_t>(bits(length));
        if (code <= limit_[length]) {
            const int32_t index = code - base_[length];
            if (index < 0 || index >= static_cast<int32_t>(alphabet_)) {
                return {};
            }
            return {perm_[static_cast<size_t>(index)], length};
        }
    }
}

void HuffmanTable::build(std::span<const uint8_t> lengths) {
    alphabet_ = static_cast<unsigned>(lengths.size());
    const auto [shortest, longest] = std::minmax_element(lengths.begin(), lengths.end());
    minLength_ = *shortest;
    const unsigned maxLength = *longest;
    // As libbz2 lays out its decoding tables: symbols by length, then the first code and the
    // last of each length.
    size_t next = 0;
    for (unsigned length = minLength_; length <= maxLength; ++length) {
        for (unsigned symbol = 0; symbol < alphabet_; ++symbol) {
            if (lengths[symbol] == length) {
                perm_[next++] = static_cast<uint16_t>(symbol);
            }
        }
    }
    base_.fill(0);
    for (const uint8_t length : lengths) {
        ++base_[length + 1u];
    }
    for (size_t i = 1; i < base_.size(); ++i) {
        base_[i] += base_[i - 1];
    }
    limit_.fill(0);
    int32_t code = 0;
    for (unsigned length = minLength_; length <= maxLength; ++length) {
        code += base_[length + 1] - base_[length];
        limit_[length] = code - 1;
        code <<= 1;
    }
    for (unsigned length = minLength_ + 1; length <= maxLength; ++length) {
        base_[length] = ((limit_[length - 1] + 1) << 1) - base_[length];
    }
    for (uint32_t bits = 0; bits < lookup_.size(); ++bits) {
        const Found found =
            find([bits](unsigned length) { return bits >> (kLookupBits - length); }, kLookupBits);
        lookup_[bits] = found.symbol >= 0
                            ? static_cast<uint16_t>(found.symbol << kLengthBits | found.length)
                            : 0;
    }
}

int HuffmanTable::decodeLong(BitReader& reader) const {
    const Found found =
        find([&reader](unsigned length) { return reader.peek(length); }, kMaxLength);
    if (found.symbol >= 0) {
        reader.skip(found.length);
    }
    return found.symbol < 0 ? -1 : found.symbol;
}

}  // namespace varnelt::archiver::bzip2
