#include "tests/support/sevenzip_writer.h"

#include <zlib.h>

namespace varnelt::test::sevenzip {
namespace {

constexpr int kStartHeaderSize = 32;

void putLe(QByteArray& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

uint64_t getLe(const QByteArray& bytes, int offset, int size) {
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | static_cast<uint8_t>(bytes[offset + i]);
    }
    return value;
}

uint64_t readNumber(const QByteArray& bytes, int& at) {
    const auto first = static_cast<uint8_t>(bytes[at++]);
    uint64_t value = 0;
    for (int extra = 0; extra < 8; ++extra) {
        const auto mask = static_cast<uint8_t>(0x80u >> extra);
        if ((first & mask) == 0) {
            return value | static_cast<uint64_t>(first & (mask - 1u)) << (8 * extra);
        }
        value |= static_cast<uint64_t>(static_cast<uint8_t>(bytes[at++])) << (8 * extra);
    }
    return value;
}

}  // namespace

QByteArray number(uint64_t value) {
    // The first byte's leading one bits count the little-endian bytes that follow; its
    // remaining bits hold the value's highest part.
    for (int extra = 0; extra < 8; ++extra) {
        const int highBits = 7 - extra;
        if (value >> (8 * extra) < (uint64_t{1} << highBits)) {
            QByteArray out;
            const auto lead = static_cast<uint8_t>(0xFF00u >> extra);
            out.append(static_cast<char>(lead | value >> (8 * extra)));
            putLe(out, value, extra);
            return out;
        }
    }
    QByteArray out(1, static_cast<char>(0xFF));
    putLe(out, value, 8);
    return out;
}

QByteArray le32(uint32_t value) {
    QByteArray out;
    putLe(out, value, 4);
    return out;
}

uint32_t crc32Of(const QByteArray& bytes) {
    return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()),
                                       static_cast<uInt>(bytes.size())));
}

QByteArray utf16Name(const QString& name) {
    QByteArray out;
    for (const QChar c : name) {
        putLe(out, c.unicode(), 2);
    }
    out.append(2, '\0');
    return out;
}

void fixStartHeaderCrc(QByteArray& archive) {
    const uint32_t crc = crc32Of(archive.mid(12, 20));
    archive.replace(8, 4, le32(crc));
}

QByteArray archive(const QByteArray& packed, const QByteArray& header) {
    QByteArray out("7z\xBC\xAF\x27\x1C\x00\x04", 8);
    out.append(4, '\0');  // start-header CRC, set below
    putLe(out, static_cast<uint64_t>(packed.size()), 8);
    putLe(out, static_cast<uint64_t>(header.size()), 8);
    out.append(le32(crc32Of(header)));
    fixStartHeaderCrc(out);
    return out + packed + header;
}

Split splitArchive(const QByteArray& archive) {
    const auto nextOffset = static_cast<int>(getLe(archive, 12, 8));
    const auto nextSize = static_cast<int>(getLe(archive, 20, 8));
    return {archive.mid(kStartHeaderSize, nextOffset),
            archive.mid(kStartHeaderSize + nextOffset, nextSize)};
}

QList<PackedRange> packedRanges(const QByteArray& archive) {
    const QByteArray header = splitArchive(archive).header;
    // Header, MainStreamsInfo, PackInfo: the pack position, the count, then kSize and sizes.
    if (!header.startsWith(QByteArray("\x01\x04\x06", 3))) {
        return {};
    }
    int at = 3;
    qint64 offset = kStartHeaderSize + static_cast<qint64>(readNumber(header, at));
    const uint64_t count = readNumber(header, at);
    ++at;  // kSize
    QList<PackedRange> ranges;
    for (uint64_t i = 0; i < count; ++i) {
        const auto size = static_cast<qint64>(readNumber(header, at));
        ranges.append({offset, size});
        offset += size;
    }
    return ranges;
}

QByteArray coder(uint64_t method, const QByteArray& properties) {
    QByteArray id;
    for (uint64_t rest = method; rest != 0 || id.isEmpty(); rest >>= 8) {
        id.prepend(static_cast<char>(rest & 0xFF));
    }
    QByteArray out(1, static_cast<char>(id.size() | (properties.isEmpty() ? 0 : 0x20)));
    out += id;
    if (!properties.isEmpty()) {
        out += number(static_cast<uint64_t>(properties.size())) + properties;
    }
    return out;
}

QByteArray singleFolderStreams(const QByteArray& coder, uint64_t packPos, uint64_t packSize,
                               uint64_t unpackSize, uint32_t crc) {
    QByteArray out;
    out += QByteArray("\x06", 1) + number(packPos) + number(1) + "\x09" + number(packSize);
    out += QByteArray("\x00\x07\x0B\x01\x00\x01", 6) + coder;
    out += "\x0C" + number(unpackSize) + "\x0A\x01" + le32(crc);
    out += QByteArray("\x00\x00", 2);  // ends the unpack info and the streams info
    return out;
}

QByteArray singleFolderHeader(const SingleFolder& folder) {
    QByteArray out("\x01\x04", 2);
    out += singleFolderStreams(folder.coder, 0, folder.packSize, folder.unpackSize, folder.crc);
    const QByteArray names = QByteArray(1, '\0') + utf16Name(folder.name);
    out += "\x05" + number(1) + "\x11" + number(static_cast<uint64_t>(names.size())) + names;
    out += QByteArray("\x00\x00", 2);  // ends the file list and the header
    return out;
}

}  // namespace varnelt::test::sevenzip
