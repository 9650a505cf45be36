// Parses a 7z header block: the header itself, or the streams description of the folder that
// holds it encoded. Takes bytes only, so that it can be fuzzed on its own.
#pragma once

#include <cstdint>
#include <span>
#include <variant>

#include "memory_budget.h"
#include "model.h"

namespace varnelt::archiver::sevenzip {

// A Header, or the StreamsInfo of the single folder whose output is the next header block.
// Throws Fault: HEADER_BROKEN for anything malformed or inconsistent, ENOUGH_MEMORY past the
// budget. Packed ranges are left for the caller, which knows where the file's streams lie.
std::variant<Header, StreamsInfo> parseHeaderBlock(std::span<const uint8_t> bytes,
                                                   MemoryBudget& budget);

}  // namespace varnelt::archiver::sevenzip
