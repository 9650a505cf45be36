#include "tests/support/zip_writer.h"

#include <zlib.h>

#include <stdexcept>

namespace varnelt::test::zip {
namespace {

constexpr uint16_t kDosDate = (44 << 9) | (1 << 5) | 1;  // 2024-01-01
constexpr uint32_t kMarker = 0xFFFFFFFF;

QByteArray zip64Values(std::initializer_list<uint64_t> values) {
    QByteArray data;
    for (const uint64_t value : values) {
        append64(data, value);
    }
    return extraField(0x0001, data);
}

// What the central header repeats of an entry once its data is written.
struct Written {
    uint32_t crc = 0;
    uint64_t packedSize = 0;
    uint64_t size = 0;
    uint64_t offset = 0;
    uint16_t flags = 0;
};

void appendDescriptor(QByteArray& out, Descriptor form, const Written& entry) {
    if (form == Descriptor::Signed32 || form == Descriptor::Signed64) {
        append32(out, 0x08074b50);
    }
    append32(out, entry.crc);
    if (form == Descriptor::Signed64 || form == Descriptor::Unsigned64) {
        append64(out, entry.packedSize);
        append64(out, entry.size);
    } else {
        append32(out, static_cast<uint32_t>(entry.packedSize));
        append32(out, static_cast<uint32_t>(entry.size));
    }
}

}  // namespace

void append16(QByteArray& out, uint16_t value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8));
}

void append32(QByteArray& out, uint32_t value) {
    append16(out, static_cast<uint16_t>(value & 0xFFFF));
    append16(out, static_cast<uint16_t>(value >> 16));
}

void append64(QByteArray& out, uint64_t value) {
    append32(out, static_cast<uint32_t>(value & kMarker));
    append32(out, static_cast<uint32_t>(value >> 32));
}

QByteArray endRecord(uint16_t entries, uint32_t directorySize, uint32_t directoryOffset,
                     const QByteArray& comment) {
    QByteArray out;
    append32(out, 0x06054b50);
    append32(out, 0);  // this disk and the directory's
    append16(out, entries);
    append16(out, entries);
    append32(out, directorySize);
    append32(out, directoryOffset);
    append16(out, static_cast<uint16_t>(comment.size()));
    return out + comment;
}

QByteArray zip64EndRecords(uint64_t entries, uint64_t directorySize, uint64_t directoryOffset,
                           uint64_t recordOffset, const QByteArray& version2) {
    const uint16_t version = version2.isEmpty() ? 45 : 62;
    QByteArray out;
    append32(out, 0x06064b50);
    append64(out, 44 + static_cast<uint64_t>(version2.size()));
    append16(out, version);
    append16(out, version);
    append32(out, 0);  // this disk
    append32(out, 0);  // the directory's
    append64(out, entries);
    append64(out, entries);
    append64(out, directorySize);
    append64(out, directoryOffset);
    out += version2;
    append32(out, 0x07064b50);
    append32(out, 0);
    append64(out, recordOffset);
    append32(out, 1);
    return out;
}

QByteArray extraField(uint16_t id, const QByteArray& data) {
    QByteArray field;
    append16(field, id);
    append16(field, static_cast<uint16_t>(data.size()));
    return field + data;
}

QByteArray rawDeflate(const QByteArray& data) {
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(data.size()))),
                   '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) {
        throw std::runtime_error("deflate");
    }
    out.truncate(static_cast<qsizetype>(stream.total_out));
    return out;
}

uint32_t crc32Of(const QByteArray& data) {
    return static_cast<uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(data.constData()),
                                         static_cast<size_t>(data.size())));
}

uint16_t get16(const QByteArray& bytes, qsizetype at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) |
                                 (static_cast<uint8_t>(bytes[at + 1]) << 8));
}

uint32_t get32(const QByteArray& bytes, qsizetype at) {
    return get16(bytes, at) | (uint32_t{get16(bytes, at + 2)} << 16);
}

