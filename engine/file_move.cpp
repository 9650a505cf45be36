#include "engine/file_move.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/error_catalogue.h"
#include "base/name_decoding.h"
#include "base/regular_file.h"
#include "base/write_all.h"

namespace varnelt {

namespace {

// The copy half of a move to another file system: target is created exclusively, so a file
// that appeared there in the meantime is never touched.
MaybeError copyThenRemove(const QByteArray& source, const QByteArray& target) {
    const OpenedFile in = OpenRegularFile(source);
    if (in.error != 0) {
        return RuntimeError{in.error, DecodePath(source)};
    }
    FileDescriptor out(::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                              in.info.st_mode & 07777));
    if (out.get() < 0) {
        return RuntimeError{errno, DecodePath(target)};
    }
    const auto fail = [&](int number, const QByteArray& path) {
        ::unlink(target.constData());
        return RuntimeError{number, DecodePath(path)};
    };
    char buffer[1 << 16];
    off_t copied = 0;
    for (;;) {
        const ssize_t got = ReadSome(in.fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            return fail(errno, source);
        }
        if (got == 0) {
            break;
        }
        if (const int number = WriteAll(out.get(), QByteArrayView(buffer, got)); number != 0) {
            return fail(number, target);
        }
        copied += got;
    }
    if (copied != in.info.st_size) {
        return fail(kErrorIncompleteWrite, target);
    }
    const struct timespec times[2] = {in.info.st_atim, in.info.st_mtim};
    futimens(out.get(), times);
    if (fsync(out.get()) != 0 || !out.close()) {
        return fail(errno, target);
    }
    if (::unlink(source.constData()) != 0) {
        // The source stays; no second copy is left behind.
        return fail(errno, source);
    }
    return std::nullopt;
}

}  // namespace

int RenameWithoutReplacing(const QByteArray& source, const QByteArray& target) {
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0) {
        return 0;
    }
    if (errno != EINVAL) {
        return errno;
    }
    // A file system without the no-replace flag: link refuses an existing target too.
    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return 0;
    }
    return errno == EPERM || errno == ENOTSUP ? EXDEV : errno;
}

MaybeError MoveWithoutReplacing(const QByteArray& source, const QByteArray& target) {
    const int number = RenameWithoutReplacing(source, target);
    if (number == 0) {
        return std::nullopt;
    }
    if (number == EXDEV) {
        return copyThenRemove(source, target);
    }
    return RuntimeError{number, DecodePath(number == EEXIST ? target : source)};
}

}  // namespace varnelt
