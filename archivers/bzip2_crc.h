// bzip2's block CRC: CRC-32 with the polynomial 0x04C11DB7 taken most significant bit first, by
// tables eight bytes a step.
#pragma once

#include <cstdint>
#include <span>

namespace varnelt::archiver::bzip2 {

// The running CRC after bytes; start from 0xFFFFFFFF, and invert the last value for the block's.
uint32_t updateCrc(uint32_t crc, std::span<const uint8_t> bytes);

}  // namespace varnelt::archiver::bzip2
