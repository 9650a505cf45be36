// Makers of the formats read through libarchive: ZIP, 7z and tar by the packaged tools, RAR 4
// by a small writer of its published block layout, as no RAR writer is packaged.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <array>
#include <cstdint>

#include "tests/support/archive_makers.h"
#include "tests/support/scratch.h"
#include "tests/support/tool_makers.h"

namespace varnelt::test {
namespace {

QStringList entryNames(const EntryList& entries) {
    QStringList names;
    for (const Entry& entry : entries) {
        names << entry.name;
    }
    return names;
}

}  // namespace

bool makeWithTool(const QString& program, const QStringList& switches, const QString& archive,
                  const EntryList& entries) {
    QTemporaryDir staging;
    if (!staging.isValid()) {
        return false;
    }
    stageEntries(staging.path(), entries);
    const QString target = QFileInfo(archive).absoluteFilePath();
    QFile::remove(target);
    return runTool(program, switches + QStringList{target} + entryNames(entries), staging.path());
}

namespace {

bool makeTarWith(const QString& archive, const EntryList& entries, const QString& compression) {
    QStringList switches{QStringLiteral("--no-recursion"), QStringLiteral("--format=gnu")};
    if (!compression.isEmpty()) {
        switches << compression;
    }
    switches << QStringLiteral("-cf");
    return makeWithTool(QStringLiteral("tar"), switches, archive, entries);
}

// RAR 4 ------------------------------------------------------------------------------------

uint32_t crc32Of(const QByteArray& bytes) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc = table[(crc ^ static_cast<uint8_t>(byte)) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

void putLe(QByteArray& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

enum : uint8_t { kMainHead = 0x73, kFileHead = 0x74, kEndArchive = 0x7B };
enum : uint16_t {
    kLongBlock = 0x8000,       // ADD_SIZE (the packed size) follows the header
    kUnicodeName = 0x0200,     // the name is UTF-8 when it holds no NUL
    kDirectoryFlags = 0x00E0,  // dictionary bits all set: a folder
    kSkipIfUnknown = 0x4000,
};

// One block: HEAD_CRC is the low half of the CRC-32 of everything from HEAD_TYPE on.
QByteArray rarBlock(uint8_t type, uint16_t flags, const QByteArray& fields) {
    QByteArray body;
    putLe(body, type, 1);
    putLe(body, flags, 2);
    putLe(body, 2 + 1 + 2 + 2 + fields.size(), 2);
    body += fields;
    QByteArray block;
    putLe(block, crc32Of(body) & 0xFFFF, 2);
    return block + body;
}

QByteArray rarFileBlock(const Entry& entry) {
    const bool folder = entry.name.endsWith(u'/');
    QString name = entry.name;
    if (folder) {
        name.chop(1);
    }
    name.replace(u'/', u'\\');  // the format's folder separator
    const QByteArray storedName = name.toUtf8();
    uint16_t flags = kLongBlock | (folder ? kDirectoryFlags : 0);
    for (const char c : storedName) {
        if (static_cast<uint8_t>(c) >= 0x80) {
            flags |= kUnicodeName;
            break;
        }
    }
    constexpr uint32_t kDosTime = (44u << 25) | (1u << 21) | (1u << 16);  // 2024-01-01
    QByteArray fields;
    putLe(fields, entry.data.size(), 4);  // PACK_SIZE: stored, so the same
    putLe(fields, entry.data.size(), 4);  // UNP_SIZE
    putLe(fields, 2, 1);                  // HOST_OS: Windows, DOS attributes
    putLe(fields, crc32Of(entry.data), 4);
    putLe(fields, kDosTime, 4);
    putLe(fields, 20, 1);    // UNP_VER 2.0
    putLe(fields, 0x30, 1);  // METHOD: stored
    putLe(fields, storedName.size(), 2);
    putLe(fields, folder ? 0x10 : 0x20, 4);  // ATTR: directory or archive
    fields += storedName;
    return rarBlock(kFileHead, flags, fields) + entry.data;
}

}  // namespace

bool makeZip(const QString& archive, const EntryList& entries) {
    return makeWithTool(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-X")},
                        archive, entries);
}

bool makeSevenZip(const QString& archive, const EntryList& entries) {
    const QString target = QFileInfo(archive).absoluteFilePath();
    QFile::remove(target);
    // 7-Zip sorts the names of one call and adds a named folder with all it holds, so each
    // entry is staged alone and added by a call of its own. 7-Zip still lists folders first.
    for (const Entry& entry : entries) {
        QTemporaryDir staging;
        if (!staging.isValid()) {
            return false;
        }
        stageEntries(staging.path(), {entry});
        QString name = entry.name;
        if (name.endsWith(u'/')) {
            name.chop(1);
        }
        if (!runTool(QStringLiteral("7zz"),
                     {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-y"),
                      QStringLiteral("-m0=lzma2"), target, name},
                     staging.path())) {
            return false;
        }
    }
    return !entries.isEmpty();
}

bool makeTar(const QString& archive, const EntryList& entries) {
    return makeTarWith(archive, entries, {});
}

bool makeTgz(const QString& archive, const EntryList& entries) {
    return makeTarWith(archive, entries, QStringLiteral("--gzip"));
}

bool makeTbz(const QString& archive, const EntryList& entries) {
    return makeTarWith(archive, entries, QStringLiteral("--bzip2"));
}

bool makeTxz(const QString& archive, const EntryList& entries) {
    return makeTarWith(archive, entries, QStringLiteral("--xz"));
}

bool makeRar4(const QString& archive, const EntryList& entries) {
    QByteArray bytes("Rar!\x1a\x07\x00", 7);
    QByteArray mainFields;
    putLe(mainFields, 0, 2);  // RESERVED1
    putLe(mainFields, 0, 4);  // RESERVED2
    bytes += rarBlock(kMainHead, 0, mainFields);
    for (const Entry& entry : entries) {
        if (entry.data.size() > 0x7FFFFFFF) {
            return false;  // would need the HIGH_PACK_SIZE fields
        }
        bytes += rarFileBlock(entry);
    }
    bytes += rarBlock(kEndArchive, kSkipIfUnknown, {});
    try {
        writeFile(archive, bytes);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace varnelt::test
