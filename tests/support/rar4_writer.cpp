#include "tests/support/rar4_writer.h"

#include <array>

namespace varnelt::test::rar4 {
namespace {

void putLe(QByteArray& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

enum : uint8_t { kMainHead = 0x73, kFileHead = 0x74, kEndArchive = 0x7B };
enum : uint8_t { kHostWindows = 2, kHostUnix = 3 };
enum : uint16_t {
    kLongBlock = 0x8000,       // ADD_SIZE (the packed size) follows the header
    kUnicodeName = 0x0200,     // the name is UTF-8 when it holds no NUL
    kDirectoryFlags = 0x00E0,  // dictionary bits all set: a folder
    kSkipIfUnknown = 0x4000,
};

// One block: HEAD_CRC is the low half of the CRC-32 of everything from HEAD_TYPE on.
QByteArray block(uint8_t type, uint16_t flags, const QByteArray& fields) {
    QByteArray body;
    putLe(body, type, 1);
    putLe(body, flags, 2);
    putLe(body, 2 + 1 + 2 + 2 + fields.size(), 2);
    body += fields;
    QByteArray out;
    putLe(out, crc32Of(body) & 0xFFFF, 2);
    return out + body;
}

QByteArray storedName(const Item& item) {
    QString name = item.name;
    if (name.endsWith(u'/')) {
        name.chop(1);
    }
    name.replace(u'/', u'\\');  // the format's folder separator
    return name.toUtf8();
}

uint32_t attributes(Kind kind, bool unixHost) {
    if (unixHost) {
        constexpr uint32_t kModes[] = {0100644, 040755, 0120777};
        return kModes[static_cast<int>(kind)];
    }
    return kind == Kind::Folder ? 0x10 : 0x20;  // directory, or archive
}

QByteArray fileBlock(const Item& item, const Options& options) {
    const QByteArray name = storedName(item);
    uint16_t flags = kLongBlock | item.flags | (item.kind == Kind::Folder ? kDirectoryFlags : 0);
    for (const char c : name) {
        if (static_cast<uint8_t>(c) >= 0x80) {
            flags |= kUnicodeName;
            break;
        }
    }
    constexpr uint32_t kDosTime = (44u << 25) | (1u << 21) | (1u << 16);  // 2024-01-01
    QByteArray fields;
    putLe(fields, item.data.size(), 4);  // PACK_SIZE: stored, so the same
    putLe(fields, item.data.size(), 4);  // UNP_SIZE
    putLe(fields, options.unixHost ? kHostUnix : kHostWindows, 1);
    putLe(fields, crc32Of(item.data), 4);
    putLe(fields, kDosTime, 4);
    putLe(fields, 20, 1);  // UNP_VER 2.0
    putLe(fields, item.method, 1);
    putLe(fields, name.size(), 2);
    putLe(fields, attributes(item.kind, options.unixHost), 4);
    fields += name;
    return block(kFileHead, flags, fields) + item.data;
}

}  // namespace

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

qsizetype fileHeaderSize(const Item& item) {
    return kFileHeaderBase + storedName(item).size();
}

Item itemFor(const Entry& entry) {
    return {entry.name, entry.data, entry.name.endsWith(u'/') ? Kind::Folder : Kind::File};
}

QByteArray archive(const QList<Item>& items, const Options& options) {
    QByteArray bytes("Rar!\x1a\x07\x00", kMarkerSize);
    QByteArray mainFields;
    putLe(mainFields, 0, 2);  // RESERVED1
    putLe(mainFields, 0, 4);  // RESERVED2
    bytes += block(kMainHead, options.mainFlags, mainFields);
    for (const Item& item : items) {
        bytes += fileBlock(item, options);
    }
    if (options.endBlock) {
        bytes += block(kEndArchive, kSkipIfUnknown, {});
    }
    return bytes;
}

}  // namespace varnelt::test::rar4
