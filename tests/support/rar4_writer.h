// A writer of RAR 4 archives from the published block layout, as no RAR writer is packaged:
// the 7-byte marker, the main header, one file block per entry with the data stored as it is,
// and the end-of-archive block.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

#include "tests/support/archive_makers.h"

namespace varnelt::test::rar4 {

enum class Kind { File, Folder, Symlink };

struct Item {
    QString name;     // "/" between folders, as the makers' entries
    QByteArray data;  // a file's bytes, or a link's target
    Kind kind = Kind::File;
    // The METHOD field. The bytes are stored as they are whatever it says, as RAR does for a
    // link's target.
    uint8_t method = 0x30;
    // More HEAD_FLAGS bits: 0x0004 marks the data encrypted, 0x0010 solid with the file before.
    uint16_t flags = 0;
};

struct Options {
    // Written on Unix: HOST_OS 3 and Unix modes in the attributes, which links need. Otherwise
    // on Windows, with DOS attributes.
    bool unixHost = false;
    // RAR leaves the end-of-archive block out when asked to (-en).
    bool endBlock = true;
    // The main header's HEAD_FLAGS: 0x0008 marks a solid archive.
    uint16_t mainFlags = 0;
};

// The layout, for tests that damage a chosen place.
inline constexpr qsizetype kMarkerSize = 7;
inline constexpr qsizetype kMainHeaderSize = 13;
inline constexpr qsizetype kFileHeaderBase = 32;  // before the name
inline constexpr qsizetype kEndBlockSize = 7;
qsizetype fileHeaderSize(const Item& item);

// A file or folder item for an entry of the makers' lists ("docs/" is a folder).
Item itemFor(const Entry& entry);

QByteArray archive(const QList<Item>& items, const Options& options = {});

// The CRC-32 that RAR stores for data, and whose low half it stores for headers.
uint32_t crc32Of(const QByteArray& bytes);

}  // namespace varnelt::test::rar4
