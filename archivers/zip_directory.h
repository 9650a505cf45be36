// The central directory of a ZIP archive, walked record by record and checked against itself
// and the file before anything is sized from it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "input_file.h"
#include "zip_end_records.h"

namespace varnelt::archiver::zip {

// What one central record says about its entry, offsets in the file and ZIP64 values applied.
struct CentralRecord {
    uint64_t localOffset = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    // Where the entry's bytes must end: the next entry's local header or the directory. Set by
    // assignLimits.
    uint64_t limit = 0;
    uint32_t crc = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t nameLength = 0;
    uint64_t number = 0;  // the record's place in the directory, from 1
    std::string name;     // as the program shows it, for reasons; set by the test
};

// Sees each record in directory order, with its raw name and extra field; answers OK to go on.
using RecordVisitor = std::function<int32_t(
    const CentralRecord& record, std::span<const uint8_t> name, std::span<const uint8_t> extra)>;

// Walks the whole directory: every record must lie inside it, point to a local header and data
// before it, and their number must be the one the end records give. OK or an error code.
int32_t walkDirectory(const InputFile& file, const DirectoryLocation& location,
                      const RecordVisitor& visit);

// Sorts the records by their local header's offset and gives each its limit; fails when two
// entries' bytes overlap, as in an archive whose entries share their data to multiply it.
int32_t assignLimits(std::vector<CentralRecord>& records, uint64_t directoryStart);

}  // namespace varnelt::archiver::zip
