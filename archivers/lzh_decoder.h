// The LZH methods that code LZSS with static Huffman trees sent block by block: lh4, lh5 (8 KiB
// of history), lh6 (32 KiB) and lh7 (64 KiB). Every tree, length and distance the stream gives
// is checked, so damaged data ends the decoding instead of making output from nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace varnelt::archiver {

enum class LzhMethod : uint8_t { Lh4, Lh5, Lh6, Lh7 };

// The method an LZH header names ("-lh5-"), when it is one of these.
std::optional<LzhMethod> lzhMethodNamed(std::string_view name);

enum class LzhOutcome : uint8_t {
    Done,       // every byte asked for was decoded
    DataEnded,  // the compressed data ran out first
    Damaged,    // a tree, a code or a distance the stream gives cannot be
};

struct LzhResult {
    uint64_t length = 0;  // bytes decoded
    uint16_t crc = 0;     // their CRC-16
    LzhOutcome outcome = LzhOutcome::Done;
};

class LzhDecoder {
public:
    // Fills up to size bytes of buffer with compressed data; 0 once the data has run out.
    using Source = std::function<size_t(uint8_t* buffer, size_t size)>;
    // Takes each piece of output, in order.
    using Sink = std::function<void(std::span<const uint8_t>)>;

    LzhDecoder();
    ~LzhDecoder();
    LzhDecoder(const LzhDecoder&) = delete;
    LzhDecoder& operator=(const LzhDecoder&) = delete;

    // Decodes size bytes from the data source gives, fewer when the data runs out or proves
    // damaged; whatever follows them in the data is ignored. The decoder's memory is kept for
    // the next call.
    LzhResult decode(LzhMethod method, const Source& source, uint64_t size, const Sink& sink = {});

private:
    struct Workspace;
    std::unique_ptr<Workspace> workspace_;
};

}  // namespace varnelt::archiver
