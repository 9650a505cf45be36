// What the 7z headers describe, as the reader keeps it: the folders (coder graphs over packed
// streams, with the substreams they unpack into) and a summary of the file list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnelt::archiver::sevenzip {

// Every coder in a 7z folder has exactly one output, so a coder's index names its output too.
struct Coder {
    uint64_t method = 0;
    std::vector<uint8_t> properties;
    uint32_t numInStreams = 1;
    uint32_t firstInStream = 0;  // index of its first input among all inputs of the folder
};

// Input inStream of the folder is fed by the output of coder.
struct BindPair {
    uint32_t inStream = 0;
    uint32_t coder = 0;
};

struct PackedStream {
    uint64_t offset = 0;  // from the start of the file
    uint64_t size = 0;
    std::optional<uint32_t> crc;
};

// One file's data inside a folder's unpacked output.
struct Substream {
    uint64_t size = 0;
    std::optional<uint32_t> crc;
};

struct Folder {
    std::vector<Coder> coders;
    std::vector<BindPair> bindPairs;
    std::vector<uint32_t> packedInStreams;  // the input each packed stream feeds, in pack order
    std::vector<uint64_t> unpackSizes;      // one per coder
    std::optional<uint32_t> unpackCrc;
    uint32_t rootCoder = 0;                   // the coder whose output is the folder's output
    std::vector<PackedStream> packedStreams;  // placed in the file by the archive reader
    std::vector<Substream> substreams;

    uint32_t totalInStreams() const {
        return coders.empty() ? 0 : coders.back().firstInStream + coders.back().numInStreams;
    }
    uint64_t unpackSize() const { return unpackSizes[rootCoder]; }
};

struct StreamsInfo {
    uint64_t packPos = 0;  // from the end of the signature header
    std::vector<uint64_t> packSizes;
    std::vector<std::optional<uint32_t>> packCrcs;
    std::vector<Folder> folders;
};

// The file list is only counted and checked; of its names, only the first is decoded.
struct FilesSummary {
    uint64_t count = 0;
    uint64_t withStreams = 0;
    std::optional<std::string> firstName;  // UTF-8, "/" appended to a folder's name
    // The kEmptyStream bit field and the names as stored (empty when absent), so that a fault
    // can name the file it lies in (see dataFileLabel) without every name decoded beforehand.
    std::vector<uint8_t> emptyStreams;
    std::vector<uint8_t> names;
};

struct Header {
    StreamsInfo streams;
    FilesSummary files;
};

}  // namespace varnelt::archiver::sevenzip
