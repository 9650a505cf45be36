// A folder and every missing folder above it, made on the bytes of its path.
#pragma once

#include <sys/types.h>

#include <QByteArray>

#include "base/runtime_error.h"

namespace varnelt {

// Makes every missing folder of the absolute path with the given mode (less the umask). The
// error names the folder that could not be made, or the path when it is no folder.
MaybeError MakeFolders(const QByteArray& path, mode_t mode);

}  // namespace varnelt
