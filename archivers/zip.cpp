// libunzip32: ZIP only. The seekable reader works from the central directory, so it also finds
// an archive behind a self-extractor's executable stub.
#include <archive.h>

#include "libarchive_backend.h"

namespace varnelt::archiver {

const Backend& formatBackend() {
    static const LibarchiveBackend backend({
        .enableReaders = [](archive* reader) { archive_read_support_format_zip_seekable(reader); },
        .backslashSeparators = true,  // written by some tools on Windows
    });
    return backend;
}

}  // namespace varnelt::archiver
