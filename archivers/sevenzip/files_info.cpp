#include "files_info.h"

#include <algorithm>
#include <limits>

#include "fault.h"
#include "properties.h"

namespace varnelt::archiver::sevenzip {
namespace {

// Counts are answered as 32-bit numbers.
constexpr uint64_t kMaxFiles = std::numeric_limits<int32_t>::max();

void appendUtf8(std::string& out, uint32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | codePoint >> 6);
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | codePoint >> 12);
        out += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | codePoint >> 18);
        out += static_cast<char>(0x80 | (codePoint >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// Exactly count names, each ending in a 16-bit NUL; the first one's characters.
std::span<const uint8_t> readNames(ByteReader& record, size_t count) {
    if (record.readByte() != 0) {
        headerBroken();  // names kept in another stream: no writer does this
    }
    const std::span<const uint8_t> bytes = record.take(record.remaining());
    std::span<const uint8_t> first;
    size_t position = 0;
    for (size_t i = 0; i < count; ++i) {
        size_t end = position;
        while (end + 1 < bytes.size() && (bytes[end] | bytes[end + 1]) != 0) {
            end += 2;
        }
        if (end + 1 >= bytes.size()) {
            headerBroken();
        }
        if (i == 0) {
            first = bytes.subspan(position, end - position);
        }
        position = end + 2;
    }
    if (position != bytes.size()) {
        headerBroken();
    }
    return first;
}

// Times, attributes and start positions: which files have one, then the values.
void skipValues(ByteReader& record, size_t numFiles, size_t valueSize) {
    const BitVector defined = BitVector::readDefined(record, numFiles);
    if (record.readByte() != 0) {
        headerBroken();  // values kept in another stream
    }
    record.requireRoomFor(defined.countSet(), valueSize);
    record.take(defined.countSet() * valueSize);
}

}  // namespace

std::string utf16leToUtf8(std::span<const uint8_t> name) {
    std::string out;
    out.reserve(name.size());
    const auto unit = [&](size_t i) { return static_cast<uint32_t>(name[i] | name[i + 1] << 8); };
    for (size_t i = 0; i + 1 < name.size(); i += 2) {
        const uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < name.size()) {
            const uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
    }
    return out;
}

FilesSummary parseFilesInfo(ByteReader& reader) {
    const uint64_t numFiles = reader.readNumber();
    if (numFiles > kMaxFiles) {
        headerBroken();
    }
    const auto count = static_cast<size_t>(numFiles);
    FilesSummary summary;
    BitVector emptyStreams;
    BitVector emptyFiles;
    std::optional<std::span<const uint8_t>> firstName;
    for (uint64_t type = reader.readNumber(); type != kEnd; type = reader.readNumber()) {
        const std::span<const uint8_t> bytes = reader.take(reader.readNumber());
        ByteReader record(bytes);
        switch (type) {
            case kEmptyStream:
                emptyStreams = BitVector::read(record, count);
                summary.emptyStreams.assign(bytes.begin(), bytes.end());
                break;
            case kEmptyFile:
                emptyFiles = BitVector::read(record, emptyStreams.countSet());
                break;
            case kAnti:
                BitVector::read(record, emptyStreams.countSet());
                break;
            case kName:
                firstName = readNames(record, count);
                summary.names.assign(bytes.begin() + 1, bytes.end());  // after the external flag
                break;
            case kCTime:
            case kATime:
            case kMTime:
            case kStartPos:
                skipValues(record, count, 8);
                break;
            case kWinAttributes:
                skipValues(record, count, 4);
                break;
            default:  // padding, comments and what later writers may add
                record.take(record.remaining());
                break;
        }
        if (!record.atEnd()) {
            headerBroken();
        }
    }
    summary.count = numFiles;
    summary.withStreams = numFiles - emptyStreams.countSet();
    if (count > 0) {
        summary.firstName = firstName ? utf16leToUtf8(*firstName) : std::string();
        // A file without data that is not an empty file is a folder; it is named with a
        // trailing "/", as the listing has always shown it.
        const bool isFolder =
            emptyStreams.size() > 0 && emptyStreams[0] && !(emptyFiles.size() > 0 && emptyFiles[0]);
        if (isFolder && !summary.firstName->empty() && summary.firstName->back() != '/') {
            *summary.firstName += '/';
        }
    }
    return summary;
}

EntryLabel dataFileLabel(const FilesSummary& files, uint64_t dataIndex) {
    const BitVector empty(files.emptyStreams,
                          std::min<uint64_t>(files.count, files.emptyStreams.size() * 8));
    uint64_t file = 0;
    for (uint64_t seen = 0; file < files.count; ++file) {
        if ((file >= empty.size() || !empty[file]) && seen++ == dataIndex) {
            break;
        }
    }
    EntryLabel label{{}, file + 1};
    const std::span<const uint8_t> names(files.names);
    size_t position = 0;
    for (uint64_t i = 0; position + 1 < names.size(); ++i) {
        size_t end = position;
        while (end + 1 < names.size() && (names[end] | names[end + 1]) != 0) {
            end += 2;
        }
        if (i == file) {
            label.name = utf16leToUtf8(names.subspan(position, end - position));
            break;
        }
        position = end + 2;
    }
    return label;
}

}  // namespace varnelt::archiver::sevenzip
