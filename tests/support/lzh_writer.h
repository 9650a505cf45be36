// LZH archives for tests beyond makeLzh: jlha with chosen switches, and level-0 archives
// written by hand for what jlha never writes (LArc and PMarc methods, unknown methods,
// names kept exactly as given).
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

#include "tests/support/archive_makers.h"

namespace varnelt::test {

// makeLzh with further jlha switches after "ay": "z" (stored), "o5" to "o7" (method), "0" to
// "2" (header level).
bool makeLzhWith(const QString& archive, const EntryList& entries, const QString& switches);

struct StoredLzhEntry {
    QByteArray method;  // "-lh0-", "-lz4-", "-pm0-": the data is stored as it is
    QByteArray name;    // raw bytes, "\" separating folders
    QByteArray data;
    // The original size field; the data's size when unset.
    std::optional<uint32_t> originalSize = std::nullopt;
};

// A level-0 archive with an end mark; names longer than 233 bytes are not allowed.
QByteArray storedLzh(const QList<StoredLzhEntry>& entries);

// The CRC-16 of LZH data and headers (polynomial 0xA001).
uint16_t lzhCrc16(const QByteArray& bytes);

}  // namespace varnelt::test
