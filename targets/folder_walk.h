// Listing folders for registration. Paths are the bytes the system gives; each row carries
// its name and folder decoded beside them.
#pragma once

#include <QByteArray>
#include <QByteArrayList>

#include <optional>
#include <vector>

#include "base/runtime_error.h"
#include "targets/target_row.h"

namespace varnelt {

// Every folder below path (given without its trailing "/"), depth first, each parent before
// its children, siblings by their decoded names. Symbolic links to folders are not followed,
// so a link loop cannot trap the walk; a folder that cannot be listed is kept but not
// entered, and the walk goes on with its siblings.
QByteArrayList GetFolders(const QByteArray& path);

struct FolderListing {
    std::vector<TargetRow> rows;  // sorted by decoded name
    MaybeError error;
};

// The folder's own regular files (a link to a regular file counts as that file), without
// hidden (dot) files, sockets, pipes or devices. A folder that does not exist lists nothing;
// one that cannot be read is an error.
FolderListing ListRegularFiles(const QByteArray& folder);

// The row of one file, when it is a regular file that is not hidden.
std::optional<TargetRow> RowForFile(const QByteArray& path, MaybeError& error);

}  // namespace varnelt
