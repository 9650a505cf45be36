#include "engine/make_folders.h"

#include <sys/stat.h>

#include <cerrno>

#include "base/name_decoding.h"

namespace varnelt {

MaybeError MakeFolders(const QByteArray& path, mode_t mode) {
    qsizetype slash = 0;
    do {
        slash = path.indexOf('/', slash + 1);
        const QByteArray folder = slash < 0 ? path : path.left(slash);
        if (::mkdir(folder.constData(), mode) != 0 && errno != EEXIST) {
            return RuntimeError{errno, DecodePath(folder)};
        }
    } while (slash >= 0);
    struct stat info {};
    if (stat(path.constData(), &info) != 0) {
        return RuntimeError{errno, DecodePath(path)};
    }
    if (!S_ISDIR(info.st_mode)) {
        return RuntimeError{ENOTDIR, DecodePath(path)};
    }
    return std::nullopt;
}

}  // namespace varnelt
