// Seeds for the ZIP library's fuzzer and the Deflate64 decoder's: archives of every method the
// tools write, hand-made layouts and damaged variants, and raw Deflate64 streams.
#pragma once

#include <QString>

#include "tests/support/archive_makers.h"

namespace varnelt::test {

// Writes into zipFolder and deflate64Folder; answers the number of seeds it could not make.
int writeZipSeeds(const QString& zipFolder, const QString& deflate64Folder,
                  const QList<EntryList>& contents);

}  // namespace varnelt::test
