// One archiver library bound at run time: loaded by its full path and its functions resolved
// by name (prefix + suffix, the command function under the bare prefix).
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

#include "checkers/archiver_api.h"

namespace varnelt {

class ArchiverLibrary {
public:
    // nullptr when the file cannot be loaded or lacks its version function.
    static std::unique_ptr<ArchiverLibrary> load(const QString& fullPath, const QString& prefix);

    ~ArchiverLibrary();
    ArchiverLibrary(const ArchiverLibrary&) = delete;
    ArchiverLibrary& operator=(const ArchiverLibrary&) = delete;

    const QString& path() const { return path_; }

    // Functions the library does not export are null.
    VarneltGetVersionFn getVersion = nullptr;
    VarneltCommandFn command = nullptr;
    VarneltCheckArchiveFn checkArchive = nullptr;
    VarneltGetFileCountFn getFileCount = nullptr;
    VarneltOpenArchiveFn openArchive = nullptr;
    VarneltFindFirstFn findFirst = nullptr;
    VarneltIsSFXFileFn isSfxFile = nullptr;
    VarneltCloseArchiveFn closeArchive = nullptr;
    VarneltGetLastErrorTextFn getLastErrorText = nullptr;
    VarneltSetThreadCountFn setThreadCount = nullptr;

    // Why the library's last call on this thread failed; empty when it does not say.
    QString lastErrorText() const;

private:
    ArchiverLibrary(void* handle, QString path);
    void* resolve(const QByteArray& name) const;

    void* handle_;
    QString path_;
};

}  // namespace varnelt
