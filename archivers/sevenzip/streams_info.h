// The streams part of a 7z header: packed streams, folders (coders and how they are bound)
// and the substreams each folder unpacks into.
#pragma once

#include "byte_reader.h"
#include "memory_budget.h"
#include "model.h"

namespace varnelt::archiver::sevenzip {

// Reads from just after a kMainStreamsInfo or kEncodedHeader identifier through its kEnd.
StreamsInfo parseStreamsInfo(ByteReader& reader, MemoryBudget& budget);

}  // namespace varnelt::archiver::sevenzip
