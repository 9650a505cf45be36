// libcab32: Microsoft cabinets over libmspack. Testing extracts every file into a sink that
// discards what it is given, so that libmspack decodes every block it needs and checks each
// CFDATA checksum on the way.
#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "backend.h"
#include "core.h"

namespace varnelt::archiver {
namespace {

// Files handed to libmspack: the archive itself, or the sink that extracted files go to.
struct CabHandle {
    int fd = -1;
    bool sink = false;
};

CabHandle* handle(mspack_file* file) {
    return reinterpret_cast<CabHandle*>(file);
}

mspack_file* sysOpen(mspack_system* /*self*/, const char* filename, int mode) {
    auto* opened = new (std::nothrow) CabHandle;
    if (opened == nullptr) {
        return nullptr;
    }
    if (mode == MSPACK_SYS_OPEN_WRITE) {
        opened->sink = true;
    } else if (mode == MSPACK_SYS_OPEN_READ) {
        opened->fd = ::open(filename, O_RDONLY | O_CLOEXEC);
    }
    if (!opened->sink && opened->fd < 0) {
        delete opened;
        return nullptr;
    }
    return reinterpret_cast<mspack_file*>(opened);
}

void sysClose(mspack_file* file) {
    if (handle(file)->fd >= 0) {
        ::close(handle(file)->fd);
    }
    delete handle(file);
}

int sysRead(mspack_file* file, void* buffer, int bytes) {
    if (handle(file)->sink || bytes < 0) {
        return -1;
    }
    // libmspack takes a short read for the end of the file, so fill the buffer.
    int done = 0;
    while (done < bytes) {
        const ssize_t got = ::read(handle(file)->fd, static_cast<char*>(buffer) + done,
                                   static_cast<size_t>(bytes - done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<int>(got);
    }
    return done;
}

int sysWrite(mspack_file* file, void* /*buffer*/, int bytes) {
    return handle(file)->sink ? bytes : -1;
}

int sysSeek(mspack_file* file, off_t offset, int mode) {
    if (handle(file)->sink) {
        return -1;
    }
    const int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET
                       : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR
                                                     : SEEK_END;
    return ::lseek(handle(file)->fd, offset, whence) < 0 ? -1 : 0;
}

off_t sysTell(mspack_file* file) {
    return handle(file)->sink ? -1 : ::lseek(handle(file)->fd, 0, SEEK_CUR);
}

void sysMessage(mspack_file* /*file*/, const char* /*format*/, ...) {}

void* sysAlloc(mspack_system* /*self*/, size_t bytes) {
    return std::malloc(bytes);
}

void sysFree(void* pointer) {
    std::free(pointer);
}

void sysCopy(void* source, void* destination, size_t bytes) {
    std::memcpy(destination, source, bytes);
}

mspack_system makeSystem() {
    mspack_system system{};
    system.open = &sysOpen;
    system.close = &sysClose;
    system.read = &sysRead;
    system.write = &sysWrite;
    system.seek = &sysSeek;
    system.tell = &sysTell;
    system.message = &sysMessage;
    system.alloc = &sysAlloc;
    system.free = &sysFree;
    system.copy = &sysCopy;
    system.null_ptr = nullptr;
    return system;
}

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

struct DecompressorDestroyer {
    void operator()(mscab_decompressor* decompressor) const {
        mspack_destroy_cab_decompressor(decompressor);
    }
};

struct CabinetCloser {
    mscab_decompressor* decompressor = nullptr;
    void operator()(mscabd_cabinet* cabinet) const { decompressor->close(decompressor, cabinet); }
};

// One cabinet opened by libmspack: the first one in the file.
class Cabinet {
public:
    int32_t open(const std::string& path) {
        static const bool compatible = [] {
            int result = MSPACK_ERR_OK;
            MSPACK_SYS_SELFTEST(result);
            return result == MSPACK_ERR_OK;
        }();
        if (!compatible) {
            return VARNELT_ARC_ERROR_NOT_SUPPORT;
        }
        struct stat info {};
        char head[4] = {};
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return VARNELT_ARC_ERROR_ARC_FILE_OPEN;
        }
        const bool statted = fstat(fd, &info) == 0;
        const ssize_t got = ::read(fd, head, sizeof head);
        ::close(fd);
        if (!statted) {
            return VARNELT_ARC_ERROR_ARC_FILE_OPEN;
        }
        executable_ = got >= 2 && head[0] == 'M' && head[1] == 'Z';
        // Only an executable is searched for a cabinet inside it; any other file must be one,
        // else a ZIP that stores a cabinet would pass for a cabinet.
        if (!executable_ && (got != 4 || std::memcmp(head, "MSCF", 4) != 0)) {
            return VARNELT_ARC_ERROR_NOT_ARC_FILE;
        }
        decompressor_.reset(mspack_create_cab_decompressor(&system_));
        if (!decompressor_) {
            return VARNELT_ARC_ERROR_ENOUGH_MEMORY;
        }
        mscab_decompressor* const d = decompressor_.get();
        d->set_param(d, MSCABD_PARAM_DECOMPBUF, 65536);
        cabinet_ = std::unique_ptr<mscabd_cabinet, CabinetCloser>(
            executable_ ? d->search(d, path.c_str()) : d->open(d, path.c_str()), CabinetCloser{d});
        if (!cabinet_) {
            const int error = d->last_error(d);
            return error == MSPACK_ERR_OK ? VARNELT_ARC_ERROR_NOT_ARC_FILE : resultCode(error);
        }
        if (cabinet_->base_offset + static_cast<off_t>(cabinet_->length) > info.st_size) {
            return VARNELT_ARC_ERROR_EOF;
        }
        return cabinet_->files != nullptr ? VARNELT_ARC_OK : VARNELT_ARC_ERROR_NOT_ARC_FILE;
    }

    mscab_decompressor* decompressor() const { return decompressor_.get(); }
    const mscabd_cabinet& cabinet() const { return *cabinet_; }
    bool behindStub() const { return executable_ && cabinet_->base_offset > 0; }

private:
    mspack_system system_ = makeSystem();
    bool executable_ = false;
    // Declared after the decompressor: the cabinet must be closed first.
    std::unique_ptr<mscab_decompressor, DecompressorDestroyer> decompressor_;
    std::unique_ptr<mscabd_cabinet, CabinetCloser> cabinet_;
};

class CabBackend : public Backend {
public:
    int32_t test(const InputFile& file) const override {
        const std::string& path = file.path();
        Cabinet cab;
        const int32_t rc = cab.open(path);
        if (rc != VARNELT_ARC_OK) {
            return rc;
        }
        std::unordered_map<const mscabd_folder*, size_t> folderIndex;
        for (const mscabd_folder* folder = cab.cabinet().folders; folder; folder = folder->next) {
            if (MSCABD_COMP_METHOD(folder->comp_type) > MSCAB_COMP_LZX) {
                return VARNELT_ARC_ERROR_METHOD;
            }
            folderIndex.emplace(folder, folderIndex.size());
        }
        // In folder and offset order, so that libmspack decodes each folder once, front to back.
        std::vector<std::pair<size_t, mscabd_file*>> files;
        for (mscabd_file* file = cab.cabinet().files; file; file = file->next) {
            const auto found = folderIndex.find(file->folder);
            files.emplace_back(found == folderIndex.end() ? folderIndex.size() : found->second,
                               file);
        }
        std::stable_sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
            return a.first != b.first ? a.first < b.first : a.second->offset < b.second->offset;
        });
        mscab_decompressor* const d = cab.decompressor();
        for (const auto& item : files) {
            const int error = d->extract(d, item.second, "");
            if (error != MSPACK_ERR_OK) {
                return resultCode(error);
            }
        }
        return VARNELT_ARC_OK;
    }

    int32_t countEntries(const InputFile& file) const override {
        const std::string& path = file.path();
        Cabinet cab;
        if (cab.open(path) != VARNELT_ARC_OK) {
            return -1;
        }
        int32_t count = 0;
        for (const mscabd_file* file = cab.cabinet().files; file; file = file->next) {
            if (count == std::numeric_limits<int32_t>::max()) {
                return -1;
            }
            ++count;
        }
        return count;
    }

    std::unique_ptr<ArchiveSession> open(const InputFile& file) const override {
        const std::string& path = file.path();
        Cabinet cab;
        if (cab.open(path) != VARNELT_ARC_OK) {
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
