#include "engine/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "base/write_all.h"

namespace varnelt {

LogFile::LogFile(int fd) : fd_(fd) {
    if (fd < 0) {
        error_ = errno;
    }
}

LogFile LogFile::Create(const QByteArray& nativePath) {
    return LogFile(::open(nativePath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
}

LogFile LogFile::StandardOutput() {
    return LogFile(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0));
}

void LogFile::write(QByteArrayView bytes) {
    if (error_ == 0) {
        error_ = WriteAll(fd_.get(), bytes);
    }
}

bool LogFile::close() {
    if (error_ == 0 && !fd_.close()) {
        error_ = errno;
    }
    return error_ == 0;
}

}  // namespace varnelt
