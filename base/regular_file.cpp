#include "base/regular_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "base/error_catalogue.h"

namespace varnelt {

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool FileDescriptor::close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
}

OpenedFile OpenRegularFile(const QByteArray& path) {
    OpenedFile file;
    file.fd = FileDescriptor(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.fd.get() < 0 || fstat(file.fd.get(), &file.info) != 0) {
        file.error = errno;
    } else if (!S_ISREG(file.info.st_mode)) {
        file.error = kErrorNotRegularFile;
    } else if (const int flags = fcntl(file.fd.get(), F_GETFL);
               flags < 0 || fcntl(file.fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        file.error = errno;
    }
    if (file.error != 0) {
        file.fd = FileDescriptor();
    }
    return file;
}

ssize_t ReadSome(int fd, void* buffer, size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

int ReadThrough(const QByteArray& path) {
    const OpenedFile file = OpenRegularFile(path);
    if (file.error != 0) {
        return file.error;
    }
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ReadSome(file.fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            return errno;
        }
        if (got == 0) {
            return 0;
        }
    }
}

}  // namespace varnelt
