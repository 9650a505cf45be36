#include "base/write_all.h"

#include <unistd.h>

#include <cerrno>

#include "base/error_catalogue.h"

namespace varnelt {

int WriteAll(int fd, QByteArrayView bytes) {
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t put =
            ::write(fd, bytes.data() + written, static_cast<size_t>(bytes.size() - written));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return put < 0 ? errno : kErrorIncompleteWrite;
        }
        written += put;
    }
    return 0;
}

}  // namespace varnelt
