#include "zip_entry.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <memory>

#include "failure.h"
#include "range_reader.h"
#include "stream_decoder.h"
#include "zip_codecs.h"
#include "zip_format.h"

namespace varnelt::archiver::zip {

namespace {

// Holds a local header with the longest name and extra field, and reads a small entry whole.
constexpr size_t kEntryWindow = 256 * 1024;
constexpr size_t kOutputSize = 64 * 1024;

// With bit 3 a writer may leave a local value at 0 and give it in the data descriptor;
// bsdtar, for one, leaves the CRC and the compressed size at 0 but fills in the size.
bool agrees(uint64_t local, uint64_t central, bool deferred) {
    return local == central || (deferred && local == 0);
}

constexpr const char* kDisagrees = "local header disagrees with the central directory";

int32_t checkLocalHeader(RangeReader& reader, const InputFile& file, const CentralRecord& record) {
    const std::span<const uint8_t> head = reader.peek(kLocalHeaderSize);
    if (head.size() < kLocalHeaderSize) {
        return readFailure(file);
    }
    const uint16_t flags = le16(&head[6]);
    if (le32(head.data()) != kLocalSignature || le16(&head[8]) != record.method ||
        ((flags ^ record.flags) & kFlagsThatMustAgree) != 0 ||
        le16(&head[26]) != record.nameLength) {
        return failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, kDisagrees);
    }
    const size_t headerSize = kLocalHeaderSize + record.nameLength + le16(&head[28]);
    const uint32_t crc = le32(&head[14]);
    const uint32_t compressed = le32(&head[18]);
    const uint32_t uncompressed = le32(&head[22]);
    const std::span<const uint8_t> header = reader.peek(headerSize);
    if (header.size() < headerSize) {
        return readFailure(file);
    }
    if ((flags & kFlagMaskedHeader) == 0) {
        LocalSizes sizes;
        const bool deferred = (flags & kFlagDescriptor) != 0;
        if (!resolveLocalSizes(header.subspan(kLocalHeaderSize + record.nameLength,
                                              headerSize - kLocalHeaderSize - record.nameLength),
                               compressed, uncompressed, sizes) ||
            !agrees(crc, record.crc, deferred) ||
            !agrees(sizes.compressed, record.compressedSize, deferred) ||
            !agrees(sizes.uncompressed, record.uncompressedSize, deferred)) {
            return failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, kDisagrees);
        }
    }
    reader.skip(headerSize);
    if (reader.left() < record.compressedSize) {
        // Into the next entry or the directory.
        return failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, "data overlaps what follows");
    }
    return VARNELT_ARC_OK;
}

// The descriptor after the data: with or without its signature, sizes of 4 or 8 bytes. The
// first layout whose values are the record's is taken.
int32_t checkDescriptor(RangeReader& reader, const InputFile& file, const CentralRecord& record) {
    constexpr size_t kLongest = 24;
    const std::span<const uint8_t> bytes = reader.peek(kLongest);
    if (bytes.size() < std::min<uint64_t>(kLongest, reader.left())) {
        return readFailure(file);
    }
    for (const size_t start : {size_t{4}, size_t{0}}) {
        if (start == 4 && (bytes.size() < 4 || le32(bytes.data()) != kDescriptorSignature)) {
            continue;
        }
        for (const size_t width : {size_t{4}, size_t{8}}) {
            if (bytes.size() < start + 4 + 2 * width) {
                continue;
            }
            const uint8_t* fields = bytes.data() + start;
            const uint64_t compressed = width == 4 ? le32(fields + 4) : le64(fields + 4);
            const uint64_t uncompressed =
                width == 4 ? le32(fields + 4 + width) : le64(fields + 4 + width);
            if (le32(fields) == record.crc && compressed == record.compressedSize &&
                uncompressed == record.uncompressedSize) {
                return VARNELT_ARC_OK;
            }
        }
    }
    return failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged data descriptor");
}

