// Registration: turns files and folders into target rows, through the extension filter.
// The caller supplies where rows go and how a long registration stays answerable. Paths are
// the bytes the system gave; the filter sees the decoded names.
#pragma once

#include <QByteArray>

#include <functional>
#include <optional>

#include "base/runtime_error.h"
#include "targets/extension_filter.h"
#include "targets/target_row.h"

namespace varnelt {

class Registrar {
public:
    struct Hooks {
        std::function<void(TargetRow&&)> addRow;
        // The filter as it stands now; nullopt when its list holds an invalid pattern.
        std::function<std::optional<ExtensionFilter>()> filter;
        // Polled after every file and every subfolder.
        std::function<bool()> stopRequested = [] { return false; };
        // Lets the caller keep its window answerable; called after every file.
        std::function<void()> pump = [] {};
        // An error inside one file or folder's registration: reported, then the rest goes on.
        std::function<void(const RuntimeError&)> reportError;
    };

    explicit Registrar(Hooks hooks);

    // The path dispatch rule: a path ending in "/" or naming a folder is a folder, anything
    // else a file. A path that does not exist, with or without its "/", is an error
    // for the caller.
    MaybeError AddPath(const QByteArray& path, bool withSubfolders);
    // One file (ignored unless it is a regular, visible file that passes the filter).
    void AddFile(const QByteArray& path);
    // The folder's own files and, on request, those of every folder below it.
    void AddFolder(const QByteArray& folder, bool withSubfolders);

private:
    void addFilesOf(const QByteArray& folder);

    Hooks hooks_;
};

}  // namespace varnelt
