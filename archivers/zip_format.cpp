#include "zip_format.h"

namespace varnelt::archiver::zip {

std::string methodName(uint16_t method) {
    switch (method) {
        case kStored:
            return "Stored";
        case 1:
            return "Shrink";
        case 2:
        case 3:
        case 4:
        case 5:
            return "Reduce";
        case 6:
            return "Implode";
        case kDeflate:
            return "Deflate";
        case kDeflate64:
            return "Deflate64";
        case 10:
            return "PKWARE Implode";
        case kBzip2:
            return "BZip2";
        case kLzma:
            return "LZMA";
        case 18:
            return "IBM TERSE";
        case 19:
            return "IBM LZ77";
        case kZstd:
            return "Zstandard";
        case 94:
            return "MP3";
        case kXz:
            return "XZ";
        case 96:
            return "JPEG";
        case 97:
            return "WavPack";
        case kPpmd:
            return "PPMd";
        case kAes:
            return "AES";
        default:
            return std::to_string(method);
    }
}

std::optional<std::span<const uint8_t>> findExtra(std::span<const uint8_t> extra, uint16_t id) {
    size_t at = 0;
    while (extra.size() - at >= 4) {
        const uint16_t recordId = le16(&extra[at]);
        const size_t size = le16(&extra[at + 2]);
        if (size > extra.size() - at - 4) {
            return std::nullopt;
        }
        if (recordId == id) {
            return extra.subspan(at + 4, size);
        }
        at += 4 + size;
    }
    return std::nullopt;
}

bool takeZip64Values(std::span<const uint8_t> zip64, std::initializer_list<uint64_t*> fields) {
    size_t at = 0;
    for (uint64_t* field : fields) {
        if (*field != kMarker32) {
            continue;
        }
        if (zip64.size() - at < 8) {
            return false;
        }
        *field = le64(zip64.data() + at);
        at += 8;
    }
    return true;
}

bool resolveLocalSizes(std::span<const uint8_t> extra, uint32_t compressed, uint32_t uncompressed,
                       LocalSizes& sizes) {
    sizes = {compressed, uncompressed};
    if (compressed != kMarker32 && uncompressed != kMarker32) {
        return true;
    }
    const auto zip64 = findExtra(extra, kExtraZip64);
    if (!zip64) {
        return true;  // a size of exactly 4 GiB - 1
    }
    if (zip64->size() >= 16) {
        if (uncompressed == kMarker32) {
            sizes.uncompressed = le64(zip64->data());
        }
        if (compressed == kMarker32) {
            sizes.compressed = le64(zip64->data() + 8);
        }
        return true;
    }
    return takeZip64Values(*zip64, {&sizes.uncompressed, &sizes.compressed});
}

}  // namespace varnelt::archiver::zip
