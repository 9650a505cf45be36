// Deflate inflated in pieces through fixed buffers: a raw stream (ZIP, 7z) or one gzip member
// with its header read and its trailer's CRC-32 and length verified. ISA-L does the work where
// the build found it, zlib otherwise; both count input and output exactly as zlib does, so a
// stream ends at the same byte whichever runs.
#pragma once

#include <memory>
#include <string>

#include "stream_decoder.h"

namespace varnelt::archiver {

enum class InflateFormat { Raw, Gzip };

class Inflater final : public StreamDecoder {
public:
    explicit Inflater(InflateFormat format);
    ~Inflater() override;
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // End once the stream (with a gzip member, its trailer) has ended, its checks passed; the
    // input not consumed then lies after it. Corrupt for invalid data, a failed check or a
    // broken header, with fault() saying which. NoMemory when the library could not start.
    DecodeStep decode(std::span<const uint8_t> input, bool lastInput,
                      std::span<uint8_t> output) override;
    // Ready for a new stream or member of the same format. False when memory ran out.
    bool reset();
    // A raw stream's history before its first byte (its last 32 KiB count), given right after
    // construction or reset(). False when the library refused it.
    bool setDictionary(std::span<const uint8_t> history);
    // Why the last step answered Corrupt, in inflateFault's words: "CRC mismatch", "size
    // mismatch", or "damaged data: " and what is wrong.
    std::string fault() const;

private:
    class Engine;
    std::unique_ptr<Engine> engine_;
};

}  // namespace varnelt::archiver
