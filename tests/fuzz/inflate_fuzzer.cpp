// Arbitrary bytes inflated by the archivers' inflater, in pieces the first two bytes choose, and
// by zlib in one go, as raw deflate or as a gzip member: both must pass or both fail, and a
// pass must give the same output and end at the same input byte. Output is bounded, so a
// small input cannot keep either busy.
//
// One difference is known and allowed: ISA-L builds a block's Huffman tables without checking
// that the code lengths form a complete code, where zlib refuses such a block; a stream that
// never uses the missing codes then passes with ISA-L only.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "archivers/inflate.h"

namespace {

using varnelt::archiver::DecodeStatus;
using varnelt::archiver::InflateFormat;
using varnelt::archiver::Inflater;

constexpr size_t kOutputBound = size_t{1} << 20;
constexpr std::array<size_t, 8> kPieces = {1, 2, 3, 7, 64, 1000, 4096, 65536};

struct Outcome {
    bool passed = false;
    const char* message = nullptr;  // zlib's, on failure
    size_t consumed = 0;
    std::vector<uint8_t> output;
};

Outcome byInflater(std::span<const uint8_t> input, InflateFormat format, size_t inPiece,
                   size_t outPiece) {
    Inflater inflater(format);
    Outcome outcome;
    std::vector<uint8_t> window(outPiece);
    size_t offered = inPiece;
    while (outcome.output.size() <= kOutputBound) {
        const std::span<const uint8_t> rest = input.subspan(outcome.consumed);
        const std::span<const uint8_t> piece = rest.first(std::min(offered, rest.size()));
        const auto step = inflater.decode(piece, piece.size() == rest.size(), window);
        outcome.consumed += step.consumed;
        outcome.output.insert(outcome.output.end(), window.begin(),
                              window.begin() + static_cast<ptrdiff_t>(step.produced));
        if (step.status == DecodeStatus::End) {
            outcome.passed = true;
            break;
        }
        if (step.status != DecodeStatus::More) {
            break;
        }
        if (step.consumed > 0 || step.produced > 0) {
            offered = inPiece;
        } else if (piece.size() == rest.size()) {
            break;  // the input ran out before the stream's end
        } else {
            offered += inPiece;  // a step that needs more bytes than it was given
        }
    }
    outcome.passed = outcome.passed && outcome.output.size() <= kOutputBound;
    return outcome;
}

Outcome byZlib(std::span<const uint8_t> input, InflateFormat format) {
    z_stream stream{};
    if (inflateInit2(&stream, format == InflateFormat::Gzip ? 16 + MAX_WBITS : -MAX_WBITS) !=
        Z_OK) {
        std::abort();
    }
    Outcome outcome;
    std::vector<uint8_t> window(64 * 1024);
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    while (outcome.output.size() <= kOutputBound) {
        stream.next_out = window.data();
        stream.avail_out = static_cast<uInt>(window.size());
        const int rc = inflate(&stream, Z_NO_FLUSH);
        outcome.output.insert(outcome.output.end(), window.data(), stream.next_out);
        if (rc == Z_STREAM_END) {
            outcome.passed = outcome.output.size() <= kOutputBound;
            break;
        }
        if (rc != Z_OK) {
            outcome.message = stream.msg;
            break;
        }
    }
    outcome.consumed = input.size() - stream.avail_in;
    inflateEnd(&stream);
    return outcome;
}

bool isIncompleteCode(const char* message) {
    return message != nullptr && (std::strcmp(message, "invalid code lengths set") == 0 ||
                                  std::strcmp(message, "invalid literal/lengths set") == 0 ||
                                  std::strcmp(message, "invalid distances set") == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const InflateFormat format = (data[0] & 0x80) != 0 ? InflateFormat::Gzip : InflateFormat::Raw;
    const size_t inPiece = kPieces[data[0] % kPieces.size()];
    const size_t outPiece = kPieces[data[1] % kPieces.size()];
    const std::span<const uint8_t> stream(data + 2, size - 2);
    const Outcome ours = byInflater(stream, format, inPiece, outPiece);
    const Outcome reference = byZlib(stream, format);
    if (ours.passed && !reference.passed && isIncompleteCode(reference.message)) {
        return 0;
    }
    if (ours.passed != reference.passed) {
        std::abort();
    }
    if (ours.passed && (ours.consumed != reference.consumed || ours.output != reference.output)) {
        std::abort();
    }
    return 0;
}
