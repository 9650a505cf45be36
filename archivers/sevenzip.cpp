// lib7-zip32: 7z, and ZIP as well, as the library it stands for reads both. This is the one
// place that decides which reader a file goes to.
#include <archive.h>

#include "libarchive_backend.h"
#include "sevenzip/fault.h"
#include "sevenzip/reader.h"
#include "sevenzip/signature.h"

namespace varnelt::archiver {

namespace {

// Archives with a coder the own reader lacks (PPMd, say) are read by libarchive's 7z reader.
const Backend& libarchiveSevenZip() {
    static const LibarchiveBackend backend({
        .enableReaders = [](archive* reader) { archive_read_support_format_7zip(reader); },
    });
    return backend;
}

const Backend& libarchiveZip() {
    static const LibarchiveBackend backend({
        .enableReaders = [](archive* reader) { archive_read_support_format_zip_seekable(reader); },
        .backslashSeparators = true,
    });
    return backend;
}

class SevenZipOrZip final : public Backend {
public:
    int32_t test(const InputFile& file) const override {
        return dispatch(
            file, [&](uint64_t at) { return sevenZip_.test(file, at); },
            [&] { return libarchiveZip().test(file); }, [](int32_t code) { return code; });
    }
    int32_t countEntries(const InputFile& file) const override {
        return dispatch(
            file, [&](uint64_t at) { return sevenZip_.countEntries(file, at); },
            [&] { return libarchiveZip().countEntries(file); }, [](int32_t) { return -1; });
    }
    std::unique_ptr<ArchiveSession> open(const InputFile& file) const override {
        return dispatch(
            file, [&](uint64_t at) { return sevenZip_.open(file, at); },
            [&] { return libarchiveZip().open(file); },
            [](int32_t) { return std::unique_ptr<ArchiveSession>(); });
    }

private:
    // A file with a 7z signature goes to the 7z reader, any other to the ZIP reader, which
    // answers for files that are neither.
    template <typename SevenZip, typename Zip, typename Failed>
    static auto dispatch(const InputFile& file, SevenZip sevenZip, Zip zip, Failed failed)
        -> decltype(zip()) {
        try {
            if (const auto at = sevenzip::findSignature(file)) {
                return sevenZip(*at);
            }
        } catch (const sevenzip::Fault& fault) {
            return failed(fault.code);
        }
        return zip();
    }

    sevenzip::Reader sevenZip_{libarchiveSevenZip()};
};

}  // namespace

const Backend& formatBackend() {
    static const SevenZipOrZip backend;
    return backend;
}

}  // namespace varnelt::archiver
