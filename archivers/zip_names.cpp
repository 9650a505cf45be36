#include "zip_names.h"

#include <zlib.h>

#include <algorithm>
#include <string_view>

#include "core.h"
#include "zip_format.h"

namespace varnelt::archiver::zip {

namespace {

std::string_view asText(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

std::string entryName(uint16_t flags, std::span<const uint8_t> name,
                      std::span<const uint8_t> extra) {
    constexpr size_t kUnicodeHeader = 5;  // version 1, CRC-32 of the raw name
    if (const auto unicode = findExtra(extra, kExtraUnicodePath);
        unicode && unicode->size() >= kUnicodeHeader && (*unicode)[0] == 1 &&
        le32(unicode->data() + 1) == crc32_z(0, name.data(), name.size())) {
        const std::string_view path = asText(unicode->subspan(kUnicodeHeader));
        if (isValidUtf8(path)) {
            return storedNameToUtf8(path, true);
        }
    }
    if ((flags & kFlagUtf8) != 0) {
        std::string utf8(asText(name));
        std::replace(utf8.begin(), utf8.end(), '\\', '/');
        return utf8;
    }
    return storedNameToUtf8(asText(name), true);
}

}  // namespace varnelt::archiver::zip
