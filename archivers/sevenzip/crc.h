// The CRC-32 of 7z digests, zlib's, which is fast enough to never be the bottleneck.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <span>

namespace varnelt::archiver::sevenzip {

inline uint32_t updateCrc(uint32_t crc, std::span<const uint8_t> bytes) {
    return static_cast<uint32_t>(crc32_z(crc, bytes.data(), bytes.size()));
}

}  // namespace varnelt::archiver::sevenzip
