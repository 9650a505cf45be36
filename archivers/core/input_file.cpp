#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace varnelt::archiver {

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      size_(other.size_),
      path_(std::move(other.path_)),
      readFailed_(other.readFailed()) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
        path_ = std::move(other.path_);
        readFailed_.store(other.readFailed(), std::memory_order_relaxed);
    }
    return *this;
}

InputFile::~InputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

int32_t InputFile::open(const char* path) {
    if (path == nullptr) {
        return VARNELT_ARC_ERROR_ARC_FILE_OPEN;
    }
    InputFile opened;
    opened.fd_ = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat info {};
    if (opened.fd_ < 0 || fstat(opened.fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        return VARNELT_ARC_ERROR_ARC_FILE_OPEN;
    }
    const int flags = fcntl(opened.fd_, F_GETFL);
    if (flags < 0 || fcntl(opened.fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return VARNELT_ARC_ERROR_ARC_FILE_OPEN;
    }
    opened.size_ = info.st_size;
    opened.path_ = path;
    *this = std::move(opened);
    return VARNELT_ARC_OK;
}

ptrdiff_t InputFile::readSomeAt(void* buffer, size_t length, uint64_t offset) const {
    for (;;) {
        const ssize_t got = ::pread(fd_, buffer, length, static_cast<off_t>(offset));
        if (got >= 0) {
            return got;
        }
        if (errno != EINTR) {
            readFailed_.store(true, std::memory_order_relaxed);
            return -1;
        }
    }
}

bool InputFile::readAt(void* buffer, size_t length, uint64_t offset) const {
    auto* bytes = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < length) {
        const ptrdiff_t got = readSomeAt(bytes + done, length - done, offset + done);
        if (got <= 0) {
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace varnelt::archiver
