#include "header_parser.h"

#include "fault.h"
#include "files_info.h"
#include "properties.h"
#include "streams_info.h"

namespace varnelt::archiver::sevenzip {
namespace {

Header parseHeader(ByteReader& reader, MemoryBudget& budget) {
    Header header;
    uint64_t id = reader.readNumber();
    if (id == kArchiveProperties) {
        while (reader.readNumber() != kEnd) {
            skipProperty(reader);
        }
        id = reader.readNumber();
    }
    if (id == kAdditionalStreamsInfo) {
        headerBroken();  // data for the header kept in extra streams: no writer does this
    }
    if (id == kMainStreamsInfo) {
        header.streams = parseStreamsInfo(reader, budget);
        id = reader.readNumber();
    }
    if (id == kFilesInfo) {
        header.files = parseFilesInfo(reader);
        id = reader.readNumber();
    }
    if (id != kEnd) {
        headerBroken();
    }
    // Files with data take the folders' substreams in order, one each.
    uint64_t substreams = 0;
    for (const Folder& folder : header.streams.folders) {
        substreams += folder.substreams.size();
    }
    if (substreams != header.files.withStreams) {
        headerBroken();
    }
    return header;
}

}  // namespace

std::variant<Header, StreamsInfo> parseHeaderBlock(std::span<const uint8_t> bytes,
                                                   MemoryBudget& budget) {
    ByteReader reader(bytes);
    const uint64_t id = reader.readNumber();
    if (id == kHeader) {
        return parseHeader(reader, budget);
    }
    if (id != kEncodedHeader) {
        headerBroken();
    }
    StreamsInfo streams = parseStreamsInfo(reader, budget);
    // The header is the output of exactly one folder, from packed streams of its own.
    if (streams.folders.size() != 1 || streams.packSizes.empty()) {
        headerBroken();
    }
    return streams;
}

}  // namespace varnelt::archiver::sevenzip
