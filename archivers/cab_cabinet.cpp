#include "cab_cabinet.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace varnelt::archiver::cab {
namespace {

int32_t resultCode(int mspackError) {
    switch (mspackError) {
        case MSPACK_ERR_OK:
            return VARNELT_ARC_OK;
        case MSPACK_ERR_OPEN:
            return VARNELT_ARC_ERROR_ARC_FILE_OPEN;
        case MSPACK_ERR_READ:
        case MSPACK_ERR_SEEK:
            return VARNELT_ARC_ERROR_EOF;
        case MSPACK_ERR_NOMEMORY:
            return VARNELT_ARC_ERROR_ENOUGH_MEMORY;
        case MSPACK_ERR_SIGNATURE:
            return VARNELT_ARC_ERROR_NOT_ARC_FILE;
        case MSPACK_ERR_CHECKSUM:
        case MSPACK_ERR_DECRUNCH:
            return VARNELT_ARC_ERROR_FILE_CRC;
        default:
            return VARNELT_ARC_ERROR_HEADER_BROKEN;
    }
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
        const int error = d->last_error(d);
        return error == MSPACK_ERR_OK ? VARNELT_ARC_ERROR_NOT_ARC_FILE : resultCode(error);
    }
    if (cabinet_->base_offset + static_cast<off_t>(cabinet_->length) > file_.size()) {
        return VARNELT_ARC_ERROR_EOF;
    }
    return cabinet_->files != nullptr ? VARNELT_ARC_OK : VARNELT_ARC_ERROR_NOT_ARC_FILE;
}

int32_t Cabinet::verify(DecodedSink& sink) {
    std::unordered_map<const mscabd_folder*, size_t> folderIndex;
    for (const mscabd_folder* folder = cabinet_->folders; folder; folder = folder->next) {
        if (MSCABD_COMP_METHOD(folder->comp_type) > MSCAB_COMP_LZX) {
            return VARNELT_ARC_ERROR_METHOD;
        }
        folderIndex.emplace(folder, folderIndex.size());
    }
    // In folder and offset order, so that libmspack decodes each folder once, front to back.
    std::vector<std::pair<size_t, mscabd_file*>> files;
    for (mscabd_file* file = cabinet_->files; file; file = file->next) {
        const auto found = folderIndex.find(file->folder);
        files.emplace_back(found == folderIndex.end() ? folderIndex.size() : found->second, file);
    }
    std::stable_sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second->offset < b.second->offset;
    });
    mscab_decompressor* const d = decompressor_.get();
    system_.setSink(&sink);
    int error = MSPACK_ERR_OK;
    for (auto item = files.begin(); item != files.end() && error == MSPACK_ERR_OK; ++item) {
        error = d->extract(d, item->second, CabSystem::kSinkName);
    }
    system_.setSink(nullptr);
    return resultCode(error);
}

}  // namespace varnelt::archiver::cab
