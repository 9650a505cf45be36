// A stage run by a decoder library with one input (liblzma, zlib, libbz2): the library is
// called until it has produced the stream's size, must then report its end without a byte
// more, and must have used its input to the last byte.
#pragma once

#include "stage.h"

namespace varnelt::archiver::sevenzip {

class DecoderStage : public Stage {
protected:
    DecoderStage(std::unique_ptr<Stage> input, uint64_t size);

    struct Step {
        size_t consumed = 0;
        size_t produced = 0;
        bool ended = false;  // the library met the end of its stream
    };
    // One call of the library. in is empty once the input has ended. Throws Fault on errors.
    virtual Step decode(std::span<const uint8_t> in, std::span<uint8_t> out) = 0;

private:
    size_t produce(std::span<uint8_t> out) final;
    void finish() final;
    Step run(std::span<uint8_t> out);

    InputWindow input_;
    bool ended_ = false;
};

}  // namespace varnelt::archiver::sevenzip
