#include "checkers/archiver_library.h"

#include <dlfcn.h>

namespace varnelt {

std::unique_ptr<ArchiverLibrary> ArchiverLibrary::load(const QString& fullPath,
                                                       const QString& prefix) {
    // Only ever a full path: the loader's own search could pick another file.
    if (!fullPath.startsWith(u'/')) {
        return nullptr;
    }
    void* handle = dlopen(fullPath.toUtf8().constData(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return nullptr;
    }
    std::unique_ptr<ArchiverLibrary> library(new ArchiverLibrary(handle, fullPath));
    const QByteArray symbol = prefix.toLatin1();
    library->getVersion =
        reinterpret_cast<VarneltGetVersionFn>(library->resolve(symbol + "GetVersion"));
    if (library->getVersion == nullptr) {
        return nullptr;
    }
    library->command = reinterpret_cast<VarneltCommandFn>(library->resolve(symbol));
    library->checkArchive =
        reinterpret_cast<VarneltCheckArchiveFn>(library->resolve(symbol + "CheckArchive"));
    library->getFileCount =
        reinterpret_cast<VarneltGetFileCountFn>(library->resolve(symbol + "GetFileCount"));
    library->openArchive =
        reinterpret_cast<VarneltOpenArchiveFn>(library->resolve(symbol + "OpenArchive"));
    library->findFirst =
        reinterpret_cast<VarneltFindFirstFn>(library->resolve(symbol + "FindFirst"));
    library->isSfxFile =
        reinterpret_cast<VarneltIsSFXFileFn>(library->resolve(symbol + "IsSFXFile"));
    library->closeArchive =
        reinterpret_cast<VarneltCloseArchiveFn>(library->resolve(symbol + "CloseArchive"));
    library->getLastErrorText =
        reinterpret_cast<VarneltGetLastErrorTextFn>(library->resolve(symbol + "GetLastErrorText"));
    library->setThreadCount =
        reinterpret_cast<VarneltSetThreadCountFn>(library->resolve(symbol + "SetThreadCount"));
    return library;
}

ArchiverLibrary::ArchiverLibrary(void* handle, QString path)
    : handle_(handle), path_(std::move(path)) {}

ArchiverLibrary::~ArchiverLibrary() {
    dlclose(handle_);
}

QString ArchiverLibrary::lastErrorText() const {
    if (getLastErrorText == nullptr) {
        return {};
    }
    // Reasons are short; one that is longer is cut by the library on a character boundary.
    char buffer[1024];
    buffer[0] = '\0';
    if (getLastErrorText(buffer, sizeof buffer) <= 0) {
        return {};
    }
    buffer[sizeof buffer - 1] = '\0';
    return QString::fromUtf8(buffer);
}

void* ArchiverLibrary::resolve(const QByteArray& name) const {
    return dlsym(handle_, name.constData());
}

}  // namespace varnelt
