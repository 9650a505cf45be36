#include "zip_end_records.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "failure.h"
#include "range_reader.h"
#include "zip_format.h"

namespace varnelt::archiver::zip {

namespace {

// The directory as the end records describe it, offsets as stored.
struct EndFields {
    uint64_t disk = 0;
    uint64_t directoryDisk = 0;
    uint64_t entriesOnDisk = 0;
    uint64_t entries = 0;
    uint64_t size = 0;
    uint64_t offset = 0;
    uint64_t directoryEnd = 0;  // where the directory must end: the first end record
    bool zip64 = false;
    bool encrypted = false;
    bool compressed = false;
};

// The end record's position: the last one whose comment ends the file, else the last whose
// comment fits in it (bsdtar pads an archive it writes to a stream with zeros).
int32_t findEndRecord(const InputFile& file, uint64_t& position,
                      std::array<uint8_t, kEndSize>& record) {
    const auto fileSize = static_cast<uint64_t>(file.size());
    if (fileSize < kEndSize) {
        return VARNELT_ARC_ERROR_NOT_ARC_FILE;
    }
    const auto tailSize =
        static_cast<size_t>(std::min<uint64_t>(fileSize, kEndSize + kMaxCommentSize));
    const uint64_t tailStart = fileSize - tailSize;
    std::vector<uint8_t> tail(tailSize);
    if (!file.readAt(tail.data(), tailSize, tailStart)) {
        return readFailure(file);
    }
    std::optional<size_t> exact;
    std::optional<size_t> fitting;
    for (size_t at = tailSize - kEndSize + 1; at-- > 0 && !exact;) {
        if (le32(&tail[at]) != kEndSignature) {
            continue;
        }
        const size_t end = at + kEndSize + le16(&tail[at + 20]);
        if (end == tailSize) {
            exact = at;
        } else if (end < tailSize && !fitting) {
            fitting = at;
        }
    }
    const std::optional<size_t> found = exact ? exact : fitting;
    if (!found) {
        return VARNELT_ARC_ERROR_NOT_ARC_FILE;
    }
    position = tailStart + *found;
    std::copy_n(tail.begin() + static_cast<ptrdiff_t>(*found), kEndSize, record.begin());
    return VARNELT_ARC_OK;
}

// The ZIP64 end record sits just before its locator. The locator's offset leaves out a stub
// that was put in front of the archive afterwards, so the record is also looked for where it
// ends at the locator.
int32_t readZip64End(const InputFile& file, const uint8_t* locator, uint64_t locatorPosition,
                     EndFields& fields) {
    if (le32(locator + 4) != 0 || le32(locator + 16) > 1) {
        return failWith(VARNELT_ARC_ERROR_NOT_SUPPORT, "part of a split archive");
    }
    const uint64_t stated = le64(locator + 8);
    std::array<uint8_t, kZip64EndSize> record{};
    std::optional<uint64_t> found;
    for (const uint64_t candidate :
         {stated, locatorPosition - std::min<uint64_t>(locatorPosition, kZip64EndSize)}) {
        if (candidate > locatorPosition || locatorPosition - candidate < kZip64EndSize) {
            continue;
        }
        if (!file.readAt(record.data(), record.size(), candidate)) {
            return readFailure(file);
        }
        const uint64_t recordSize = le64(&record[4]);
        if (le32(record.data()) == kZip64EndSignature && recordSize >= kZip64EndSize - 12 &&
            recordSize == locatorPosition - candidate - 12) {
            found = candidate;
            break;
        }
    }
    if (!found) {
        return failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged ZIP64 end record");
    }
    fields.zip64 = true;
    fields.disk = le32(&record[16]);
    fields.directoryDisk = le32(&record[20]);
    fields.entriesOnDisk = le64(&record[24]);
    fields.entries = le64(&record[32]);
    fields.size = le64(&record[40]);
    fields.offset = le64(&record[48]);
    fields.directoryEnd = *found;
    // Version 2 of the record (version needed 6.2) tells whether the directory is compressed
    // or encrypted.
    constexpr size_t kVersion2Fields = 28;
    const uint64_t recordSize = le64(&record[4]);
    if ((record[14]) >= 62 && recordSize >= kZip64EndSize - 12 + kVersion2Fields) {
        std::array<uint8_t, kVersion2Fields> version2{};
        if (!file.readAt(version2.data(), version2.size(), *found + kZip64EndSize)) {
            return readFailure(file);
        }
        fields.compressed = le16(&version2[0]) != 0;
        fields.encrypted = le16(&version2[18]) != 0;  // the encryption algorithm
    }
    return VARNELT_ARC_OK;
}

// A file that begins with an entry but has no end record was cut short: a damaged ZIP, not a
// file of another format.
bool beginsWithEntry(const InputFile& file) {
    std::array<uint8_t, 4> head{};
    return file.size() >= 4 && file.readAt(head.data(), head.size(), 0) &&
           le32(head.data()) == kLocalSignature;
}

int32_t readEndFields(const InputFile& file, EndFields& fields) {
    uint64_t position = 0;
    std::array<uint8_t, kEndSize> end{};
    if (const int32_t found = findEndRecord(file, position, end); found != VARNELT_ARC_OK) {
        if (found == VARNELT_ARC_ERROR_NOT_ARC_FILE && beginsWithEntry(file)) {
            return failWith(VARNELT_ARC_ERROR_EOF,
                            "unexpected end of archive: no end of central directory record");
        }
        return found;
    }
    fields.disk = le16(&end[4]);
    fields.directoryDisk = le16(&end[6]);
    fields.entriesOnDisk = le16(&end[8]);
    fields.entries = le16(&end[10]);
    fields.size = le32(&end[12]);
    fields.offset = le32(&end[16]);
    fields.directoryEnd = position;
    if (position < kZip64LocatorSize) {
        return VARNELT_ARC_OK;
    }
    std::array<uint8_t, kZip64LocatorSize> locator{};
    const uint64_t locatorPosition = position - kZip64LocatorSize;
    if (!file.readAt(locator.data(), locator.size(), locatorPosition)) {
        return readFailure(file);
    }
    if (le32(locator.data()) != kZip64LocatorSignature) {
        return VARNELT_ARC_OK;
    }
    return readZip64End(file, locator.data(), locatorPosition, fields);
}

bool signatureAt(const InputFile& file, uint64_t offset, uint32_t signature,
                 uint16_t* flags = nullptr) {
    std::array<uint8_t, kLocalHeaderSize> head{};
    const size_t length = flags ? kLocalHeaderSize : 4;
    const auto fileSize = static_cast<uint64_t>(file.size());
    if (fileSize < length || offset > fileSize - length ||
        !file.readAt(head.data(), length, offset) || le32(head.data()) != signature) {
        return false;
    }
    if (flags) {
        *flags = le16(&head[6]);
    }
    return true;
}

// A local header at the archive's start whose values are masked: the directory that would
// unmask them is encrypted.
bool startsWithMaskedHeader(const InputFile& file, uint64_t base) {
    uint16_t flags = 0;
    return signatureAt(file, base, kLocalSignature, &flags) && (flags & kFlagMaskedHeader) != 0;
}

}  // namespace

int32_t locateDirectory(const InputFile& file, DirectoryLocation& location) {
    EndFields fields;
    if (const int32_t read = readEndFields(file, fields); read != VARNELT_ARC_OK) {
        return read;
    }
    if (fields.disk != 0 || fields.directoryDisk != 0) {
        return failWith(VARNELT_ARC_ERROR_NOT_SUPPORT, "part of a split archive");
    }
    if (fields.encrypted) {
        location.encrypted = true;
        return VARNELT_ARC_OK;
    }
    if (fields.compressed) {
        return failWith(VARNELT_ARC_ERROR_METHOD, "compressed central directory");
    }
    // The directory ends at the end records; what lies before it beyond its stated offset is
    // a stub the offsets leave out.
    if (fields.entriesOnDisk != fields.entries || fields.size > fields.directoryEnd ||
        fields.offset > fields.directoryEnd - fields.size ||
        fields.entries > fields.size / kCentralHeaderSize) {
        return failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged end of central directory record");
    }
    uint64_t base = fields.directoryEnd - fields.size - fields.offset;
    if (startsWithMaskedHeader(file, base) || startsWithMaskedHeader(file, 0)) {
        location.encrypted = true;
        return VARNELT_ARC_OK;
    }
    // Bytes between the directory and the end records, rather than a stub, when the directory
    // starts at its stated offset.
    if (base > 0 && fields.size > 0 &&
        !signatureAt(file, fields.offset + base, kCentralSignature) &&
        signatureAt(file, fields.offset, kCentralSignature)) {
        base = 0;
    }
    location.start = fields.offset + base;
    location.size = fields.size;
    location.entries = fields.entries;
    location.base = base;
    location.zip64 = fields.zip64;
    return VARNELT_ARC_OK;
}

}  // namespace varnelt::archiver::zip
