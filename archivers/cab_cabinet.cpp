#include "cab_cabinet.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "cab_mszip.h"
#include "core.h"
#include "failure.h"
#include "little_endian.h"

namespace varnelt::archiver::cab {
namespace {

constexpr size_t kHeaderSize = 36;
constexpr size_t kFolderEntrySize = 8;
// libmspack reads the names of neighbouring cabinets up to this many bytes, NUL included.
constexpr size_t kMaxNameSize = 256;

enum : uint16_t { kPreviousCabinet = 0x0001, kNextCabinet = 0x0002, kReservePresent = 0x0004 };

struct Fault {
    int32_t code;
    const char* reason;  // empty for a file that is no cabinet
};

Fault fault(int mspackError) {
    switch (mspackError) {
        case MSPACK_ERR_OK:
            return {VARNELT_ARC_OK, ""};
        case MSPACK_ERR_OPEN:
            return {VARNELT_ARC_ERROR_ARC_FILE_OPEN, "cannot open the archive"};
        case MSPACK_ERR_READ:
        case MSPACK_ERR_SEEK:
            return {VARNELT_ARC_ERROR_EOF, "unexpected end of archive"};
        case MSPACK_ERR_NOMEMORY:
            return {VARNELT_ARC_ERROR_ENOUGH_MEMORY, "out of memory"};
        case MSPACK_ERR_SIGNATURE:
            return {VARNELT_ARC_ERROR_NOT_ARC_FILE, ""};
        case MSPACK_ERR_CHECKSUM:
            return {VARNELT_ARC_ERROR_FILE_CRC, "checksum mismatch"};
        case MSPACK_ERR_DECRUNCH:
            return {VARNELT_ARC_ERROR_FILE_CRC, "damaged data"};
        default:
            return {VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged header"};
    }
}

constexpr const char* kCut = "unexpected end of archive";

EntryLabel labelOf(const mscabd_cabinet& cabinet, const mscabd_file* wanted) {
    uint64_t number = 1;
    for (const mscabd_file* file = cabinet.files; file && file != wanted; file = file->next) {
        ++number;
    }
    return {storedNameToUtf8(wanted->filename, true), number};
}

// The file whose data the folder's decoding had reached after decoded bytes: the first one
// that holds the byte there, else the folder's first file.
EntryLabel fileReached(const mscabd_cabinet& cabinet, const mscabd_folder* folder,
                       uint64_t decoded) {
    const mscabd_file* first = nullptr;
    for (const mscabd_file* file = cabinet.files; file; file = file->next) {
        if (file->folder != folder) {
            continue;
        }
        if (decoded >= file->offset && decoded - file->offset < file->length) {
            return labelOf(cabinet, file);
        }
        first = first ? first : file;
    }
    return first ? labelOf(cabinet, first) : EntryLabel{};
}

// Counts what a folder's decoding delivered, so that a fault can name the file it reached.
class CountingSink final : public DecodedSink {
public:
    explicit CountingSink(DecodedSink& sink) : sink_(sink) {}
    void write(const void* data, size_t size) override {
        sink_.write(data, size);
        count_ += size;
    }
    uint64_t count() const { return count_; }
    void reset() { count_ = 0; }

private:
    DecodedSink& sink_;
    uint64_t count_ = 0;
};

// Steps over a NUL-terminated name in the cabinet header.
int32_t skipName(const InputFile& file, uint64_t& position) {
    char name[kMaxNameSize] = {};
    const ptrdiff_t got = file.readSomeAt(name, sizeof name, position);
    const char* const begin = name;
    const char* const end = begin + std::max<ptrdiff_t>(got, 0);
    const char* const nul = std::find(begin, end, '\0');
    if (nul == end) {
        return got < static_cast<ptrdiff_t>(sizeof name)
                   ? failWith(VARNELT_ARC_ERROR_EOF, kCut)
                   : failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged cabinet name");
    }
    position += static_cast<uint64_t>(nul - begin) + 1;
    return VARNELT_ARC_OK;
}

// Where each folder's CFDATA blocks lie, as the cabinet header at base says; libmspack keeps
// this to itself.
int32_t readFolderData(const InputFile& file, uint64_t base, std::vector<FolderData>& folders,
                       uint8_t& dataReserve) {
    uint8_t header[kHeaderSize];
    if (!file.readAt(header, sizeof header, base)) {
        return failWith(VARNELT_ARC_ERROR_EOF, kCut);
    }
    const uint16_t flags = le16(header + 30);
    uint64_t position = base + kHeaderSize;
    size_t folderReserve = 0;
    dataReserve = 0;
    if ((flags & kReservePresent) != 0) {
        uint8_t sizes[4];
        if (!file.readAt(sizes, sizeof sizes, position)) {
            return failWith(VARNELT_ARC_ERROR_EOF, kCut);
        }
        position += sizeof sizes + le16(sizes);
        folderReserve = sizes[2];
        dataReserve = sizes[3];
    }
    const int names =
        ((flags & kPreviousCabinet) != 0 ? 2 : 0) + ((flags & kNextCabinet) != 0 ? 2 : 0);
    for (int i = 0; i < names; ++i) {
        if (const int32_t rc = skipName(file, position); rc != VARNELT_ARC_OK) {
            return rc;
        }
    }
    folders.clear();
    for (uint16_t i = 0; i < le16(header + 26); ++i) {
        uint8_t entry[kFolderEntrySize];
        if (!file.readAt(entry, sizeof entry, position)) {
            return failWith(VARNELT_ARC_ERROR_EOF, kCut);
        }
        folders.push_back({base + le32(entry), le16(entry + 4)});
        position += kFolderEntrySize + folderReserve;
    }
    return VARNELT_ARC_OK;
}

// The decoded size of each folder: the sum of its CFDATA blocks' uncompressed sizes.
int32_t decodedFolderSizes(const InputFile& file, const std::vector<FolderData>& folders,
                           uint8_t dataReserve, std::vector<uint64_t>& sizes) {
    // Every block takes its header's bytes of the file. Counting them all against the file
    // also bounds the walk below when folders claim the same blocks.
    uint64_t blocks = 0;
    for (const FolderData& folder : folders) {
        blocks += folder.blocks;
    }
    if (blocks * kDataHeaderSize > static_cast<uint64_t>(file.size())) {
        return failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, "more data blocks than the file holds");
    }
    sizes.clear();
    for (const FolderData& folder : folders) {
        uint64_t size = 0;
        uint64_t at = folder.offset;
        for (uint32_t i = 0; i < folder.blocks; ++i) {
            uint8_t block[kDataHeaderSize];
            if (!file.readAt(block, sizeof block, at)) {
                return failWith(VARNELT_ARC_ERROR_EOF, kCut);
            }
            size += le16(block + 6);
            at += kDataHeaderSize + dataReserve + le16(block + 4);
        }
        sizes.push_back(size);
    }
    return VARNELT_ARC_OK;
}

}  // namespace

void DecompressorDestroyer::operator()(mscab_decompressor* decompressor) const {
    mspack_destroy_cab_decompressor(decompressor);
}

void CabinetCloser::operator()(mscabd_cabinet* cabinet) const {
    decompressor->close(decompressor, cabinet);
}

int32_t Cabinet::open() {
    static const bool compatible = [] {
        int result = MSPACK_ERR_OK;
        MSPACK_SYS_SELFTEST(result);
        return result == MSPACK_ERR_OK;
    }();
    if (!compatible) {
        return VARNELT_ARC_ERROR_NOT_SUPPORT;
    }
    char head[4] = {};
    const ptrdiff_t got = file_.readSomeAt(head, sizeof head, 0);
    executable_ = got >= 2 && head[0] == 'M' && head[1] == 'Z';
    // Only an executable is searched for a cabinet inside it; any other file must be one,
    // else a ZIP that stores a cabinet would pass for a cabinet.
    if (!executable_ && (got != 4 || std::memcmp(head, "MSCF", 4) != 0)) {
        return VARNELT_ARC_ERROR_NOT_ARC_FILE;
    }
    decompressor_.reset(mspack_create_cab_decompressor(system_.get()));
    if (!decompressor_) {
        return VARNELT_ARC_ERROR_ENOUGH_MEMORY;
    }
    mscab_decompressor* const d = decompressor_.get();
    d->set_param(d, MSCABD_PARAM_DECOMPBUF, 65536);
    cabinet_ = std::unique_ptr<mscabd_cabinet, CabinetCloser>(
        executable_ ? d->search(d, CabSystem::kArchiveName) : d->open(d, CabSystem::kArchiveName),
        CabinetCloser{d});
    if (!cabinet_) {
        const Fault found = fault(d->last_error(d));
        return found.code == VARNELT_ARC_OK ? VARNELT_ARC_ERROR_NOT_ARC_FILE
                                            : failWith(found.code, found.reason);
    }
    if (cabinet_->base_offset + static_cast<off_t>(cabinet_->length) > file_.size()) {
        return failWith(VARNELT_ARC_ERROR_EOF, kCut);
    }
    return cabinet_->files != nullptr ? VARNELT_ARC_OK : VARNELT_ARC_ERROR_NOT_ARC_FILE;
}

int32_t Cabinet::verify(DecodedSink& sink) {
    std::vector<FolderData> folders;
    uint8_t dataReserve = 0;
    std::vector<uint64_t> sizes;
    if (const int32_t rc = readFolderData(file_, static_cast<uint64_t>(cabinet_->base_offset),
                                          folders, dataReserve);
        rc != VARNELT_ARC_OK) {
        return rc;
    }
    if (const int32_t rc = decodedFolderSizes(file_, folders, dataReserve, sizes);
        rc != VARNELT_ARC_OK) {
        return rc;
    }
    const auto failIn = [](int32_t code, std::string_view what, const EntryLabel& file) {
        return failWith(code, inEntry(what, file.name, file.number));
    };
    std::unordered_map<const mscabd_folder*, size_t> folderIndex;
    for (const mscabd_folder* folder = cabinet_->folders; folder; folder = folder->next) {
        if (const int method = MSCABD_COMP_METHOD(folder->comp_type); method > MSCAB_COMP_LZX) {
            return failIn(VARNELT_ARC_ERROR_METHOD, "unsupported method " + std::to_string(method),
                          fileReached(*cabinet_, folder, 0));
        }
        folderIndex.emplace(folder, folderIndex.size());
    }
    if (folderIndex.size() != sizes.size()) {
        return failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged folder table");
    }
    for (const mscabd_file* file = cabinet_->files; file; file = file->next) {
        const auto found = folderIndex.find(file->folder);
        if (found == folderIndex.end() ||
            uint64_t{file->offset} + file->length > sizes[found->second]) {
            return failIn(VARNELT_ARC_ERROR_HEADER_BROKEN, "data beyond its folder",
                          labelOf(*cabinet_, file));
        }
    }
    // Files of one folder may overlap or all start at its beginning; extracting them one by
    // one would decode the folder again for each. One extraction spanning the whole folder
    // decodes it once and reads every block, those that no file uses included. An MSZIP folder
    // that the fast inflater cannot vouch for is given to libmspack from its start again.
    mscab_decompressor* const d = decompressor_.get();
    const bool spansCabinets = (cabinet_->flags & (MSCAB_HDR_PREVCAB | MSCAB_HDR_NEXTCAB)) != 0;
    CountingSink counted(sink);
    system_.setSink(&counted);
    size_t index = 0;
    char noName[] = "";
    for (mscabd_folder* folder = cabinet_->folders; folder; folder = folder->next, ++index) {
        if (sizes[index] == 0) {
            continue;
        }
        counted.reset();
        if (MSCABD_COMP_METHOD(folder->comp_type) == MSCAB_COMP_MSZIP && !spansCabinets &&
            mszipFolderIntact(file_, folders[index], dataReserve, counted)) {
            continue;
        }
        mscabd_file whole{};
        whole.filename = noName;
        whole.folder = folder;
        whole.offset = 0;
        whole.length = static_cast<unsigned int>(sizes[index]);
        counted.reset();
        if (const Fault found = fault(d->extract(d, &whole, CabSystem::kSinkName));
            found.code != VARNELT_ARC_OK) {
            system_.setSink(nullptr);
            return failIn(found.code, found.reason,
                          fileReached(*cabinet_, folder, counted.count()));
        }
    }
    system_.setSink(nullptr);
    return VARNELT_ARC_OK;
}

}  // namespace varnelt::archiver::cab
