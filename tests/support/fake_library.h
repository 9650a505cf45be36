// The scriptable fake archiver library, loaded through the real binder under any prefix.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

#include "checkers/archive_checker.h"
#include "checkers/archiver_library.h"

namespace varnelt::test {

QString fakeLibraryPath();

std::unique_ptr<ArchiverLibrary> loadFake(ArchiveFormat format);

// Writes a fake archive at path (the system's bytes): its leading bytes on the first line,
// then the script. Answers the path.
QByteArray writeFakeArchive(const QByteArray& path, const QByteArray& head,
                            const QByteArray& script);

// The calls the fake recorded for an archive, one per line.
QByteArray recordedCalls(const QByteArray& archive);

}  // namespace varnelt::test
