#include "tests/support/cab_layout.h"

#include <stdexcept>

namespace varnelt::test::cab {
namespace {

constexpr qsizetype kHeaderSize = 36;
constexpr qsizetype kFolderSize = 8;

uint32_t le(const QByteArray& bytes, qsizetype at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    }
    return value;
}

void putLe(QByteArray& bytes, qsizetype at, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void appendLe(QByteArray& bytes, uint32_t value, int size) {
    bytes.append(QByteArray(size, '\0'));
    putLe(bytes, bytes.size() - size, value, size);
}

}  // namespace

qsizetype firstDataBlock(const QByteArray& cabinet) {
    return le(cabinet, kHeaderSize, 4);
}

QByteArray withFiles(const QByteArray& cabinet, const QList<FileRecord>& files) {
    if (cabinet.size() < kHeaderSize || le(cabinet, 30, 2) != 0) {
        throw std::runtime_error("not a cabinet as gcab writes it");
    }
    const int folders = static_cast<int>(le(cabinet, 26, 2));
    const qsizetype fileTable = le(cabinet, 16, 4);
    const qsizetype dataStart = firstDataBlock(cabinet);
    QByteArray table;
    for (const FileRecord& file : files) {
        appendLe(table, file.length, 4);
        appendLe(table, file.offset, 4);
        appendLe(table, file.folder, 2);
        appendLe(table, 0x5821, 2);  // 2024-01-01
        appendLe(table, 0, 2);
        appendLe(table, 0x20, 2);  // archive
        table += file.name + '\0';
    }
    QByteArray out = cabinet.left(fileTable) + table + cabinet.mid(dataStart);
    const auto shift = static_cast<uint32_t>(table.size() - (dataStart - fileTable));
    putLe(out, 8, le(cabinet, 8, 4) + shift, 4);  // cbCabinet
    putLe(out, 28, static_cast<uint32_t>(files.size()), 2);
    for (int i = 0; i < folders; ++i) {
        const qsizetype entry = kHeaderSize + i * kFolderSize;
        putLe(out, entry, le(cabinet, entry, 4) + shift, 4);
    }
    return out;
}

}  // namespace varnelt::test::cab
