#include "tests/checkers/fake_library.h"

#include <QCoreApplication>
#include <QFile>

#include "app/paths.h"

namespace varnelt::test {

QString fakeLibraryPath() {
    return LocateOnPath(QStringLiteral("libfake_archiver.so"));
}

std::unique_ptr<ArchiverLibrary> loadFake(ArchiveFormat format) {
    return ArchiverLibrary::load(fakeLibraryPath(),
                                 QString::fromLatin1(TraitsOf(format).functionPrefix));
}

QString writeFakeArchive(const ScratchDir& scratch, const QString& name, const QByteArray& head,
                         const QByteArray& script) {
    const QString path = scratch.path(name);
    QFile::remove(path + QStringLiteral(".calls"));
    writeFile(path, head + '\n' + script + '\n');
    return path;
}

QByteArray recordedCalls(const QString& archive) {
    QFile file(archive + QStringLiteral(".calls"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace varnelt::test
