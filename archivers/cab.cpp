// libcab32: Microsoft cabinets over libmspack. Testing decodes every folder into a sink that
// discards what it is given, so that every block is decoded and each CFDATA checksum checked on
// the way: by the fast MSZIP inflater where it can vouch for the folder, else by libmspack.
#include <limits>

#include "backend.h"
#include "cab_cabinet.h"
#include "core.h"

namespace varnelt::archiver {
namespace {

class DiscardingSink final : public cab::DecodedSink {
public:
    void write(const void* /*data*/, size_t /*size*/) override {}
};

class CabBackend : public Backend {
public:
    int32_t test(const InputFile& file) const override {
        cab::Cabinet cab(file);
        if (const int32_t rc = cab.open(); rc != VARNELT_ARC_OK) {
            return rc;
        }
        DiscardingSink sink;
        return cab.verify(sink);
    }

    int32_t countEntries(const InputFile& file) const override {
        cab::Cabinet cab(file);
        if (cab.open() != VARNELT_ARC_OK) {
            return -1;
        }
        int32_t count = 0;
        for (const mscabd_file* entry = cab.cabinet().files; entry; entry = entry->next) {
            if (count == std::numeric_limits<int32_t>::max()) {
                return -1;
            }
            ++count;
        }
        return count;
    }

    std::unique_ptr<ArchiveSession> open(const InputFile& file) const override {
        cab::Cabinet cab(file);
        if (cab.open() != VARNELT_ARC_OK) {
            return nullptr;
        }
        // Names flagged UTF-8 are kept; any other is decoded as CP932 unless it is valid UTF-8.
        return std::make_unique<ArchiveSession>(
            storedNameToUtf8(cab.cabinet().files->filename, true), cab.behindStub());
    }
};

}  // namespace

const Backend& formatBackend() {
    static const CabBackend backend;
    return backend;
}

}  // namespace varnelt::archiver
