#include "targets/registrar.h"

#include <sys/stat.h>

#include <cerrno>

#include "base/error_catalogue.h"
#include "base/name_decoding.h"
#include "targets/folder_walk.h"

namespace varnelt {

Registrar::Registrar(Hooks hooks) : hooks_(std::move(hooks)) {}

MaybeError Registrar::AddPath(const QByteArray& path, bool withSubfolders) {
    struct stat info {};
    if (stat(path.constData(), &info) != 0) {
        return RuntimeError{errno, DecodePath(path)};
    }
    if (path.endsWith('/') || S_ISDIR(info.st_mode)) {
        AddFolder(path, withSubfolders);
    } else {
        AddFile(path);
    }
    return std::nullopt;
}

void Registrar::AddFile(const QByteArray& path) {
    const std::optional<ExtensionFilter> filter = hooks_.filter();
    if (!filter) {
        hooks_.reportError(RuntimeError{kErrorInvalidPattern, DecodePath(path)});
        return;
    }
    MaybeError error;
    std::optional<TargetRow> row = RowForFile(path, error);
    if (error) {
        hooks_.reportError(*error);
    } else if (row && filter->accepts(row->name)) {
        hooks_.addRow(std::move(*row));
    }
    hooks_.pump();
}

void Registrar::addFilesOf(const QByteArray& folder) {
    const std::optional<ExtensionFilter> filter = hooks_.filter();
    if (!filter) {
        hooks_.reportError(RuntimeError{kErrorInvalidPattern, DecodePath(folder)});
        return;
    }
    FolderListing listing = ListRegularFiles(folder);
    if (listing.error) {
        hooks_.reportError(*listing.error);
        return;
    }
    for (TargetRow& row : listing.rows) {
        if (filter->accepts(row.name)) {
            hooks_.addRow(std::move(row));
        }
        hooks_.pump();
        if (hooks_.stopRequested()) {
            return;
        }
    }
}

void Registrar::AddFolder(const QByteArray& folder, bool withSubfolders) {
    const QByteArray withSlash = folder.endsWith('/') ? folder : folder + '/';
    addFilesOf(withSlash);
    if (!withSubfolders || hooks_.stopRequested()) {
        return;
    }
    for (const QByteArray& subfolder : GetFolders(withSlash.chopped(1))) {
        addFilesOf(subfolder + '/');
        hooks_.pump();
        if (hooks_.stopRequested()) {
            return;
        }
    }
}

}  // namespace varnelt
