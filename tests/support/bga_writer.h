// A writer of BGA archives (GZA, BZA) from the published layout: a chain of members, each a
// 28-byte header, the folder and file names in Shift-JIS, then the data.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

#include "tests/support/archive_makers.h"

namespace varnelt::test::bga {

inline constexpr int kHeaderSize = 28;

enum class Method { Gzip, Bzip2 };

// The header's arc type field.
enum ArcType : uint16_t { kArcByName = 0, kArcCompressed = 1, kArcStored = 2 };

struct Member {
    Method method = Method::Gzip;
    QByteArray folder;  // as stored: "\" separators and a final "\", or empty
    QByteArray file;
    QByteArray data;  // the original bytes
    // False writes data as it is, whatever arcType says, so tests can make both agree or not.
    bool compress = true;
    uint16_t arcType = kArcCompressed;
    uint8_t attributes = 0x20;
};

// Header bytes 4 to 27 and the names after them, each taken as a signed char.
uint32_t headerChecksum(const QByteArray& headerAndNames);
// Recomputes the checksum of the header at offset, after a test changed a field.
void resealHeader(QByteArray& archive, qsizetype offset);

QByteArray gzipMember(const QByteArray& data);
QByteArray bzip2Stream(const QByteArray& data);

// Header, names and data of one member.
QByteArray encodeMember(const Member& member);
// Offset of a member's data within its encoded bytes.
qsizetype dataOffset(const Member& member);

// The member for an entry of the makers' lists ("docs/a.txt", or "docs/" for a folder); nullopt
// when the name has no Shift-JIS form.
std::optional<Member> memberFor(const Entry& entry, Method method);

bool writeArchive(const QString& path, const QList<Member>& members);

}  // namespace varnelt::test::bga
