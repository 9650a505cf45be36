// A writer of ZIP archives from the published layout, for what no packaged tool writes: data
// descriptors of every form, ZIP64 records on small archives, methods the tools lack, and
// damaged variants whose fields a test sets one by one.
#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <utility>

namespace varnelt::test::zip {

enum class Descriptor { None, Signed32, Unsigned32, Signed64, Unsigned64 };

struct HandEntry {
    // 0 stores data, 8 deflates it here; any other method needs withPacked.
    HandEntry(QByteArray entryName, QByteArray entryData, uint16_t entryMethod = 0)
        : name(std::move(entryName)), data(std::move(entryData)), method(entryMethod) {}
    // The bytes written as the entry's data instead of those the method makes.
    HandEntry& withPacked(QByteArray bytes) {
        packed = std::move(bytes);
        return *this;
    }
    HandEntry& withFlags(uint16_t value) {
        flags = value;
        return *this;
    }
    HandEntry& withDescriptor(Descriptor form) {
        descriptor = form;
        return *this;
    }
    // Sizes and the offset through ZIP64 extra fields in both headers.
    HandEntry& withZip64() {
        zip64 = true;
        return *this;
    }
    // A further extra-field record in the central header.
    HandEntry& withCentralExtra(QByteArray extra) {
        centralExtra = std::move(extra);
        return *this;
    }

    QByteArray name;
    QByteArray data;  // the entry's contents
    uint16_t method;
    QByteArray packed;
    uint16_t flags = 0;  // bit 3 is added for a descriptor
    Descriptor descriptor = Descriptor::None;
    bool zip64 = false;
    QByteArray centralExtra;
};

enum class EndRecords { Plain, Zip64 };  // Zip64: a ZIP64 end record and locator too

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

HandZip writeZip(const QList<HandEntry>& entries, EndRecords ends = EndRecords::Plain,
                 const QByteArray& comment = {});

// An end record without ZIP64 markers.
QByteArray endRecord(uint16_t entries, uint32_t directorySize, uint32_t directoryOffset,
                     const QByteArray& comment = {});
// A ZIP64 end record, to be put at recordOffset, and its locator. version2 holds the fields
// of the record's second version (compression and encryption of the directory), which ask for
// version 6.2 to read it.
QByteArray zip64EndRecords(uint64_t entries, uint64_t directorySize, uint64_t directoryOffset,
                           uint64_t recordOffset, const QByteArray& version2 = {});
// An extra-field record.
QByteArray extraField(uint16_t id, const QByteArray& data);
// Raw deflate, as method 8 stores it.
QByteArray rawDeflate(const QByteArray& data);
uint32_t crc32Of(const QByteArray& data);

void append16(QByteArray& out, uint16_t value);
void append32(QByteArray& out, uint32_t value);
void append64(QByteArray& out, uint64_t value);
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
