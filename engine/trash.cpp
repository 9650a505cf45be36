#include "engine/trash.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "base/error_catalogue.h"
#include "base/name_decoding.h"
#include "base/paths.h"
#include "base/regular_file.h"
#include "base/write_all.h"
#include "engine/file_move.h"
#include "engine/free_name.h"
#include "engine/make_folders.h"

namespace varnelt {

namespace {

// A trash folder (holding files/ and info/) and what its info files record as the original
// path: absolute in the home trash, relative to the top folder in a top-folder trash.
struct TrashPlace {
    QByteArray folder;
    QByteArray originalPath;
};

// The path without its trailing "/", except for the root itself.
QByteArray withoutSlash(const QByteArray& path) {
    return path.size() > 1 && path.endsWith('/') ? path.chopped(1) : path;
}

// The parent folder of a folder given without its trailing "/"; the root's is the root.
QByteArray parentOf(const QByteArray& folder) {
    const QByteArray parent = withoutSlash(GetParentFolder(folder));
    return parent.isEmpty() ? QByteArray("/") : parent;
}

QByteArray homeFolder() {
    const QByteArray home = qgetenv("HOME");
    if (home.startsWith('/')) {
        return home;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr) {
        return QByteArray(found->pw_dir);
    }
    return QByteArray("/");
}

// $XDG_DATA_HOME/Trash; an unset, empty or relative XDG_DATA_HOME means ~/.local/share.
QByteArray homeTrashFolder() {
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (!data.startsWith('/')) {
        data = withoutSlash(homeFolder()) + "/.local/share";
    }
    return withoutSlash(data) + "/Trash";
}

// The file system of the nearest part of the path that exists: where folders made below it
// would live.
dev_t deviceOfNearest(QByteArray path) {
    struct stat info {};
    while (stat(path.constData(), &info) != 0 && path != "/") {
        path = parentOf(path);
    }
    return info.st_dev;
}

// A folder of the user's own, made with mode 0700 when missing; a link or anything but a
// folder owned by the user is refused. 0 or the errno.
int ownFolder(const QByteArray& path) {
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        return errno;
    }
    struct stat info {};
    if (lstat(path.constData(), &info) != 0) {
        return errno;
    }
    if (!S_ISDIR(info.st_mode)) {
        return ENOTDIR;
    }
    return info.st_uid == getuid() ? 0 : EPERM;
}

// The top folder of the file system that holds folder (a real path): the highest folder
// above it, itself included, that is still on that file system.
QByteArray topFolderOf(const QByteArray& folder, dev_t device) {
    QByteArray top = folder;
    while (top != "/") {
        const QByteArray parent = parentOf(top);
        struct stat info {};
        if (stat(parent.constData(), &info) != 0 || info.st_dev != device) {
            break;
        }
        top = parent;
    }
    return top;
}

// $topdir/.Trash/$uid when $topdir/.Trash is a real folder with the sticky bit set, else
// $topdir/.Trash-$uid. The original path is recorded relative to $topdir, so that the trash
// stays right wherever the file system is mounted next.
std::optional<TrashPlace> topFolderTrash(const QByteArray& path, dev_t device,
                                         RuntimeError& error) {
    const std::unique_ptr<char, decltype(&std::free)> real(
        realpath(withoutSlash(GetParentFolder(path)).constData(), nullptr), &std::free);
    if (real == nullptr) {
        error = RuntimeError{errno, DecodePath(path)};
        return std::nullopt;
    }
    const QByteArray folder(real.get());
    const QByteArray top = topFolderOf(folder, device);
    QByteArray inside = folder.mid(top.size());
    if (inside.startsWith('/')) {
        inside.remove(0, 1);
    }
    const QByteArray name = GetFileName(path, false);
    const QByteArray original = inside.isEmpty() ? name : inside + '/' + name;

    const QByteArray base = top == "/" ? QByteArray() : top;
    const QByteArray uid = QByteArray::number(getuid());
    const QByteArray shared = base + "/.Trash";
    struct stat info {};
    if (lstat(shared.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
        (info.st_mode & S_ISVTX) != 0 && ownFolder(shared + '/' + uid) == 0) {
        return TrashPlace{shared + '/' + uid, original};
    }
    const QByteArray own = base + "/.Trash-" + uid;
    if (const int number = ownFolder(own); number != 0) {
        error = RuntimeError{number, DecodePath(own)};
        return std::nullopt;
    }
    return TrashPlace{own, original};
}

// The info file's text: the original path as percent-encoded bytes and the local time.
QByteArray trashInfo(const QByteArray& originalPath) {
    return "[Trash Info]\nPath=" + originalPath.toPercentEncoding("/") + "\nDeletionDate=" +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toUtf8() +
           '\n';
}

// Writes the info file exclusively: 0, EEXIST when the name is taken, or another errno.
int writeInfo(const QByteArray& infoPath, const QByteArray& text) {
    FileDescriptor info(
        ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (info.get() < 0) {
        return errno;
    }
    int number = WriteAll(info.get(), text);
    if (!info.close() && number == 0) {
        number = errno;
    }
    if (number != 0) {
        ::unlink(infoPath.constData());
    }
    return number;
}

Placement placeInTrash(const TrashPlace& place, const QByteArray& path) {
    const QByteArray files = place.folder + "/files";
    const QByteArray infos = place.folder + "/info";
    for (const QByteArray& folder : {files, infos}) {
        if (const int number = ownFolder(folder); number != 0) {
            return {{}, RuntimeError{number, DecodePath(folder)}};
        }
    }
    const QByteArray name = GetFileName(path, false);
    const QByteArray text = trashInfo(place.originalPath);
    for (int number = 0; number <= kLastNameNumber; ++number) {
        const QByteArray candidate = number == 0 ? name : NumberedName(name, number);
        const QByteArray infoPath = infos + '/' + candidate + ".trashinfo";
        const int written = writeInfo(infoPath, text);
        if (written == EEXIST) {
            continue;
        }
        if (written != 0) {
            return {{}, RuntimeError{written, DecodePath(infoPath)}};
        }
        const QByteArray placed = files + '/' + candidate;
        const int renamed = RenameWithoutReplacing(path, placed);
        if (renamed == 0) {
            return {placed, std::nullopt};
        }
        ::unlink(infoPath.constData());
        // A file left in files/ without its info file keeps its name.
        if (renamed != EEXIST) {
            return {{}, RuntimeError{renamed, DecodePath(path)}};
        }
    }
    return {{}, RuntimeError{kErrorNoFreeName, DecodePath(path)}};
}

}  // namespace

Placement MoveToTrash(const QByteArray& path) {
    struct stat file {};
    if (lstat(path.constData(), &file) != 0) {
        return {{}, RuntimeError{errno, DecodePath(path)}};
    }
    const QByteArray home = homeTrashFolder();
    if (deviceOfNearest(home) == file.st_dev) {
        if (MaybeError error = MakeFolders(home, 0700)) {
            return {{}, std::move(error)};
        }
        return placeInTrash({home, path}, path);
    }
    RuntimeError error;
    const std::optional<TrashPlace> place = topFolderTrash(path, file.st_dev, error);
    if (!place) {
        return {{}, error};
    }
    return placeInTrash(*place, path);
}

}  // namespace varnelt
