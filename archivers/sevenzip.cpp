// lib7-zip32: 7z, and ZIP as well, as the library it stands for reads both.
#include <archive.h>

#include <optional>

#include "libarchive_backend.h"
#include "sevenzip/fault.h"
#include "sevenzip/reader.h"
#include "sevenzip/signature.h"
#include "zip_backend.h"

namespace varnelt::archiver {

namespace {

// Archives with a coder the own reader lacks (PPMd, say) are read by libarchive's 7z reader.
const Backend& libarchiveSevenZip() {
    static const LibarchiveBackend backend({
        .enableReaders = [](archive* reader) { archive_read_support_format_7zip(reader); },
    });
    return backend;
}

class SevenZipOrZip final : public Backend {
public:
    int32_t test(const InputFile& file) const override {
        return ask(
            file, [&](uint64_t at) { return sevenZip_.test(file, at); },
            [&] { return zipBackend().test(file); }, int32_t{VARNELT_ARC_ERROR_CANNOT_READ});
    }
    int32_t countEntries(const InputFile& file) const override {
        return ask(
            file, [&](uint64_t at) { return sevenZip_.countEntries(file, at); },
            [&] { return zipBackend().countEntries(file); }, int32_t{-1});
    }
    std::unique_ptr<ArchiveSession> open(const InputFile& file) const override {
        return ask(
            file, [&](uint64_t at) { return sevenZip_.open(file, at); },
            [&] { return zipBackend().open(file); }, std::unique_ptr<ArchiveSession>());
    }

private:
    // The one place that decides which reader a file goes to: the 7z reader when the file
    // holds a 7z signature (at its start or behind a stub), the ZIP reader for any other file;
    // that one also answers for files that are neither.
    template <typename Answer, typename AskSevenZip, typename AskZip>
    static Answer ask(const InputFile& file, AskSevenZip askSevenZip, AskZip askZip,
                      Answer unreadable) {
        std::optional<uint64_t> signature;
        try {
            signature = sevenzip::findSignature(file);
        } catch (const sevenzip::Fault&) {
            return unreadable;
        }
        return signature ? askSevenZip(*signature) : askZip();
    }

    sevenzip::Reader sevenZip_{libarchiveSevenZip()};
};

}  // namespace

const Backend& formatBackend() {
    static const SevenZipOrZip backend;
    return backend;
}

}  // namespace varnelt::archiver
