// Feeds arbitrary bytes to the 7z header parser as a header block, plain or encoded, with the
// budget a file of that size gets. Every outcome but a Fault or a parsed header is a finding.
#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>

#include "archivers/sevenzip/fault.h"
#include "archivers/sevenzip/header_parser.h"

using namespace varnelt::archiver::sevenzip;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryBudget budget = MemoryBudget::forFileSize(size);
    try {
        const auto block = parseHeaderBlock(std::span(data, size), budget);
        if (const Header* header = std::get_if<Header>(&block)) {
            // What the reader relies on later: substreams add up to their folder's output.
            for (const Folder& folder : header->streams.folders) {
                uint64_t sum = 0;
                for (const Substream& substream : folder.substreams) {
                    sum += substream.size;
                }
                if (!folder.substreams.empty() && sum != folder.unpackSize()) {
                    __builtin_trap();
                }
            }
        }
    } catch (const Fault&) {
    }
    return 0;
}
