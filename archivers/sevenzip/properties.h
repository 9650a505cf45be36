// The property identifiers of 7z headers and the reads every part of the header shares.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "byte_reader.h"

namespace varnelt::archiver::sevenzip {

enum PropertyId : uint64_t {
    kEnd = 0x00,
    kHeader = 0x01,
    kArchiveProperties = 0x02,
    kAdditionalStreamsInfo = 0x03,
    kMainStreamsInfo = 0x04,
    kFilesInfo = 0x05,
    kPackInfo = 0x06,
    kUnpackInfo = 0x07,
    kSubStreamsInfo = 0x08,
    kSize = 0x09,
    kCrc = 0x0A,
    kFolder = 0x0B,
    kCodersUnpackSize = 0x0C,
    kNumUnpackStream = 0x0D,
    kEmptyStream = 0x0E,
    kEmptyFile = 0x0F,
    kAnti = 0x10,
    kName = 0x11,
    kCTime = 0x12,
    kATime = 0x13,
    kMTime = 0x14,
    kWinAttributes = 0x15,
    kEncodedHeader = 0x17,
    kStartPos = 0x18,
    kDummy = 0x19,
};

// Skips a property this reader has no use for: its size, then its bytes.
void skipProperty(ByteReader& reader);
// Reads property identifiers, skipping unknown properties, until id; kEnd first is a fault.
void skipUntil(ByteReader& reader, uint64_t id);
// A digest list: which of count items have a CRC, then the CRCs of those.
std::vector<std::optional<uint32_t>> readDigests(ByteReader& reader, size_t count);

}  // namespace varnelt::archiver::sevenzip
