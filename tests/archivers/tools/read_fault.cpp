// Test-only preload library: reads of one file fail with EIO, as on a failing disk.
// VARNELT_FAIL_READS names the file (its canonical path); reads of it that reach at or beyond
// VARNELT_FAIL_READS_FROM (a byte offset, 0 when unset) fail. Every other read goes through.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using PreadFn = ssize_t (*)(int, void*, size_t, off_t);
using ReadFn = ssize_t (*)(int, void*, size_t);

template <typename Fn>
Fn next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

bool refused(int fd, off_t offset, size_t count) {
    const char* const marked = std::getenv("VARNELT_FAIL_READS");
    if (marked == nullptr || count == 0) {
        return false;
    }
    char link[64];
    char target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, target, sizeof target - 1);
    if (length < 0) {
        return false;
    }
    target[length] = '\0';
    const char* const from = std::getenv("VARNELT_FAIL_READS_FROM");
    const long long failFrom = from != nullptr ? std::atoll(from) : 0;
    return std::strcmp(target, marked) == 0 &&
           static_cast<long long>(offset) + static_cast<long long>(count) > failFrom;
}

ssize_t positioned(PreadFn real, int fd, void* buffer, size_t count, off_t offset) {
    if (refused(fd, offset, count)) {
        errno = EIO;
        return -1;
    }
    return real(fd, buffer, count, offset);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) ssize_t pread(int fd, void* buffer, size_t count,
                                                     off_t offset) {
    static const PreadFn real = next<PreadFn>("pread");
    return positioned(real, fd, buffer, count, offset);
}

__attribute__((visibility("default"))) ssize_t pread64(int fd, void* buffer, size_t count,
                                                       off_t offset) {
    static const PreadFn real = next<PreadFn>("pread64");
    return positioned(real, fd, buffer, count, offset);
}

__attribute__((visibility("default"))) ssize_t read(int fd, void* buffer, size_t count) {
    static const ReadFn real = next<ReadFn>("read");
    const off_t offset = lseek(fd, 0, SEEK_CUR);
    if (offset >= 0 && refused(fd, offset, count)) {
        errno = EIO;
        return -1;
    }
    return real(fd, buffer, count);
}

}  // extern "C"
