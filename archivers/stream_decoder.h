// One compression method's decoder, fed in pieces: the caller owns the buffers, so a decoder
// works in the same fixed memory whatever the size of the data it decodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace varnelt::archiver {

enum class DecodeStatus {
    More,         // call again, with the input not consumed plus what follows, or more room
    End,          // the compressed stream ended; input not consumed is not part of it
    Corrupt,      // the input is not a valid stream of this method
    Unsupported,  // a valid stream with options this decoder cannot handle
    NoMemory,
};

struct DecodeStep {
    size_t consumed = 0;
    size_t produced = 0;
    DecodeStatus status = DecodeStatus::More;
};

class StreamDecoder {
public:
    virtual ~StreamDecoder() = default;
    // Decodes from input into output. lastInput: no input follows the bytes given. A decoder
    // may consume nothing and answer More when a step needs more bytes than it was given; the
    // caller then offers the same bytes again with more after them.
    virtual DecodeStep decode(std::span<const uint8_t> input, bool lastInput,
                              std::span<uint8_t> output) = 0;
};

}  // namespace varnelt::archiver
