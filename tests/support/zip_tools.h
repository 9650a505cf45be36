// ZIP archives by the packaged tools with chosen switches, beyond makeZip.
#pragma once

#include <QString>
#include <QStringList>

#include "tests/support/archive_makers.h"

namespace varnelt::test {

// `zip -q -X` with further switches, the entries staged and added in order.
bool makeZipWith(const QString& archive, const EntryList& entries, const QStringList& switches);
// `7zz a -tzip` with further switches (-mm=Deflate64, say).
bool makeSevenZipZip(const QString& archive, const EntryList& entries, const QStringList& switches);
// `bsdtar --format zip`: data descriptors after every file.
bool makeBsdtarZip(const QString& archive, const EntryList& entries);

}  // namespace varnelt::test
