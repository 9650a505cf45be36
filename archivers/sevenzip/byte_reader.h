// A cursor over header bytes that never reads past its end: every read checks what is left
// and a short header is a broken one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace varnelt::archiver::sevenzip {

// The little-endian number in bytes (at most 8 of them), as 7z stores fixed-size fields.
uint64_t littleEndian(std::span<const uint8_t> bytes);

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t remaining() const { return bytes_.size() - position_; }
    bool atEnd() const { return remaining() == 0; }

    uint8_t readByte();
    uint32_t readUInt32();
    // The variable-length number of 7z headers: the leading one bits of the first byte say
    // how many bytes follow.
    uint64_t readNumber();
    // A number that counts items each stored in at least minBytesEach of the bytes left:
    // a count those bytes cannot hold is refused before anyone allocates for it.
    size_t readCount(size_t minBytesEach);
    // As readCount, for a count already read.
    void requireRoomFor(uint64_t count, size_t minBytesEach) const;
    std::span<const uint8_t> take(uint64_t size);
    // The next size bytes as a reader of their own; this one moves past them.
    ByteReader split(uint64_t size) { return ByteReader(take(size)); }

private:
    std::span<const uint8_t> bytes_;
    size_t position_ = 0;
};

// Bits of a 7z bit field, most significant bit of each byte first.
class BitVector {
public:
    BitVector() = default;
    BitVector(std::span<const uint8_t> bytes, size_t count) : bytes_(bytes), count_(count) {}
    // The bit field of count items at the reader's position, the reader moved past it.
    static BitVector read(ByteReader& reader, size_t count);
    // An "all defined" byte, then the bit field only when that byte is 0.
    static BitVector readDefined(ByteReader& reader, size_t count);

    size_t size() const { return count_; }
    bool operator[](size_t index) const {
        return allSet_ || (bytes_[index / 8] & (0x80u >> (index % 8))) != 0;
    }
    size_t countSet() const;

private:
    std::span<const uint8_t> bytes_;
    size_t count_ = 0;
    bool allSet_ = false;
};

}  // namespace varnelt::archiver::sevenzip