// Streams the compressed bytes through the decoder. The entry fails when the decoder finds the
// data invalid, stops before the compressed size is used up or needs more than it, or yields
// other than the stated size or CRC-32; decoding stops as soon as it yields more.
int32_t decodeData(RangeReader& reader, const InputFile& file, StreamDecoder& decoder,
                   const CentralRecord& record) {
    const auto output = std::make_unique_for_overwrite<uint8_t[]>(kOutputSize);
    uint64_t left = record.compressedSize;
    uint64_t produced = 0;
    uLong crc = crc32_z(0, nullptr, 0);
    size_t want = 1;
    for (;;) {
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(want, left));
        std::span<const uint8_t> input = reader.peek(wanted);
        if (input.size() < wanted) {
            return readFailure(file);
        }
        input = input.first(static_cast<size_t>(std::min<uint64_t>(input.size(), left)));
        const bool lastInput = input.size() == left;
        const DecodeStep step = decoder.decode(input, lastInput, {output.get(), kOutputSize});
        reader.skip(step.consumed);
        left -= step.consumed;
        if (step.produced > record.uncompressedSize - produced) {
            return failWith(VARNELT_ARC_ERROR_FILE_CRC, "data longer than its size");
        }
        crc = crc32_z(crc, output.get(), step.produced);
        produced += step.produced;
        switch (step.status) {
            case DecodeStatus::End:
                if (left != 0 || produced != record.uncompressedSize) {
                    return failWith(VARNELT_ARC_ERROR_FILE_CRC, "size mismatch");
                }
                return crc == record.crc ? VARNELT_ARC_OK
                                         : failWith(VARNELT_ARC_ERROR_FILE_CRC, "CRC mismatch");
            case DecodeStatus::Corrupt:
                return failWith(VARNELT_ARC_ERROR_FILE_CRC,
                                "damaged " + methodName(record.method) + " data");
            case DecodeStatus::Unsupported:
                return failWith(VARNELT_ARC_ERROR_METHOD,
                                "unsupported " + methodName(record.method) + " options");
            case DecodeStatus::NoMemory:
                return VARNELT_ARC_ERROR_ENOUGH_MEMORY;
            case DecodeStatus::More:
                break;
        }
        if (step.consumed > 0 || step.produced > 0) {
            want = 1;
        } else if (lastInput || input.size() >= reader.capacity()) {
            // The stream goes on past the entry's data.
            return failWith(VARNELT_ARC_ERROR_FILE_CRC, "compressed data ends early");
        } else {
            want = input.size() + 1;
        }
    }
}

bool isEncrypted(const CentralRecord& record) {
    return (record.flags & (kFlagEncrypted | kFlagMaskedHeader)) != 0 || record.method == kAes;
}

// testEntry, with reasons that do not name the entry yet.
int32_t checkEntry(const InputFile& file, const CentralRecord& record) {
    RangeReader reader(file, record.localOffset, record.limit, kEntryWindow);
    if (const int32_t local = checkLocalHeader(reader, file, record); local != VARNELT_ARC_OK) {
        return local;
    }
    int32_t result = VARNELT_ARC_OK;
    if (isEncrypted(record)) {
        result = failWith(VARNELT_ARC_ERROR_PASSWORD, "no password for the encrypted data");
        reader.skip(record.compressedSize);
    } else if (record.compressedSize == 0 && record.uncompressedSize == 0 && record.crc == 0) {
        // An empty entry, which some writers store under their usual method without data.
    } else if (const auto decoder = makeDecoder(record.method, record.uncompressedSize)) {
        result = decodeData(reader, file, *decoder, record);
        if (result != VARNELT_ARC_OK) {
            return result;
        }
    } else {
        result =
            failWith(VARNELT_ARC_ERROR_METHOD, "unsupported method " + methodName(record.method));
        reader.skip(record.compressedSize);
    }
    if ((record.flags & kFlagDescriptor) != 0) {
        if (const int32_t descriptor = checkDescriptor(reader, file, record);
            descriptor != VARNELT_ARC_OK) {
            return descriptor;
        }
    }
    return result;
}

}  // namespace

int32_t testEntry(const InputFile& file, const CentralRecord& record) {
    return failIn(checkEntry(file, record), record.name, record.number);
}

}  // namespace varnelt::archiver::zip
