// CRC-16 with the reflected polynomial 0xA001, as LZH uses for entry data and headers. Eight
// bytes are folded per step through eight tables made at compile time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace varnelt::archiver {

namespace crc16_detail {

using Tables = std::array<std::array<uint16_t, 256>, 8>;

constexpr Tables makeTables() {
    Tables tables{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        uint16_t crc = static_cast<uint16_t>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<uint16_t>(crc >> 1);
        }
        tables[0][byte] = crc;
    }
    // tables[k][b]: the CRC of byte b followed by k zero bytes.
    for (size_t k = 1; k < tables.size(); ++k) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            const uint16_t previous = tables[k - 1][byte];
            tables[k][byte] = static_cast<uint16_t>((previous >> 8) ^ tables[0][previous & 0xFF]);
        }
    }
    return tables;
}

inline constexpr Tables kTables = makeTables();

}  // namespace crc16_detail

// The CRC of data continued from crc (0 for a fresh start).
inline uint16_t crc16Update(uint16_t crc, const uint8_t* data, size_t size) {
    const auto& t = crc16_detail::kTables;
    uint32_t c = crc;
    for (; size >= 8; size -= 8, data += 8) {
        const uint32_t low = c ^ (uint32_t{data[0]} | uint32_t{data[1]} << 8);
        c = t[7][low & 0xFF] ^ t[6][low >> 8] ^ t[5][data[2]] ^ t[4][data[3]] ^ t[3][data[4]] ^
            t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
    }
    for (; size > 0; --size, ++data) {
        c = (c >> 8) ^ t[0][(c ^ *data) & 0xFF];
    }
    return static_cast<uint16_t>(c);
}

inline uint16_t crc16(const uint8_t* data, size_t size) {
    return crc16Update(0, data, size);
}

}  // namespace varnelt::archiver
