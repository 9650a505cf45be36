#include "engine/run_setup.h"

#include <algorithm>

namespace varnelt {

RunFile RunFileOf(const TargetRow& row) {
    return {row.nativeFolder, row.nativeName, row.name, row.size};
}

std::vector<RunFile> RunFilesOf(const std::vector<TargetRow>& rows) {
    std::vector<RunFile> files;
    files.reserve(rows.size());
    std::transform(rows.begin(), rows.end(), std::back_inserter(files), RunFileOf);
    return files;
}

std::vector<worker::LibraryEntry> EnabledLibraries(const ArchiverSet& archivers,
                                                   const std::vector<ArchiveFormat>& formats) {
    std::vector<worker::LibraryEntry> libraries;
    for (const ArchiveFormat format : kAllFormats) {
        if (archivers.installed(format) &&
            std::find(formats.begin(), formats.end(), format) != formats.end()) {
            libraries.push_back({format, archivers.library(format)->path()});
        }
    }
    return libraries;
}

}  // namespace varnelt
