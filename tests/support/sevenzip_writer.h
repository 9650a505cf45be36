// Hand-built 7z archives, for the faults no tool writes: a header whose fields say what a test
// needs, with every CRC around it recomputed so that only the intended fault remains. Packed
// data usually comes from an archive 7zz made (see splitArchive).
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace varnelt::test::sevenzip {

// The variable-length number of 7z headers.
QByteArray number(uint64_t value);
QByteArray le32(uint32_t value);
uint32_t crc32Of(const QByteArray& bytes);
// A name as the file list stores it: UTF-16LE, NUL-terminated.
QByteArray utf16Name(const QString& name);

// signature header + packed + header, the start header pointing at the header with its CRC.
QByteArray archive(const QByteArray& packed, const QByteArray& header);
// Recomputes the start-header CRC after a test edited the 20 bytes it covers.
void fixStartHeaderCrc(QByteArray& archive);

// An archive split in two: what lies between the signature header and the header, and
// the header itself.
struct Split {
    QByteArray packed;
    QByteArray header;
};
Split splitArchive(const QByteArray& archive);

// Where each packed stream of a 7zz-made archive with a plain header (-mhc=off) lies in the
// file, in pack order: its offset and size.
struct PackedRange {
    qint64 offset = 0;
    qint64 size = 0;
};
QList<PackedRange> packedRanges(const QByteArray& archive);

// One coder as a folder lists it: flags, method id, properties.
QByteArray coder(uint64_t method, const QByteArray& properties = {});

// A plain header for one folder of one coder over one packed stream at pack position 0,
// holding one file named name, with its CRC.
struct SingleFolder {
    QByteArray coder;
    uint64_t packSize = 0;
    uint64_t unpackSize = 0;
    uint32_t crc = 0;
    QString name = QStringLiteral("data.bin");
};
QByteArray singleFolderHeader(const SingleFolder& folder);

// The streams part shared by plain and encoded headers: one pack stream at packPos, one
// folder of one coder, its unpack size and CRC.
QByteArray singleFolderStreams(const QByteArray& coder, uint64_t packPos, uint64_t packSize,
                               uint64_t unpackSize, uint32_t crc);

}  // namespace varnelt::test::sevenzip