void set16(QByteArray& bytes, qsizetype at, uint16_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

void set32(QByteArray& bytes, qsizetype at, uint32_t value) {
    set16(bytes, at, static_cast<uint16_t>(value & 0xFFFF));
    set16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

void set64(QByteArray& bytes, qsizetype at, uint64_t value) {
    set32(bytes, at, static_cast<uint32_t>(value & kMarker));
    set32(bytes, at + 4, static_cast<uint32_t>(value >> 32));
}

HandZip writeZip(const QList<HandEntry>& entries, EndRecords ends, const QByteArray& comment) {
    HandZip zip;
    QByteArray& out = zip.bytes;
    QList<Written> written;
    for (const HandEntry& entry : entries) {
        const QByteArray packed = !entry.packed.isNull()
                                      ? entry.packed
                                      : (entry.method == 8 ? rawDeflate(entry.data) : entry.data);
        Written done{crc32Of(entry.data), static_cast<uint64_t>(packed.size()),
                     static_cast<uint64_t>(entry.data.size()), static_cast<uint64_t>(out.size()),
                     static_cast<uint16_t>(entry.flags |
                                           (entry.descriptor != Descriptor::None ? 0x0008 : 0))};
        const bool deferred = entry.descriptor != Descriptor::None;
        zip.localOffsets << out.size();
        append32(out, 0x04034b50);
        append16(out, entry.zip64 ? 45 : 20);
        append16(out, done.flags);
        append16(out, entry.method);
        append16(out, 0);
        append16(out, kDosDate);
        append32(out, deferred ? 0 : done.crc);
        const QByteArray localExtra =
            entry.zip64 ? zip64Values({deferred ? 0 : done.size, deferred ? 0 : done.packedSize})
                        : QByteArray();
        append32(out, entry.zip64 ? kMarker
                      : deferred  ? 0
                                  : static_cast<uint32_t>(done.packedSize));
        append32(out, entry.zip64 ? kMarker : deferred ? 0 : static_cast<uint32_t>(done.size));
        append16(out, static_cast<uint16_t>(entry.name.size()));
        append16(out, static_cast<uint16_t>(localExtra.size()));
        out += entry.name + localExtra;
        zip.dataOffsets << out.size();
        out += packed;
        if (deferred) {
            appendDescriptor(out, entry.descriptor, done);
        }
        written << done;
    }
    zip.directoryOffset = out.size();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const HandEntry& entry = entries[i];
        const Written& done = written[i];
        const QByteArray extra =
            (entry.zip64 ? zip64Values({done.size, done.packedSize, done.offset}) : QByteArray()) +
            entry.centralExtra;
        zip.centralOffsets << out.size();
        append32(out, 0x02014b50);
        append16(out, 0x031E);  // Unix, 3.0
        append16(out, entry.zip64 ? 45 : 20);
        append16(out, done.flags);
        append16(out, entry.method);
        append16(out, 0);
        append16(out, kDosDate);
        append32(out, done.crc);
        append32(out, entry.zip64 ? kMarker : static_cast<uint32_t>(done.packedSize));
        append32(out, entry.zip64 ? kMarker : static_cast<uint32_t>(done.size));
        append16(out, static_cast<uint16_t>(entry.name.size()));
        append16(out, static_cast<uint16_t>(extra.size()));
        append16(out, 0);  // comment
        append16(out, 0);  // disk
        append16(out, 0);  // internal attributes
        append32(out, 0100644u << 16);
        append32(out, entry.zip64 ? kMarker : static_cast<uint32_t>(done.offset));
        out += entry.name + extra;
    }
    const auto count = static_cast<uint64_t>(entries.size());
    const auto directorySize = static_cast<uint64_t>(out.size() - zip.directoryOffset);
    const auto directoryOffset = static_cast<uint64_t>(zip.directoryOffset);
    if (ends == EndRecords::Zip64) {
        zip.zip64EndOffset = out.size();
        out += zip64EndRecords(count, directorySize, directoryOffset,
                               static_cast<uint64_t>(zip.zip64EndOffset));
    }
    zip.endOffset = out.size();
    const bool marked = ends == EndRecords::Zip64;
    out += endRecord(marked ? 0xFFFF : static_cast<uint16_t>(count),
                     marked ? kMarker : static_cast<uint32_t>(directorySize),
                     marked ? kMarker : static_cast<uint32_t>(directoryOffset), comment);
    return zip;
}

ZipParts findParts(const QByteArray& archive) {
    ZipParts parts;
    const qsizetype end = archive.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0) {
        return parts;
    }
    parts.endOffset = end;
    qsizetype directory = get32(archive, end + 16);
    const qsizetype locator = end - 20;
    if (directory == kMarker && locator >= 0 && get32(archive, locator) == 0x07064b50) {
        directory = static_cast<qsizetype>(get32(archive, get32(archive, locator + 8) + 48));
    }
    parts.directoryOffset = directory;
    for (qsizetype at = directory; get32(archive, at) == 0x02014b50;) {
        const qsizetype nameLength = get16(archive, at + 28);
        const qsizetype extraLength = get16(archive, at + 30);
        qsizetype local = get32(archive, at + 42);
        if (local == kMarker) {
            // After the ZIP64 values of the marked sizes, in their record of the extra field.
            qsizetype field = at + 46 + nameLength;
            while (get16(archive, field) != 0x0001) {
                field += 4 + get16(archive, field + 2);
            }
            const qsizetype skipped = (get32(archive, at + 24) == kMarker ? 8 : 0) +
                                      (get32(archive, at + 20) == kMarker ? 8 : 0);
            local = static_cast<qsizetype>(get32(archive, field + 4 + skipped));
        }
        parts.centralOffsets << at;
        parts.localOffsets << local;
        at += 46 + nameLength + extraLength + get16(archive, at + 32);
    }
    return parts;
}

QByteArray entryBytes(const QByteArray& archive, qsizetype localOffset) {
    const qsizetype data =
        localOffset + 30 + get16(archive, localOffset + 26) + get16(archive, localOffset + 28);
    return archive.mid(data, get32(archive, localOffset + 18));
}

}  // namespace varnelt::test::zip
