#include "app/disposal.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

#include "app/error_catalogue.h"
#include "app/paths.h"

namespace varnelt {

namespace {

constexpr int kLastNumber = 32767;

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, so that a failing close is seen.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// The copy half of a move to another file system: target is created exclusively, so a file
// that appeared there in the meantime is never touched.
MaybeError copyThenRemove(const QString& source, const QString& target) {
    const QByteArray from = source.toUtf8();
    const QByteArray to = target.toUtf8();
    Descriptor in(::open(from.constData(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (in.get() < 0 || fstat(in.get(), &info) != 0) {
        return RuntimeError{errno, source};
    }
    Descriptor out(
        ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777));
    if (out.get() < 0) {
        return RuntimeError{errno, target};
    }
    const auto fail = [&](int number) {
        ::unlink(to.constData());
        return RuntimeError{number, target};
    };
    char buffer[1 << 16];
    off_t copied = 0;
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            const int number = errno;
            ::unlink(to.constData());
            return RuntimeError{number, source};
        }
        if (got == 0) {
            break;
        }
        for (ssize_t written = 0; written < got;) {
            const ssize_t put =
                ::write(out.get(), buffer + written, static_cast<size_t>(got - written));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                return fail(put < 0 ? errno : kErrorIncompleteWrite);
            }
            written += put;
        }
        copied += got;
    }
    if (copied != info.st_size) {
        return fail(kErrorIncompleteWrite);
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    futimens(out.get(), times);
    if (fsync(out.get()) != 0 || !out.close()) {
        return fail(errno);
    }
    if (::unlink(from.constData()) != 0) {
        const int number = errno;
        ::unlink(to.constData());  // the source stays; no second copy is left behind
        return RuntimeError{number, source};
    }
    return std::nullopt;
}

}  // namespace

void MoveToTrash(const QString& path) {
    // Without its data folder, Qt's trash puts the file into "files/" below the current
    // folder and calls that a success; with the folder in place it uses the real trash.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    QString inTrash;
    if (QFile::moveToTrash(path, &inTrash) && QFileInfo(inTrash).isRelative()) {
        QFile::rename(inTrash, path);
    }
}

FreeName FindFreeName(const QString& folder, const QString& fileName,
                      const std::function<void()>& pump) {
    if (FindOnPath(folder + fileName) == 0) {
        return {fileName, std::nullopt};
    }
    QString extension = GetExtension(fileName);
    if (!extension.isEmpty()) {
        extension.prepend(u'.');
    }
    const QString base = StripExtension(fileName);
    for (int number = 1; number <= kLastNumber; ++number) {
        pump();
        const QString candidate = QStringLiteral("%1 (%2)%3").arg(base).arg(number).arg(extension);
        if (FindOnPath(folder + candidate) == 0) {
            return {candidate, std::nullopt};
        }
    }
    return {QString(), RuntimeError{kErrorNoFreeName, folder + fileName}};
}

MaybeError MoveWithoutReplacing(const QString& source, const QString& target) {
    if (::renameat2(AT_FDCWD, source.toUtf8().constData(), AT_FDCWD, target.toUtf8().constData(),
                    RENAME_NOREPLACE) == 0) {
        return std::nullopt;
    }
    int number = errno;
    if (number == EINVAL) {
        // A file system without the no-replace flag: link refuses an existing target too.
        if (::link(source.toUtf8().constData(), target.toUtf8().constData()) == 0) {
            ::unlink(source.toUtf8().constData());
            return std::nullopt;
        }
        number = errno == EPERM || errno == ENOTSUP ? EXDEV : errno;
    }
    if (number == EXDEV) {
        return copyThenRemove(source, target);
    }
    return RuntimeError{number, number == EEXIST ? target : source};
}

MaybeError DisposeOf(DisposalAction action, const QString& folder, const QString& fileName,
                     const QString& destination, const std::function<void()>& pump) {
    const QString path = folder + fileName;
    switch (action) {
        case DisposalAction::Nothing:
            return std::nullopt;
        case DisposalAction::Move: {
            const FreeName free = FindFreeName(destination, fileName, pump);
            if (free.error) {
                return free.error;
            }
            return MoveWithoutReplacing(path, destination + free.name);
        }
        case DisposalAction::DeleteInBox:
            MoveToTrash(path);  // a failure is not reported: the file simply stays
            return std::nullopt;
        case DisposalAction::Delete:
            if (::unlink(path.toUtf8().constData()) != 0) {
                return RuntimeError{errno, path};
            }
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace varnelt
