// lib7-zip32: 7z, and ZIP as well, as the library it stands for reads both.
#include <archive.h>

#include "libarchive_backend.h"

namespace varnelt::archiver {

const Backend& formatBackend() {
    static const LibarchiveBackend backend({
        .enableReaders =
            [](archive* reader) {
                archive_read_support_format_7zip(reader);
                archive_read_support_format_zip_seekable(reader);
            },
        .backslashSeparators = true,
    });
    return backend;
}

}  // namespace varnelt::archiver
