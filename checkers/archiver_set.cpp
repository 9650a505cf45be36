#include "checkers/archiver_set.h"

#include <QCoreApplication>

#include <algorithm>

#include "base/paths.h"

namespace varnelt {

QString FormatLibraryVersion(int version) {
    if (version == 0) {
        return QStringLiteral("X.XX");
    }
    if (version < 0 || version > 32767) {
        return {};
    }
    return QStringLiteral("%1.%2").arg(version / 100).arg(version % 100, 2, 10, QLatin1Char('0'));
}

QString NotInstalledMark() {
    return QCoreApplication::translate("varnelt::ArchiverSet", "未導入");
}

QString FormatArchiverCaption(const QString& prefix, const QString& libraryFile, int version) {
    const QString head = prefix.leftJustified(4) + u'(' + libraryFile.leftJustified(13);
    if (version == -1) {
        return head + NotInstalledMark() + u')';
    }
    const QString number = FormatLibraryVersion(version);
    return number.isEmpty() ? QString() : head + QStringLiteral(" v") + number + u')';
}

ArchiverSet::ArchiverSet(Locate locate) : locate_(std::move(locate)) {}

ArchiverSet::ArchiverSet() : ArchiverSet(&LocateOnPath) {}

void ArchiverSet::DetectArchivers() {
    for (const ArchiveFormat format : kAllFormats) {
        const FormatTraits& traits = TraitsOf(format);
        Slot& slot = slots_[static_cast<int>(format)];
        slot = Slot{};  // unload what an earlier detection found
        const QString path = locate_(QString::fromLatin1(traits.libraryFile));
        if (path.isEmpty()) {
            continue;
        }
        slot.library = ArchiverLibrary::load(path, QString::fromLatin1(traits.functionPrefix));
        if (slot.library) {
            slot.version = static_cast<int16_t>(slot.library->getVersion() & 0xFFFF);
        }
    }
}

int ArchiverSet::version(ArchiveFormat format) const {
    return slots_[static_cast<int>(format)].version;
}

QString ArchiverSet::caption(ArchiveFormat format) const {
    const FormatTraits& traits = TraitsOf(format);
    return FormatArchiverCaption(QString::fromLatin1(traits.captionPrefix),
                                 QString::fromLatin1(traits.libraryFile), version(format));
}

bool ArchiverSet::installed(ArchiveFormat format) const {
    return library(format) != nullptr && !caption(format).contains(NotInstalledMark());
}

const ArchiverLibrary* ArchiverSet::library(ArchiveFormat format) const {
    return slots_[static_cast<int>(format)].library.get();
}

std::vector<ArchiveChecker> ArchiverSet::checkersFor(const std::vector<ArchiveFormat>& formats,
                                                     const CheckRules& rules) const {
    std::vector<ArchiveChecker> checkers;
    for (const ArchiveFormat format : kAllFormats) {
        if (installed(format) &&
            std::find(formats.begin(), formats.end(), format) != formats.end()) {
            checkers.emplace_back(TraitsOf(format), *library(format), rules);
        }
    }
    return checkers;
}

}  // namespace varnelt
