#include "targets/folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "app/paths.h"

namespace varnelt {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

QString formatModified(const struct stat& info) {
    return QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec)
        .toString(QStringLiteral("yyyy/MM/dd HH:mm"));
}

bool nameOrder(const QString& a, const QString& b) {
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

// The entries of a folder, "." and ".." left out; errno set when it cannot be read.
struct Entries {
    std::vector<QByteArray> names;
    int error = 0;
};

Entries readEntries(const QByteArray& folder, DirHandle& dir) {
    Entries entries;
    dir.reset(opendir(folder.constData()));
    if (!dir) {
        entries.error = errno;
        return entries;
    }
    errno = 0;
    while (const dirent* entry = readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..") {
            entries.names.push_back(name);
        }
        errno = 0;
    }
    entries.error = errno;
    return entries;
}

void collectSubFolders(const QString& folder, QStringList& out) {
    DirHandle dir;
    // The root is carried as an empty text so that children join as "/name".
    const Entries entries = readEntries(folder.isEmpty() ? QByteArray("/") : folder.toUtf8(), dir);
    if (!dir) {
        return;
    }
    QStringList children;
    for (const QByteArray& name : entries.names) {
        struct stat info {};
        // No link is followed: a link to a folder is not a subfolder of this tree.
        if (fstatat(dirfd(dir.get()), name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(info.st_mode)) {
            children << QString::fromUtf8(name);
        }
    }
    dir.reset();
    std::sort(children.begin(), children.end(), nameOrder);
    for (const QString& child : children) {
        const QString path = folder + u'/' + child;
        out << path;
        collectSubFolders(path, out);
    }
}

}  // namespace

QStringList GetFolders(const QString& path) {
    QStringList folders;
    collectSubFolders(path == QLatin1String("/") ? QString() : path, folders);
    return folders;
}

std::optional<TargetRow> RowForFile(const QString& path, MaybeError& error) {
    const QString name = GetFileName(path, false);
    if (name.isEmpty() || name.startsWith(u'.')) {
        return std::nullopt;
    }
    struct stat info {};
    if (stat(path.toUtf8().constData(), &info) != 0) {
        error = RuntimeError{errno, path};
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return TargetRow{name, GetParentFolder(path), static_cast<qint64>(info.st_size),
                     formatModified(info), QString()};
}

FolderListing ListRegularFiles(const QString& folder) {
    FolderListing listing;
    DirHandle dir;
    const QByteArray native = folder.toUtf8();
    const Entries entries = readEntries(native, dir);
    if (entries.error != 0 && entries.error != ENOENT && entries.error != ENOTDIR) {
        listing.error = RuntimeError{entries.error, folder};
        return listing;
    }
    if (!dir) {
        return listing;
    }
    for (const QByteArray& name : entries.names) {
        struct stat info {};
        // A link counts as what it points to; a dangling link is not a file.
        if (name.startsWith('.') || fstatat(dirfd(dir.get()), name.constData(), &info, 0) != 0 ||
            !S_ISREG(info.st_mode)) {
            continue;
        }
        listing.rows.push_back(TargetRow{QString::fromUtf8(name), folder,
                                         static_cast<qint64>(info.st_size), formatModified(info),
                                         QString()});
    }
    std::sort(listing.rows.begin(), listing.rows.end(),
              [](const TargetRow& a, const TargetRow& b) { return nameOrder(a.name, b.name); });
    return listing;
}

}  // namespace varnelt
