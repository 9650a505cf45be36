// libunrar32: RAR 4 and RAR 5. libarchive's RAR reader turns the format's "\" separators into
// "/" itself and finds an archive behind a self-extractor's stub.
#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "libarchive_backend.h"

namespace varnelt::archiver {
namespace {

constexpr char kMarker[] = "Rar!\x1a\x07\x00";
constexpr size_t kMarkerSize = 7;
// libarchive looks this far into a self-extractor for the archive.
constexpr size_t kStubSearchLimit = 1024 * 1024;

enum : uint8_t { kFileHead = 0x74, kServiceHead = 0x7A, kEndArchive = 0x7B };
enum : uint16_t {
    kSplitBefore = 0x01,
    kSplitAfter = 0x02,
    kLargeSizes = 0x100,
    kLongBlock = 0x8000
};
constexpr uint8_t kStoredMethod = 0x30;

uint32_t le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// libarchive 3.6 answers the end of a stored RAR 4 entry before it compares the data with
// FILE_CRC, so a stored entry would pass whatever its bytes. This check walks the RAR 4 blocks
// beside the reader and compares the CRC-32 of each stored entry's data itself.
class StoredCrcCheck final : public DataCheck {
public:
    explicit StoredCrcCheck(const InputFile& file) : file_(file) {
        if (const auto marker = findMarker()) {
            position_ = *marker;
            inStep_ = true;
        }
    }

    void beginEntry(archive* reader, archive_entry* entry) override {
        expected_.reset();
        crc_ = crc32(0, nullptr, 0);
        if (!inStep_ || archive_format(reader) != ARCHIVE_FORMAT_RAR) {
            inStep_ = false;
            return;
        }
        const auto header = nextFileHeader();
        // The sizes agree unless the walk lost step with the reader; it then checks no more.
        if (!header || (archive_entry_filetype(entry) == AE_IFREG &&
                        header->unpackedSize != static_cast<uint64_t>(archive_entry_size(entry)))) {
            inStep_ = false;
            return;
        }
        if (header->method == kStoredMethod &&
            (header->flags & (kSplitBefore | kSplitAfter)) == 0) {
            expected_ = header->crc;
        }
    }
    void update(const void* data, size_t size) override {
        if (expected_) {
            crc_ = crc32_z(crc_, static_cast<const Bytef*>(data), size);
        }
    }
    int32_t endEntry() override {
        return expected_ && crc_ != *expected_ ? VARNELT_ARC_ERROR_FILE_CRC : VARNELT_ARC_OK;
    }

private:
    struct FileHeader {
        uint16_t flags;
        uint8_t method;
        uint32_t crc;
        uint64_t unpackedSize;
    };

    std::optional<uint64_t> findMarker() const {
        char start[kMarkerSize] = {};
        if (file_.readAt(start, kMarkerSize, 0) && std::memcmp(start, kMarker, kMarkerSize) == 0) {
            return 0;
        }
        std::vector<char> head(kStubSearchLimit);
        const ptrdiff_t got = file_.readSomeAt(head.data(), head.size(), 0);
        if (got < static_cast<ptrdiff_t>(kMarkerSize)) {
            return std::nullopt;
        }
        const auto end = head.begin() + got;
        const auto found = std::search(head.begin(), end, kMarker, kMarker + kMarkerSize);
        return found == end ? std::nullopt
                            : std::optional<uint64_t>(static_cast<uint64_t>(found - head.begin()));
    }

    std::optional<FileHeader> nextFileHeader() {
        for (;;) {
            uint8_t h[40] = {};
            const ptrdiff_t got = file_.readSomeAt(h, sizeof h, position_);
            if (got < 7) {
                return std::nullopt;
            }
            const uint8_t type = h[2];
            const uint16_t flags = le16(h + 3);
            const uint16_t size = le16(h + 5);
            const bool hasData = type == kFileHead || type == kServiceHead;
            if (size < 7 || type == kEndArchive || (hasData && (size < 32 || got < 32))) {
                return std::nullopt;
            }
            uint64_t dataSize = 0;
            if (hasData) {
                dataSize = le32(h + 7);
                if ((flags & kLargeSizes) != 0) {
                    dataSize |= uint64_t(le32(h + 32)) << 32;
                }
            } else if ((flags & kLongBlock) != 0) {
                dataSize = le32(h + 7);
            }
            position_ += size + dataSize;
            if (type == kFileHead) {
                uint64_t unpacked = le32(h + 11);
                if ((flags & kLargeSizes) != 0) {
                    unpacked |= uint64_t(le32(h + 36)) << 32;
                }
                return FileHeader{flags, h[25], le32(h + 16), unpacked};
            }
        }
    }

    const InputFile& file_;
    uint64_t position_ = 0;
    bool inStep_ = false;
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
            return std::make_unique<StoredCrcCheck>(file);
        },
    });
    return backend;
}

}  // namespace varnelt::archiver
