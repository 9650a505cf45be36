// The coders this reader decodes, each as a stage over the stage(s) feeding it. size is the
// coder's output size from the header.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "model.h"
#include "stage.h"

namespace varnelt::archiver::sevenzip {

// LZMA or LZMA2 under up to three liblzma filters (branch converters, Delta), decoded in one
// liblzma raw decoder.
struct LzmaChain {
    std::vector<const Coder*> filters;  // the outermost first
    const Coder* lzma = nullptr;  // nullptr: the input is stored LZMA2 chunks (storedLzma2Stage)
    uint64_t lzmaSize = 0;        // what the LZMA coder itself outputs
};
inline constexpr size_t kMaxChainFilters = 3;
std::unique_ptr<Stage> lzmaStage(std::unique_ptr<Stage> input, const LzmaChain& chain,
                                 uint64_t size);

// liblzma applies its filters only in front of LZMA or LZMA2; a stream that some other coder
// produced is handed to it as LZMA2 chunks stored uncompressed, which cost a copy and nothing
// more.
std::unique_ptr<Stage> storedLzma2Stage(std::unique_ptr<Stage> input);

std::unique_ptr<Stage> deflateStage(std::unique_ptr<Stage> input, uint64_t size);
std::unique_ptr<Stage> bzip2Stage(std::unique_ptr<Stage> input, uint64_t size);

// x86 BCJ2: the main stream, the CALL and JUMP targets, and the range-coded selector stream.
std::unique_ptr<Stage> bcj2Stage(std::array<std::unique_ptr<Stage>, 4> inputs, uint64_t size);

}  // namespace varnelt::archiver::sevenzip
