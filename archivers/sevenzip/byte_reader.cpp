#include "byte_reader.h"

#include <bit>
#include <limits>

#include "fault.h"

namespace varnelt::archiver::sevenzip {

uint64_t littleEndian(std::span<const uint8_t> bytes) {
    uint64_t value = 0;
    for (auto byte = bytes.rbegin(); byte != bytes.rend(); ++byte) {
        value = value << 8 | *byte;
    }
    return value;
}

uint8_t ByteReader::readByte() {
    if (atEnd()) {
        headerBroken();
    }
    return bytes_[position_++];
}

uint32_t ByteReader::readUInt32() {
    return static_cast<uint32_t>(littleEndian(take(4)));
}

uint64_t ByteReader::readNumber() {
    const uint8_t first = readByte();
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        const uint8_t mask = static_cast<uint8_t>(0x80u >> i);
        if ((first & mask) == 0) {
            const uint64_t high = first & (mask - 1u);
            return value | high << (8 * i);
        }
        value |= static_cast<uint64_t>(readByte()) << (8 * i);
    }
    return value;
}

void ByteReader::requireRoomFor(uint64_t count, size_t minBytesEach) const {
    if (minBytesEach != 0 && count > remaining() / minBytesEach) {
        headerBroken();
    }
}

size_t ByteReader::readCount(size_t minBytesEach) {
    const uint64_t count = readNumber();
    requireRoomFor(count, minBytesEach);
    if (count > std::numeric_limits<uint32_t>::max()) {
        headerBroken();
    }
    return static_cast<size_t>(count);
}

std::span<const uint8_t> ByteReader::take(uint64_t size) {
    if (size > remaining()) {
        headerBroken();
    }
    const std::span<const uint8_t> part = bytes_.subspan(position_, static_cast<size_t>(size));
    position_ += static_cast<size_t>(size);
    return part;
}

BitVector BitVector::read(ByteReader& reader, size_t count) {
    const size_t bytes = count / 8 + (count % 8 != 0 ? 1 : 0);
    return BitVector(reader.take(bytes), count);
}

BitVector BitVector::readDefined(ByteReader& reader, size_t count) {
    if (reader.readByte() == 0) {
        return read(reader, count);
    }
    BitVector all;
    all.count_ = count;
    all.allSet_ = true;
    return all;
}

size_t BitVector::countSet() const {
    if (allSet_) {
        return count_;
    }
    size_t set = 0;
    for (size_t i = 0; i < bytes_.size(); ++i) {
        uint8_t byte = bytes_[i];
        if (i == bytes_.size() - 1 && count_ % 8 != 0) {
            byte &= static_cast<uint8_t>(0xFF00u >> (count_ % 8));  // bits past the count
        }
        set += static_cast<size_t>(std::popcount(byte));
    }
    return set;
}

}  // namespace varnelt::archiver::sevenzip
