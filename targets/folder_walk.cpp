#include "targets/folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "base/name_decoding.h"
#include "base/paths.h"

namespace varnelt {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

TargetRow rowOf(const QByteArray& folder, const QString& folderText, const QByteArray& name,
                const struct stat& info) {
    return TargetRow{
        DecodeName(name),
        folderText,
        static_cast<qint64>(info.st_size),
        QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec).toString(kModifiedTimeFormat),
        QString(),
        name,
        folder,
        QString(),
        static_cast<qint64>(info.st_mtim.tv_sec)};
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

void collectSubFolders(const QByteArray& folder, QByteArrayList& out) {
    DirHandle dir;
    // The root is carried as an empty path so that children join as "/name".
    const Entries entries = readEntries(folder.isEmpty() ? QByteArray("/") : folder, dir);
    if (!dir) {
        return;
    }
    // Each child beside its decoded name, which orders the siblings.
    std::vector<std::pair<QString, QByteArray>> children;
    for (const QByteArray& name : entries.names) {
        struct stat info {};
        // No link is followed: a link to a folder is not a subfolder of this tree.
        if (fstatat(dirfd(dir.get()), name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(info.st_mode)) {
            children.emplace_back(DecodeName(name), name);
        }
    }
    dir.reset();
    std::sort(children.begin(), children.end(),
              [](const auto& a, const auto& b) { return nameOrder(a.first, b.first); });
    for (const auto& child : children) {
        const QByteArray path = folder + '/' + child.second;
        out << path;
        collectSubFolders(path, out);
    }
}

}  // namespace

QByteArrayList GetFolders(const QByteArray& path) {
    QByteArrayList folders;
    collectSubFolders(path == "/" ? QByteArray() : path, folders);
    return folders;
}

std::optional<TargetRow> RowForFile(const QByteArray& path, MaybeError& error) {
    const QByteArray name = GetFileName(path, false);
    if (name.isEmpty() || name.startsWith('.')) {
        return std::nullopt;
    }
    struct stat info {};
    if (stat(path.constData(), &info) != 0) {
        error = RuntimeError{errno, DecodePath(path)};
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    const QByteArray folder = GetParentFolder(path);
    return rowOf(folder, DecodePath(folder), name, info);
}

FolderListing ListRegularFiles(const QByteArray& folder) {
    FolderListing listing;
    DirHandle dir;
    const Entries entries = readEntries(folder, dir);
    const QString folderText = DecodePath(folder);
    if (entries.error != 0 && entries.error != ENOENT && entries.error != ENOTDIR) {
        listing.error = RuntimeError{entries.error, folderText};
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
        listing.rows.push_back(rowOf(folder, folderText, name, info));
    }
    std::sort(listing.rows.begin(), listing.rows.end(),
              [](const TargetRow& a, const TargetRow& b) { return nameOrder(a.name, b.name); });
    return listing;
}

}  // namespace varnelt
