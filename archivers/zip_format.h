// The fixed parts of the ZIP layout: signatures, header sizes, flag bits, methods, and the
// little-endian fields and extra-field records every header is made of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>

namespace varnelt::archiver::zip {

inline constexpr uint32_t kLocalSignature = 0x04034b50;
inline constexpr uint32_t kCentralSignature = 0x02014b50;
inline constexpr uint32_t kEndSignature = 0x06054b50;
inline constexpr uint32_t kZip64EndSignature = 0x06064b50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
inline constexpr uint32_t kDescriptorSignature = 0x08074b50;
inline constexpr uint32_t kDigitalSignatureSignature = 0x05054b50;

inline constexpr size_t kLocalHeaderSize = 30;
inline constexpr size_t kCentralHeaderSize = 46;
inline constexpr size_t kEndSize = 22;
inline constexpr size_t kZip64LocatorSize = 20;
inline constexpr size_t kZip64EndSize = 56;
inline constexpr size_t kMaxCommentSize = 0xFFFF;

inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagDescriptor = 0x0008;
inline constexpr uint16_t kFlagStrongEncryption = 0x0040;
inline constexpr uint16_t kFlagUtf8 = 0x0800;
inline constexpr uint16_t kFlagMaskedHeader = 0x2000;
// The flag bits that change how an entry's bytes are read; local and central headers must
// agree on them.
inline constexpr uint16_t kFlagsThatMustAgree =
    kFlagEncrypted | kFlagDescriptor | kFlagStrongEncryption | kFlagMaskedHeader;

inline constexpr uint16_t kExtraZip64 = 0x0001;
inline constexpr uint16_t kExtraUnicodePath = 0x7075;

inline constexpr uint32_t kMarker32 = 0xFFFFFFFF;  // the real value is in the ZIP64 extra

enum Method : uint16_t {
    kStored = 0,
    kDeflate = 8,
    kDeflate64 = 9,
    kBzip2 = 12,
    kLzma = 14,
    kZstd = 93,
    kXz = 95,
    kPpmd = 98,
    kAes = 99,
};

// The method as reasons name it: "Deflate64", or its number when it has no name.
std::string methodName(uint16_t method);

inline uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t le32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline uint64_t le64(const uint8_t* p) {
    return uint64_t{le32(p)} | (uint64_t{le32(p + 4)} << 32);
}

// The data of the first extra-field record with this id. Writers pad or cut extra fields, so a
// record that runs past the end ends the search instead of failing it.
std::optional<std::span<const uint8_t>> findExtra(std::span<const uint8_t> extra, uint16_t id);

// Takes each field that holds kMarker32 from the ZIP64 extra, 8 bytes each in the order given.
// False when the extra is too short for them.
bool takeZip64Values(std::span<const uint8_t> zip64, std::initializer_list<uint64_t*> fields);

// Sizes as a local header gives them, with marked fields taken from its ZIP64 extra (which
// holds both sizes, or only the marked ones in order). False when a marked field has no value.
struct LocalSizes {
    uint64_t compressed = 0;
    uint64_t uncompressed = 0;
};
bool resolveLocalSizes(std::span<const uint8_t> extra, uint32_t compressed, uint32_t uncompressed,
                       LocalSizes& sizes);

}  // namespace varnelt::archiver::zip
