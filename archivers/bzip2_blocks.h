// The blocks of each bzip2 stream decoded side by side. Blocks are found by their magics, each
// is decoded and checked on a thread of its own by the own block decoder (which accepts only what
// libbz2 accepts), and their output is handed on in order. A magic may also occur by chance
// inside compressed data, so a block's own decode never decides: whatever the blocks cannot
// vouch for, the stream is decoded again from its start by libbz2 alone, with the output already
// handed on skipped.
//
// The answers are those of sequentialBzip2Decoder() fed the same steps: a sequential step that
// fails drops what it produced, at most one output buffer, so that much of the output is held
// back until the blocks after it, or the stream's end, are vouched for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "bzip2_stream.h"

namespace varnelt::archiver {

// Up to length bytes of the file at offset: the count, 0 at its end, -1 when the read fails.
using Bzip2Reader = std::function<ptrdiff_t(uint8_t* buffer, size_t length, uint64_t offset)>;

// read gives the file whose bytes decode() is then fed from its first byte on; the decoder reads
// ahead with it. threads: how many blocks may be decoded at once, at least 2. nullptr when
// libbz2 cannot be set up.
std::unique_ptr<Bzip2Decoder> blockBzip2Decoder(int threads, Bzip2Reader read);

}  // namespace varnelt::archiver
