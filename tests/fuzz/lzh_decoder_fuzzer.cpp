// Decodes arbitrary bytes as one entry's lh4-lh7 data with the program's decoder and with
// liblhasa's, up to a bound. The first byte chooses the method and the size of the pieces the
// data comes in. Both must make the same bytes until one stops; where the own decoder finds no
// damage it must stop exactly where liblhasa does, and its CRC must be that of its output.
#include <lhasa.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "archivers/crc16.h"
#include "archivers/lzh_decoder.h"

namespace {

using varnelt::archiver::LzhDecoder;
using varnelt::archiver::LzhMethod;
using varnelt::archiver::LzhOutcome;

constexpr size_t kOutputBound = size_t{1} << 20;

struct Input {
    std::span<const uint8_t> data;
    size_t piece = 0;
    size_t next = 0;

    size_t read(uint8_t* buffer, size_t size) {
        const size_t count = std::min({size, piece, data.size() - next});
        std::memcpy(buffer, data.data() + next, count);
        next += count;
        return count;
    }
};

size_t readForLhasa(void* buffer, size_t size, void* input) {
    return static_cast<Input*>(input)->read(static_cast<uint8_t*>(buffer), size);
}

struct DecoderFree {
    void operator()(LHADecoder* decoder) const { lha_decoder_free(decoder); }
};

std::vector<uint8_t> decodeWithLhasa(const char* name, std::span<const uint8_t> data) {
    char method[6];
    std::memcpy(method, name, sizeof method);
    Input input{data, data.size()};
    const std::unique_ptr<LHADecoder, DecoderFree> decoder(
        lha_decoder_new(lha_decoder_for_name(method), &readForLhasa, &input, kOutputBound));
    std::vector<uint8_t> output(kOutputBound);
    size_t length = 0;
    while (length < output.size()) {
        const size_t got =
            lha_decoder_read(decoder.get(), output.data() + length, output.size() - length);
        if (got == 0) {
            break;
        }
        length += got;
    }
    output.resize(length);
    return output;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    static constexpr struct {
        LzhMethod method;
        const char* name;
    } kMethods[] = {{LzhMethod::Lh4, "-lh4-"},
                    {LzhMethod::Lh5, "-lh5-"},
                    {LzhMethod::Lh6, "-lh6-"},
                    {LzhMethod::Lh7, "-lh7-"}};
    static constexpr size_t kPieces[] = {1, 7, 4096, 1 << 20};
    const auto& method = kMethods[data[0] & 3];
    const std::span<const uint8_t> stream(data + 1, size - 1);

    const std::vector<uint8_t> reference = decodeWithLhasa(method.name, stream);

    Input input{stream, kPieces[data[0] >> 2 & 3]};
    std::vector<uint8_t> output;
    LzhDecoder decoder;
    const auto result = decoder.decode(
        method.method,
        [&input](uint8_t* buffer, size_t count) { return input.read(buffer, count); }, kOutputBound,
        [&output](std::span<const uint8_t> piece) {
            output.insert(output.end(), piece.begin(), piece.end());
        });

    if (result.length != output.size() ||
        result.crc != varnelt::archiver::crc16(output.data(), output.size())) {
        __builtin_trap();
    }
    const size_t common = std::min(output.size(), reference.size());
    if (!std::equal(output.begin(), output.begin() + static_cast<ptrdiff_t>(common),
                    reference.begin())) {
        __builtin_trap();
    }
    // Only damage the own decoder finds may stop it before liblhasa.
    const bool sameEnd = output.size() == reference.size();
    if (result.outcome == LzhOutcome::Damaged ? output.size() > reference.size() : !sameEnd) {
        __builtin_trap();
    }
    if ((result.outcome == LzhOutcome::Done) != (output.size() == kOutputBound)) {
        __builtin_trap();
    }
    return 0;
}
