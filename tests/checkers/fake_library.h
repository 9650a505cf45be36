// The scriptable fake archiver library, loaded through the real binder under any prefix.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

#include "checkers/archive_checker.h"
#include "checkers/archiver_library.h"
#include "tests/support/scratch.h"

namespace varnelt::test {

QString fakeLibraryPath();

std::unique_ptr<ArchiverLibrary> loadFake(ArchiveFormat format);

// Writes a fake archive: its leading bytes on the first line, then the script.
QString writeFakeArchive(const ScratchDir& scratch, const QString& name, const QByteArray& head,
                         const QByteArray& script);

// The calls the fake recorded for an archive, one per line.
QByteArray recordedCalls(const QString& archive);

}  // namespace varnelt::test
