#include "engine/free_name.h"

#include <sys/stat.h>

#include "base/error_catalogue.h"
#include "base/name_decoding.h"
#include "base/paths.h"

namespace varnelt {

namespace {

// A dangling link takes its name too.
bool nameTaken(const QByteArray& path) {
    struct stat info {};
    return lstat(path.constData(), &info) == 0;
}

}  // namespace

QByteArray NumberedName(const QByteArray& fileName, int number) {
    QByteArray extension = GetExtension(fileName);
    if (!extension.isEmpty()) {
        extension.prepend('.');
    }
    return StripExtension(fileName) + " (" + QByteArray::number(number) + ')' + extension;
}

FreeName FindFreeName(const QByteArray& folder, const QByteArray& fileName,
                      const std::function<void()>& pump) {
    if (!nameTaken(folder + fileName)) {
        return {fileName, std::nullopt};
    }
    for (int number = 1; number <= kLastNameNumber; ++number) {
        pump();
        const QByteArray candidate = NumberedName(fileName, number);
        if (!nameTaken(folder + candidate)) {
            return {candidate, std::nullopt};
        }
    }
    return {QByteArray(), RuntimeError{kErrorNoFreeName, DecodePath(folder + fileName)}};
}

}  // namespace varnelt
