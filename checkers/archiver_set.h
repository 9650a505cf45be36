// Which archiver libraries are installed, with their versions and captions. Detection can run
// again at any time; libraries from an earlier detection are unloaded and never called again.
#pragma once

#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "checkers/archive_checker.h"
#include "checkers/archive_format.h"
#include "checkers/archiver_library.h"

namespace varnelt {

// The caption of a format's check box: prefix padded to 4, "(", the library file padded to
// 13, then "未導入)" for version -1, " vX.XX)" for 0, " v1.00)" style for 1 to 32767, and an
// empty caption for any other negative version.
// A library's version as its caption shows it: "1.00" for 100, "X.XX" for 0, and an empty
// text for a negative version or one above 32767.
QString FormatLibraryVersion(int version);

QString FormatArchiverCaption(const QString& prefix, const QString& libraryFile, int version);

// The mark of a library that is not installed, in the language in use.
QString NotInstalledMark();

class ArchiverSet {
public:
    using Locate = std::function<QString(const QString&)>;

    // Locate turns a library file name into a full path, or an empty text.
    explicit ArchiverSet(Locate locate);
    ArchiverSet();

    // Probes the nine libraries afresh.
    void DetectArchivers();

    // The version answered (low 16 bits, signed), or -1 when the library is not installed.
    int version(ArchiveFormat format) const;
    QString caption(ArchiveFormat format) const;
    bool installed(ArchiveFormat format) const;
    const ArchiverLibrary* library(ArchiveFormat format) const;

    // Checkers for the given formats that are installed, in the order of the check chain.
    std::vector<ArchiveChecker> checkersFor(const std::vector<ArchiveFormat>& formats,
                                            const CheckRules& rules) const;

private:
    struct Slot {
        std::unique_ptr<ArchiverLibrary> library;
        int version = -1;
    };
    Locate locate_;
    std::array<Slot, kFormatCount> slots_;
};

}  // namespace varnelt
