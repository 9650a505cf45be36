#include "bzip2_crc.h"

#include <array>

namespace varnelt::archiver::bzip2 {
namespace {

using Tables = std::array<std::array<uint32_t, 256>, 8>;

// tables[k][b]: the CRC of byte b followed by k zero bytes.
constexpr Tables kTables = [] {
    Tables tables{};
    for (uint32_t byte = 0; byte < 256; ++byte) {
        uint32_t crc = byte << 24;
        for (int bit = 0; bit < 8; ++bit) {
            crc = crc & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
        }
        tables[0][byte] = crc;
    }
    for (size_t k = 1; k < tables.size(); ++k) {
        for (uint32_t byte = 0; byte < 256; ++byte) {
            const uint32_t previous = tables[k - 1][byte];
            tables[k][byte] = previous << 8 ^ tables[0][previous >> 24];
        }
    }
    return tables;
}();

uint32_t be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

uint32_t updateCrc(uint32_t crc, std::span<const uint8_t> bytes) {
    const uint8_t* p = bytes.data();
    size_t left = bytes.size();
    const Tables& t = kTables;
    for (; left >= 8; left -= 8, p += 8) {
        const uint32_t high = crc ^ be32(p);
        const uint32_t low = be32(p + 4);
        crc = t[7][high >> 24] ^ t[6][high >> 16 & 0xFF] ^ t[5][high >> 8 & 0xFF] ^
              t[4][high & 0xFF] ^ t[3][low >> 24] ^ t[2][low >> 16 & 0xFF] ^ t[1][low >> 8 & 0xFF] ^
              t[0][low & 0xFF];
    }
    for (; left > 0; --left, ++p) {
        crc = crc << 8 ^ t[0][(crc >> 24) ^ *p];
    }
    return crc;
}

}  // namespace varnelt::archiver::bzip2
