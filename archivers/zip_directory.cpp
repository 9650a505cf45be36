#include "zip_directory.h"

#include <algorithm>

#include "failure.h"
#include "range_reader.h"
#include "zip_format.h"

namespace varnelt::archiver::zip {

namespace {

// More than the largest record: 46 bytes and three fields of up to 65535.
constexpr size_t kDirectoryWindow = 256 * 1024;

int32_t damaged() {
    return failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged central directory");
}

int32_t parseRecord(std::span<const uint8_t> bytes, const DirectoryLocation& location,
                    CentralRecord& record) {
    const uint8_t* fields = bytes.data();
    record.flags = le16(fields + 8);
    record.method = le16(fields + 10);
    record.crc = le32(fields + 16);
    record.nameLength = le16(fields + 28);
    uint64_t compressed = le32(fields + 20);
    uint64_t uncompressed = le32(fields + 24);
    uint64_t offset = le32(fields + 42);
    const auto extra = bytes.subspan(kCentralHeaderSize + record.nameLength, le16(fields + 30));
    if (const auto zip64 = findExtra(extra, kExtraZip64);
        zip64 && !takeZip64Values(*zip64, {&uncompressed, &compressed, &offset})) {
        return damaged();
    }
    // The local header and the data must lie between the archive's start and the directory.
    const uint64_t headerSize = kLocalHeaderSize + record.nameLength;
    if (offset > location.start - location.base ||
        location.start - location.base - offset < headerSize ||
        location.start - location.base - offset - headerSize < compressed) {
        return damaged();
    }
    record.localOffset = offset + location.base;
    record.compressedSize = compressed;
    record.uncompressedSize = uncompressed;
    return VARNELT_ARC_OK;
}

}  // namespace

int32_t walkDirectory(const InputFile& file, const DirectoryLocation& location,
                      const RecordVisitor& visit) {
    RangeReader reader(file, location.start, location.start + location.size, kDirectoryWindow);
    uint64_t count = 0;
    while (reader.left() > 0) {
        const std::span<const uint8_t> head = reader.peek(kCentralHeaderSize);
        if (head.size() < std::min<uint64_t>(kCentralHeaderSize, reader.left())) {
            return readFailure(file);
        }
        if (head.size() >= 6 && le32(head.data()) == kDigitalSignatureSignature) {
            // The directory's signature, which may only close it.
            if (6 + uint64_t{le16(&head[4])} != reader.left()) {
                return damaged();
            }
            break;
        }
        if (head.size() < kCentralHeaderSize || le32(head.data()) != kCentralSignature) {
            return damaged();
        }
        const size_t recordSize =
            kCentralHeaderSize + le16(&head[28]) + le16(&head[30]) + le16(&head[32]);
        if (recordSize > reader.left()) {
            return damaged();  // runs past the directory
        }
        const std::span<const uint8_t> bytes = reader.peek(recordSize);
        if (bytes.size() < recordSize) {
            return readFailure(file);
        }
        CentralRecord record;
        record.number = count + 1;
        if (const int32_t parsed = parseRecord(bytes.first(recordSize), location, record);
            parsed != VARNELT_ARC_OK) {
            return parsed;
        }
        const int32_t visited =
            visit(record, bytes.subspan(kCentralHeaderSize, record.nameLength),
                  bytes.subspan(kCentralHeaderSize + record.nameLength, le16(&head[30])));
        if (visited != VARNELT_ARC_OK) {
            return visited;
        }
        reader.skip(recordSize);
        ++count;
    }
    // Some writers without ZIP64 keep only the low 16 bits of a larger count.
    const bool countMatches = count == location.entries || (!location.zip64 && count > 0xFFFF &&
                                                            (count & 0xFFFF) == location.entries);
    return countMatches ? VARNELT_ARC_OK : damaged();
}

int32_t assignLimits(std::vector<CentralRecord>& records, uint64_t directoryStart) {
    std::sort(records.begin(), records.end(), [](const CentralRecord& a, const CentralRecord& b) {
        return a.localOffset < b.localOffset;
    });
    for (size_t i = 0; i < records.size(); ++i) {
        CentralRecord& record = records[i];
        const uint64_t next = i + 1 < records.size() ? records[i + 1].localOffset : directoryStart;
        // walkDirectory made sure that this sum stays below the directory's start.
        const uint64_t leastEnd =
            record.localOffset + kLocalHeaderSize + record.nameLength + record.compressedSize;
        if (leastEnd > next) {
            return failWith(VARNELT_ARC_ERROR_HEADER_BROKEN,
                            inEntry("data overlaps the next entry", record.name, record.number));
        }
        record.limit = next;
    }
    return VARNELT_ARC_OK;
}

}  // namespace varnelt::archiver::zip
