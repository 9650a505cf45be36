// libunrar32: RAR 4 and RAR 5. libarchive's RAR reader turns the format's "\" separators into
// "/" itself and finds an archive behind a self-extractor's stub.
#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <optional>

#include "failure.h"
#include "libarchive_backend.h"
#include "rar4_blocks.h"

namespace varnelt::archiver {
namespace {

using rar4::Block;

// What libarchive 3.6 leaves out of a RAR 4 test, checked here over the block chain walked
// beside the reader:
// - it answers the end of a stored entry before comparing the data with FILE_CRC, so a stored
//   entry would pass whatever its bytes;
// - it delivers a symbolic link's target as the link, not as data, and then fails the entry's
//   CRC over the data it never read;
// - it takes a file that stops within the first bytes of the end-of-archive block for an
//   archive written without one.
class Rar4Check final : public DataCheck {
public:
    explicit Rar4Check(const InputFile& file)
        : file_(file), firstBlock_(rar4::findFirstBlock(file)) {
        if (firstBlock_) {
            walker_.emplace(file, *firstBlock_);
        }
    }

    std::optional<int32_t> beginEntry(archive* reader, archive_entry* entry,
                                      const EntryLabel& label) override {
        label_ = label;
        const auto header = follow(reader, entry);
        if (!header) {
            return std::nullopt;
        }
        const bool whole =
            (header->flags & (rar4::kSplitBefore | rar4::kSplitAfter | rar4::kEncryptedData)) == 0;
        if (archive_entry_filetype(entry) == AE_IFLNK && whole) {
            return verifyLinkTarget(*header);
        }
        if (header->method == rar4::kStoredMethod && whole) {
            expected_ = header->dataCrc;
        }
        return std::nullopt;
    }
    void update(const void* data, size_t size) override {
        if (expected_) {
            crc_ = crc32_z(crc_, static_cast<const Bytef*>(data), size);
        }
    }
    int32_t endEntry() override {
        return expected_ && crc_ != *expected_ ? fail(VARNELT_ARC_ERROR_FILE_CRC, "CRC mismatch")
                                               : VARNELT_ARC_OK;
    }
    int32_t endArchive() override {
        return firstBlock_ && format_ != ARCHIVE_FORMAT_RAR_V5
                   ? rar4::verifyChain(file_, *firstBlock_)
                   : VARNELT_ARC_OK;
    }

    void passEntry(archive* reader, archive_entry* entry) override { follow(reader, entry); }

private:
    // The file header of the entry the reader has just read, the walk kept in step with it.
    std::optional<Block> follow(archive* reader, archive_entry* entry) {
        expected_.reset();
        crc_ = crc32(0, nullptr, 0);
        format_ = archive_format(reader);
        if (!walker_ || format_ != ARCHIVE_FORMAT_RAR) {
            walker_.reset();
            return std::nullopt;
        }
        const auto header = nextFileHeader();
        // The sizes agree unless the walk lost step with the reader; it then checks no more.
        if (!header || (archive_entry_filetype(entry) == AE_IFREG &&
                        header->unpackedSize != static_cast<uint64_t>(archive_entry_size(entry)))) {
            walker_.reset();
            return std::nullopt;
        }
        return header;
    }

    // Records what is wrong with the current entry, naming it, and answers code.
    int32_t fail(int32_t code, std::string_view what) const {
        return failWith(code, inEntry(what, label_.name, label_.number));
    }

    std::optional<Block> nextFileHeader() {
        for (;;) {
            std::optional<Block> block;
            if (walker_->next(block) != VARNELT_ARC_OK || !block ||
                block->type == rar4::kEndArchive ||
                (block->type == rar4::kMainHead && (block->flags & rar4::kEncryptedHeaders))) {
                return std::nullopt;
            }
            if (block->type == rar4::kFileHead) {
                return block;
            }
        }
    }

    // RAR stores a link's target as the entry's data, as it is whatever the method field says,
    // with FILE_CRC taken over the target up to its first NUL.
    int32_t verifyLinkTarget(const Block& header) const {
        std::array<Bytef, 4096> chunk{};
        uLong crc = crc32(0, nullptr, 0);
        for (uint64_t done = 0; done < header.dataSize;) {
            const auto length =
                static_cast<size_t>(std::min<uint64_t>(chunk.size(), header.dataSize - done));
            if (!file_.readAt(chunk.data(), length, header.dataOffset() + done)) {
                return fail(VARNELT_ARC_ERROR_EOF, "unexpected end of archive");
            }
            const Bytef* const nul = std::find(chunk.data(), chunk.data() + length, 0);
            crc = crc32_z(crc, chunk.data(), static_cast<size_t>(nul - chunk.data()));
            if (nul != chunk.data() + length) {
                break;
            }
            done += length;
        }
        return crc == header.dataCrc ? VARNELT_ARC_OK
                                     : fail(VARNELT_ARC_ERROR_FILE_CRC, "link target CRC mismatch");
    }

    const InputFile& file_;
    std::optional<uint64_t> firstBlock_;
    std::optional<rar4::BlockWalker> walker_;
    int format_ = 0;
    EntryLabel label_;
    std::optional<uint32_t> expected_;
    uLong crc_ = 0;
};

}  // namespace

const Backend& formatBackend() {
    static const LibarchiveBackend backend({
        .enableReaders =
            [](archive* reader) {
                archive_read_support_format_rar(reader);
                archive_read_support_format_rar5(reader);
            },
        .makeDataCheck = [](const InputFile& file) -> std::unique_ptr<DataCheck> {
            return std::make_unique<Rar4Check>(file);
        },
        // RAR 5 archives are read in order: their headers are not walked here.
        .entriesApart =
            [](archive* reader, const InputFile& file) {
                const auto first = rar4::findFirstBlock(file);
                return archive_format(reader) == ARCHIVE_FORMAT_RAR && first &&
                       rar4::filesStandAlone(file, *first);
            },
    });
    return backend;
}

}  // namespace varnelt::archiver
