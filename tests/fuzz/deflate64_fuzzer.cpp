// Feeds arbitrary bytes to the Deflate64 decoder twice: whole, and in pieces of input and
// output whose sizes the first byte chooses. Both runs must end alike, with the same output;
// the output is bounded so that long matches cannot make a run slow.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "archivers/deflate64.h"

namespace {

using varnelt::archiver::DecodeStatus;
using varnelt::archiver::Deflate64Decoder;

constexpr uint64_t kOutputBound = uint64_t{1} << 20;

struct Outcome {
    DecodeStatus status = DecodeStatus::More;
    size_t consumed = 0;
    uint64_t produced = 0;
    uint64_t hash = 14695981039346656037u;  // FNV-1a of the output
    bool operator==(const Outcome&) const = default;
};

Outcome run(std::span<const uint8_t> input, size_t inputPiece, size_t outputPiece) {
    Deflate64Decoder decoder;
    std::vector<uint8_t> output(outputPiece);
    Outcome outcome;
    size_t offered = inputPiece;
    while (outcome.produced < kOutputBound) {
        const size_t count = std::min(offered, input.size() - outcome.consumed);
        const bool last = outcome.consumed + count == input.size();
        const auto step = decoder.decode(input.subspan(outcome.consumed, count), last, output);
        if (step.consumed > count || step.produced > output.size()) {
            __builtin_trap();
        }
        outcome.consumed += step.consumed;
        for (size_t i = 0; i < step.produced && outcome.produced < kOutputBound; ++i) {
            outcome.hash = (outcome.hash ^ output[i]) * 1099511628211u;
            ++outcome.produced;
        }
        if (step.status != DecodeStatus::More) {
            outcome.status = step.status;
            return outcome;
        }
        const bool stuck = step.consumed == 0 && step.produced == 0;
        if (stuck && last) {
            __builtin_trap();  // More after the last byte must not happen
        }
        offered = stuck ? count + 1 : inputPiece;
    }
    outcome.consumed = 0;  // where the bound cuts the input depends on the pieces
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    static constexpr size_t kOutputPieces[] = {1, 3, 300, 4096};
    const size_t inputPiece = 1 + (data[0] & 0x3F);
    const size_t outputPiece = kOutputPieces[data[0] >> 6];
    const std::span<const uint8_t> stream(data + 1, size - 1);
    if (!(run(stream, stream.size(), 65536) == run(stream, inputPiece, outputPiece))) {
        __builtin_trap();
    }
    return 0;
}
