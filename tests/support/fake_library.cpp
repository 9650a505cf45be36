#include "tests/support/fake_library.h"

#include <unistd.h>

#include "base/paths.h"
#include "tests/support/scratch.h"

namespace varnelt::test {

QString fakeLibraryPath() {
    return LocateOnPath(QStringLiteral("libfake_archiver.so"));
}

std::unique_ptr<ArchiverLibrary> loadFake(ArchiveFormat format) {
    return ArchiverLibrary::load(fakeLibraryPath(),
                                 QString::fromLatin1(TraitsOf(format).functionPrefix));
}

QByteArray writeFakeArchive(const QByteArray& path, const QByteArray& head,
                            const QByteArray& script) {
    // Whatever an earlier script left there (a pipe, say) is replaced.
    ::unlink(path.constData());
    ::unlink((path + ".calls").constData());
    writeNativeFile(path, head + '\n' + script + '\n');
    return path;
}

QByteArray recordedCalls(const QByteArray& archive) {
    const QByteArray calls = archive + ".calls";
    return nativeExists(calls) ? readNativeFile(calls) : QByteArray();
}

}  // namespace varnelt::test
