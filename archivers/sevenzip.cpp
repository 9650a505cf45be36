// lib7-zip32: 7z, and ZIP as well, as the library it stands for reads both.
#include <archive.h>
#include <unistd.h>

#include <cstring>

#include "libarchive_backend.h"

namespace varnelt::archiver {

namespace {

uint64_t readLittleEndian64(const unsigned char* bytes) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

// A 7z start header names where the archive's header lies and how long it is. libarchive
// allocates that length before it reads: a header that cannot lie inside the file (a
// truncated archive, or a hostile one asking for gigabytes) is refused here.
int32_t screenStartHeader(int fd, int64_t fileSize) {
    constexpr unsigned char kSignature[] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
    constexpr int64_t kStartHeaderSize = 32;
    unsigned char start[kStartHeaderSize];
    if (pread(fd, start, sizeof start, 0) != kStartHeaderSize ||
        std::memcmp(start, kSignature, sizeof kSignature) != 0) {
        return VARNELT_ARC_OK;  // not a plain 7z: the readers decide
    }
    const uint64_t offset = readLittleEndian64(start + 12);
    const uint64_t size = readLittleEndian64(start + 20);
    const auto room = static_cast<uint64_t>(fileSize - kStartHeaderSize);
    return offset <= room && size <= room - offset ? VARNELT_ARC_OK : VARNELT_ARC_ERROR_EOF;
}

}  // namespace

const Backend& formatBackend() {
    static const LibarchiveBackend backend({
        .enableReaders =
            [](archive* reader) {
                archive_read_support_format_7zip(reader);
                archive_read_support_format_zip_seekable(reader);
            },
        .screen = &screenStartHeader,
        .backslashSeparators = true,
    });
    return backend;
}

}  // namespace varnelt::archiver
