#include "decoder_stage.h"

#include "fault.h"

namespace varnelt::archiver::sevenzip {
namespace {

// Large enough that the library, not the calls, sets the pace.
constexpr size_t kInputWindowSize = 256 * 1024;

}  // namespace

DecoderStage::DecoderStage(std::unique_ptr<Stage> input, uint64_t size)
    : Stage(size), input_(std::move(input), kInputWindowSize) {}

DecoderStage::Step DecoderStage::run(std::span<uint8_t> out) {
    const Step step = decode(input_.available(), out);
    input_.consume(step.consumed);
    ended_ = step.ended;
    if (!step.ended && step.consumed == 0 && step.produced == 0) {
        fail(VARNELT_ARC_ERROR_FILE_CRC, "compressed data ends early");
    }
    return step;
}

size_t DecoderStage::produce(std::span<uint8_t> out) {
    size_t produced = 0;
    while (produced == 0 && !ended_) {
        produced = run(out).produced;
    }
    return produced;
}

void DecoderStage::finish() {
    uint8_t extra = 0;
    while (!ended_) {
        if (run(std::span<uint8_t>(&extra, 1)).produced != 0) {
            fail(VARNELT_ARC_ERROR_FILE_CRC, "data longer than its size");
        }
    }
    if (!input_.exhausted()) {
        fail(VARNELT_ARC_ERROR_FILE_CRC, "data after the end of the compressed stream");
    }
}

}  // namespace varnelt::archiver::sevenzip
