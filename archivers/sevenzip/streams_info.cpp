#include "streams_info.h"

#include <limits>

#include "fault.h"
#include "properties.h"

namespace varnelt::archiver::sevenzip {
namespace {

// Real folders have one to four coders; the limits bound what a header can make us build.
constexpr size_t kMaxCoders = 64;
constexpr size_t kMaxInStreams = 64;
// A folder's bookkeeping beyond its vectors' elements, charged to the budget up front.
constexpr uint64_t kFolderCost = sizeof(Folder) + 4 * 32;

void readPackInfo(ByteReader& reader, StreamsInfo& streams, MemoryBudget& budget) {
    streams.packPos = reader.readNumber();
    const size_t count = reader.readCount(1);
    budget.charge(count, sizeof(uint64_t) + sizeof(std::optional<uint32_t>));
    skipUntil(reader, kSize);
    streams.packSizes.resize(count);
    for (uint64_t& size : streams.packSizes) {
        size = reader.readNumber();
    }
    for (uint64_t id = reader.readNumber(); id != kEnd; id = reader.readNumber()) {
        if (id == kCrc) {
            streams.packCrcs = readDigests(reader, count);
        } else {
            skipProperty(reader);
        }
    }
    streams.packCrcs.resize(count);
}

Coder readCoder(ByteReader& reader) {
    const uint8_t flags = reader.readByte();
    const size_t idSize = flags & 0x0F;
    // 0x80 announces alternative methods, which no writer has ever used.
    if (idSize > 8 || (flags & 0xC0) != 0) {
        headerBroken();
    }
    Coder coder;
    for (const uint8_t byte : reader.take(idSize)) {
        coder.method = coder.method << 8 | byte;
    }
    if ((flags & 0x10) != 0) {
        const uint64_t inStreams = reader.readNumber();
        const uint64_t outStreams = reader.readNumber();
        if (inStreams == 0 || inStreams > kMaxInStreams || outStreams != 1) {
            headerBroken();
        }
        coder.numInStreams = static_cast<uint32_t>(inStreams);
    }
    if ((flags & 0x20) != 0) {
        const std::span<const uint8_t> properties = reader.take(reader.readNumber());
        coder.properties.assign(properties.begin(), properties.end());
    }
    return coder;
}

uint32_t readIndex(ByteReader& reader, size_t limit) {
    const uint64_t index = reader.readNumber();
    if (index >= limit) {
        headerBroken();
    }
    return static_cast<uint32_t>(index);
}

// Every input is fed exactly once, by a packed stream or by another coder; every coder but
// one feeds exactly one input; and following the feeds back from that one reaches every
// coder, so the graph is a tree and decoding it ends.
void checkCoderGraph(Folder& folder) {
    const size_t inStreams = folder.totalInStreams();
    std::vector<uint8_t> inFed(inStreams, 0);
    std::vector<int32_t> feeder(inStreams, -1);
    std::vector<uint8_t> coderFeeds(folder.coders.size(), 0);
    for (const BindPair& pair : folder.bindPairs) {
        if (inFed[pair.inStream]++ != 0 || coderFeeds[pair.coder]++ != 0) {
            headerBroken();
        }
        feeder[pair.inStream] = static_cast<int32_t>(pair.coder);
    }
    for (const uint32_t packed : folder.packedInStreams) {
        if (inFed[packed]++ != 0) {
            headerBroken();
        }
    }
    for (uint32_t coder = 0; coder < folder.coders.size(); ++coder) {
        if (coderFeeds[coder] == 0) {
            folder.rootCoder = coder;
        }
    }
    std::vector<uint8_t> reached(folder.coders.size(), 0);
    std::vector<uint32_t> pending{folder.rootCoder};
    size_t reachedCount = 0;
    while (!pending.empty()) {
        const uint32_t coder = pending.back();
        pending.pop_back();
        if (reached[coder]++ != 0) {
            headerBroken();
        }
        ++reachedCount;
        const Coder& c = folder.coders[coder];
        for (uint32_t in = c.firstInStream; in < c.firstInStream + c.numInStreams; ++in) {
            if (feeder[in] >= 0) {
                pending.push_back(static_cast<uint32_t>(feeder[in]));
            }
        }
    }
    if (reachedCount != folder.coders.size()) {
        headerBroken();
    }
}

void readFolder(ByteReader& reader, Folder& folder) {
    const size_t numCoders = reader.readCount(1);
    if (numCoders == 0 || numCoders > kMaxCoders) {
        headerBroken();
    }
    folder.coders.reserve(numCoders);
    uint32_t inStreams = 0;
    for (size_t i = 0; i < numCoders; ++i) {
        Coder coder = readCoder(reader);
        coder.firstInStream = inStreams;
        inStreams += coder.numInStreams;
        if (inStreams > kMaxInStreams) {
            headerBroken();
        }
        folder.coders.push_back(std::move(coder));
    }
    if (inStreams < numCoders) {
        headerBroken();  // no input left over for a packed stream
    }
    folder.bindPairs.resize(numCoders - 1);
    for (BindPair& pair : folder.bindPairs) {
        pair.inStream = readIndex(reader, inStreams);
        pair.coder = readIndex(reader, numCoders);
    }
    const size_t numPacked = inStreams - (numCoders - 1);
    if (numPacked == 1) {
        std::vector<uint8_t> bound(inStreams, 0);
        for (const BindPair& pair : folder.bindPairs) {
            bound[pair.inStream] = 1;
        }
        for (uint32_t in = 0; in < inStreams; ++in) {
            if (bound[in] == 0) {
                folder.packedInStreams.push_back(in);
            }
        }
    } else {
        folder.packedInStreams.resize(numPacked);
        for (uint32_t& packed : folder.packedInStreams) {
            packed = readIndex(reader, inStreams);
        }
    }
    if (folder.packedInStreams.size() != numPacked) {
        headerBroken();
    }
    checkCoderGraph(folder);
}

void readUnpackInfo(ByteReader& reader, StreamsInfo& streams, MemoryBudget& budget) {
    skipUntil(reader, kFolder);
    // A folder takes at least a coder count, a coder's flags and its unpack size.
    const size_t numFolders = reader.readCount(3);
    budget.charge(numFolders, kFolderCost);
    if (reader.readByte() != 0) {
        headerBroken();  // folders kept in another stream: no writer does this
    }
    streams.folders.resize(numFolders);
    for (Folder& folder : streams.folders) {
        readFolder(reader, folder);
    }
    skipUntil(reader, kCodersUnpackSize);
    for (Folder& folder : streams.folders) {
        folder.unpackSizes.resize(folder.coders.size());
        for (uint64_t& size : folder.unpackSizes) {
            size = reader.readNumber();
        }
    }
    for (uint64_t id = reader.readNumber(); id != kEnd; id = reader.readNumber()) {
        if (id == kCrc) {
            const auto digests = readDigests(reader, numFolders);
            for (size_t i = 0; i < numFolders; ++i) {
                streams.folders[i].unpackCrc = digests[i];
            }
        } else {
            skipProperty(reader);
        }
    }
}

// Without a SubStreamsInfo each folder holds one file, checked by the folder's own CRC.
void setSingleSubstreams(std::vector<Folder>& folders, MemoryBudget& budget) {
    budget.charge(folders.size(), sizeof(Substream));
    for (Folder& folder : folders) {
        folder.substreams = {Substream{folder.unpackSize(), folder.unpackCrc}};
    }
}

void readSubStreamsInfo(ByteReader& reader, std::vector<Folder>& folders, MemoryBudget& budget) {
    std::vector<uint64_t> counts(folders.size(), 1);
    uint64_t id = reader.readNumber();
    for (; id != kCrc && id != kSize && id != kEnd; id = reader.readNumber()) {
        if (id != kNumUnpackStream) {
            skipProperty(reader);
            continue;
        }
        for (uint64_t& count : counts) {
            count = reader.readNumber();
        }
    }
    // Every substream but a folder's last has its size stored; refuse counts whose sizes
    // the header cannot hold before allocating anything for them.
    uint64_t total = 0;
    uint64_t storedSizes = 0;
    for (const uint64_t count : counts) {
        if (count > std::numeric_limits<uint32_t>::max() - total) {
            headerBroken();
        }
        total += count;
        storedSizes += count > 1 ? count - 1 : 0;
        if (count > 1 && id != kSize) {
            headerBroken();
        }
    }
    reader.requireRoomFor(storedSizes, 1);
    budget.charge(total, sizeof(Substream));
    uint64_t digestsNeeded = 0;
    for (size_t f = 0; f < folders.size(); ++f) {
        Folder& folder = folders[f];
        folder.substreams.resize(counts[f]);
        uint64_t sum = 0;
        for (size_t s = 0; s + 1 < counts[f]; ++s) {
            const uint64_t size = reader.readNumber();
            if (size > folder.unpackSize() - sum) {
                headerBroken();
            }
            folder.substreams[s].size = size;
            sum += size;
        }
        if (counts[f] > 0) {
            folder.substreams.back().size = folder.unpackSize() - sum;
        }
        if (counts[f] == 1 && folder.unpackCrc) {
            folder.substreams[0].crc = folder.unpackCrc;
        } else {
            digestsNeeded += counts[f];
        }
    }
    if (id == kSize) {
        id = reader.readNumber();
    }
    for (; id != kEnd; id = reader.readNumber()) {
        if (id != kCrc) {
            skipProperty(reader);
            continue;
        }
        const auto digests = readDigests(reader, static_cast<size_t>(digestsNeeded));
        size_t next = 0;
        for (Folder& folder : folders) {
            if (folder.substreams.size() == 1 && folder.unpackCrc) {
                continue;
            }
            for (Substream& substream : folder.substreams) {
                substream.crc = digests[next++];
            }
        }
    }
}

}  // namespace

StreamsInfo parseStreamsInfo(ByteReader& reader, MemoryBudget& budget) {
    StreamsInfo streams;
    uint64_t id = reader.readNumber();
    if (id == kPackInfo) {
        readPackInfo(reader, streams, budget);
        id = reader.readNumber();
    }
    if (id == kUnpackInfo) {
        readUnpackInfo(reader, streams, budget);
        id = reader.readNumber();
    }
    if (id == kSubStreamsInfo) {
        readSubStreamsInfo(reader, streams.folders, budget);
        id = reader.readNumber();
    } else {
        setSingleSubstreams(streams.folders, budget);
    }
    if (id != kEnd) {
        headerBroken();
    }
    return streams;
}

}  // namespace varnelt::archiver::sevenzip
