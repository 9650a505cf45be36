// lib7-zip32's answers for a 7z archive: its own reader, with libarchive's 7z reader behind
// it for the coders this reader does not decode.
#pragma once

#include <cstdint>
#include <memory>

#include "../core/backend.h"

namespace varnelt::archiver::sevenzip {

class Reader {
public:
    // fallback reads 7z archives through libarchive; it is asked only after this reader's
    // own checks of the headers and of every folder it can decode have passed.
    explicit Reader(const Backend& fallback) : fallback_(fallback) {}

    int32_t test(const InputFile& file, uint64_t signatureOffset) const;
    int32_t countEntries(const InputFile& file, uint64_t signatureOffset) const;
    std::unique_ptr<ArchiveSession> open(const InputFile& file, uint64_t signatureOffset) const;

private:
    const Backend& fallback_;
};

}  // namespace varnelt::archiver::sevenzip
