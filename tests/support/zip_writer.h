// A writer of ZIP archives from the published layout, for what no packaged tool writes: data
// descriptors of every form, ZIP64 records on small archives, methods the tools lack, and
// damaged variants whose fields a test sets one by one.
#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace varnelt::test::zip {

enum class Descriptor { None, Signed32, Unsigned32, Signed64, Unsigned64 };

struct HandEntry {
    QByteArray name;
    QByteArray data;  // the entry's contents
    // 0 stores data, 8 deflates it here; for any other method packed holds the data's bytes.
    uint16_t method = 0;
    QByteArray packed;
    uint16_t flags = 0;  // bit 3 is added for a descriptor
    Descriptor descriptor = Descriptor::None;
    // Sizes and the offset through ZIP64 extra fields in both headers.
    bool zip64 = false;
    QByteArray centralExtra;  // further extra-field records of the central header
};

struct HandZipLayout {
    bool zip64End = false;  // a ZIP64 end record and locator before the end record
    QByteArray comment;
};

// The archive and where its parts are, for tests that damage them.
struct HandZip {
    QByteArray bytes;
    QList<qsizetype> localOffsets;
    QList<qsizetype> dataOffsets;
    QList<qsizetype> centralOffsets;
    qsizetype directoryOffset = 0;
    qsizetype zip64EndOffset = -1;
    qsizetype endOffset = 0;
};

HandZip writeZip(const QList<HandEntry>& entries, const HandZipLayout& layout = {});

// An extra-field record.
QByteArray extraField(uint16_t id, const QByteArray& data);
// Raw deflate, as method 8 stores it.
QByteArray rawDeflate(const QByteArray& data);
uint32_t crc32Of(const QByteArray& data);

uint16_t get16(const QByteArray& bytes, qsizetype at);
uint32_t get32(const QByteArray& bytes, qsizetype at);
void set16(QByteArray& bytes, qsizetype at, uint16_t value);
void set32(QByteArray& bytes, qsizetype at, uint32_t value);
void set64(QByteArray& bytes, qsizetype at, uint64_t value);

// Offsets of the parts of an archive written by a tool: every local and central header in
// the order of the directory, the directory and the end record. Empty lists when the archive
// has no end record.
struct ZipParts {
    QList<qsizetype> localOffsets;
    QList<qsizetype> centralOffsets;
    qsizetype directoryOffset = -1;
    qsizetype endOffset = -1;
};
ZipParts findParts(const QByteArray& archive);
// The stored bytes of the entry whose local header is at offset.
QByteArray entryBytes(const QByteArray& archive, qsizetype localOffset);

}  // namespace varnelt::test::zip
