#include "tests/support/bound_library.h"

#include "base/paths.h"

namespace varnelt::test {

BoundLibrary::BoundLibrary(const LibraryUnderTest& description)
    : description_(description),
      library_(ArchiverLibrary::load(LocateOnPath(QString::fromLatin1(description.fileName)),
                                     QString::fromLatin1(description.prefix))) {}

int32_t BoundLibrary::test(const QString& path) const {
    if (description_.testSwitches != nullptr) {
        const QByteArray line = QByteArray(description_.testSwitches) + " \"" + path.toUtf8() + '"';
        return library_->command(nullptr, line.constData(), nullptr, 0);
    }
    const int32_t answer = library_->checkArchive(path.toUtf8().constData(), 2);
    return answer == 1 || (answer == 2 && description_.secondCheckAnswerPasses) ? 0 : -1;
}

int32_t BoundLibrary::count(const QString& path) const {
    return library_->getFileCount(path.toUtf8().constData());
}

std::optional<std::string> BoundLibrary::firstName(const QString& path) const {
    VarneltArchive archive = library_->openArchive(nullptr, path.toUtf8().constData(), 0);
    if (archive == nullptr) {
        return std::nullopt;
    }
    VarneltEntryInfo info{};
    const int32_t found = library_->findFirst(archive, "*.*", &info);
    library_->closeArchive(archive);
    if (found != 0) {
        return std::nullopt;
    }
    return std::string(info.fileName);
}

std::optional<int32_t> BoundLibrary::sfxState(const QString& path) const {
    VarneltArchive archive = library_->openArchive(nullptr, path.toUtf8().constData(), 0);
    if (archive == nullptr) {
        return std::nullopt;
    }
    const int32_t state = library_->isSfxFile(archive);
    library_->closeArchive(archive);
    return state;
}

QString BoundLibrary::reason() const {
    return library_->lastErrorText();
}

void BoundLibrary::setThreads(int32_t count) const {
    if (library_->setThreadCount != nullptr) {
        library_->setThreadCount(count);
    }
}

}  // namespace varnelt::test
