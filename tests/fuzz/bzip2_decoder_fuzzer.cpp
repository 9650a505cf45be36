// Decodes arbitrary bytes as one bzip2 block twice: by the own block decoder, and by libbz2 from
// the block framed as a stream of its own. Both must accept it with the same output, or both
// refuse it; a randomised block the own decoder refuses is left to libbz2 alone.
#include <cstddef>
#include <cstdint>
#include <span>

#include "tests/fuzz/bzip2_block_reference.h"

namespace {

using namespace varnelt::bzip2_reference;

// Output kept for the comparison; both decoders still decode to the end for the CRC.
constexpr size_t kOutputBound = size_t{1} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto framed = frameFuzzInput({data, size});
    if (!framed) {
        return 0;
    }
    static varnelt::archiver::bzip2::BlockDecoder decoder;
    const Decoded own = byOwnDecoder(decoder, framed->frame, framed->blockBits, kOutputBound);
    const Decoded reference = byLibbz2(framed->frame, kOutputBound);
    if (!agree(own, reference) && (own.good || !randomised(*framed))) {
        __builtin_trap();
    }
    return 0;
}
