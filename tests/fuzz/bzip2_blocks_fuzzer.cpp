// Decodes arbitrary bytes as bzip2 streams twice, fed the way libtar32 feeds them: by libbz2
// alone, and with the blocks decoded side by side. Both must end alike, with the same code and
// reason, after handing on the same output. The first byte chooses the threads and the sizes of
// the input and output pieces; the output is bounded so that runs of repeats cannot make a run
// slow.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "archivers/bzip2_blocks.h"
#include "archivers/core/failure.h"

namespace {

using namespace varnelt::archiver;

constexpr uint64_t kOutputBound = uint64_t{8} << 20;

struct Outcome {
    Bzip2Status status = Bzip2Status::More;
    int32_t error = 0;
    std::string reason;
    uint64_t consumed = 0;
    uint64_t produced = 0;
    uint64_t hash = 14695981039346656037u;  // FNV-1a of the output
    bool operator==(const Outcome&) const = default;
};

// As tar.cpp's DecodingSource: input refilled in pieces once consumed, each stream that ends
// followed by another when a "B" comes next.
Outcome run(std::span<const uint8_t> file, int threads, size_t inputPiece, size_t outputPiece) {
    clearFailure();
    std::unique_ptr<Bzip2Decoder> decoder =
        threads == 1
            ? sequentialBzip2Decoder()
            : blockBzip2Decoder(
                  threads, [file](uint8_t* buffer, size_t length, uint64_t offset) -> ptrdiff_t {
                      if (offset >= file.size()) {
                          return 0;
                      }
                      const size_t count = std::min<size_t>(length, file.size() - offset);
                      std::memcpy(buffer, file.data() + offset, count);
                      return static_cast<ptrdiff_t>(count);
                  });
    if (!decoder) {
        __builtin_trap();
    }
    std::vector<uint8_t> output(outputPiece);
    Outcome outcome;
    uint64_t pieceEnd = 0;
    while (outcome.produced < kOutputBound) {
        if (outcome.consumed == pieceEnd && pieceEnd < file.size()) {
            pieceEnd = std::min<uint64_t>(pieceEnd + inputPiece, file.size());
        }
        const auto in = file.subspan(outcome.consumed, pieceEnd - outcome.consumed);
        const bool ended = pieceEnd == file.size();
        const Bzip2Step step = decoder->decode(in, ended, output);
        if (step.consumed > in.size() || step.produced > output.size()) {
            __builtin_trap();
        }
        outcome.consumed += step.consumed;
        for (size_t i = 0; i < step.produced && outcome.produced < kOutputBound; ++i) {
            outcome.hash = (outcome.hash ^ output[i]) * 1099511628211u;
            ++outcome.produced;
        }
        if (step.status == Bzip2Status::Failed) {
            outcome.status = step.status;
            outcome.error = step.error;
            outcome.reason = std::string(recordedReason(step.error));
            return outcome;
        }
        if (step.status == Bzip2Status::StreamEnd) {
            if (outcome.consumed == file.size() || file[outcome.consumed] != 'B') {
                outcome.status = step.status;
                return outcome;
            }
            if (!decoder->restart()) {
                __builtin_trap();
            }
        } else if (step.consumed == 0 && step.produced == 0 && ended && in.empty()) {
            __builtin_trap();  // More with nothing left to give must not happen
        }
    }
    // Where the bound cuts the output depends on the pieces each decoder hands on.
    return {Bzip2Status::More, 0, {}, 0, outcome.produced, outcome.hash};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    static constexpr size_t kInputPieces[] = {1, 7, 4096, 131072};
    static constexpr size_t kOutputPieces[] = {1, 300, 65536, 262144};
    const int threads = 2 + (data[0] & 3);
    const size_t inputPiece = kInputPieces[data[0] >> 2 & 3];
    const size_t outputPiece = kOutputPieces[data[0] >> 4 & 3];
    const std::span<const uint8_t> file(data + 1, size - 1);
    if (!(run(file, 1, inputPiece, outputPiece) == run(file, threads, inputPiece, outputPiece))) {
        __builtin_trap();
    }
    return 0;
}
