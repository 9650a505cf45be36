// bzip2 streams decoded for libtar32, a step per call as the tar reader asks for bytes: libbz2
// in the calling thread, or (bzip2_blocks.h) the blocks of each stream side by side.
#pragma once

#include <bzlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace varnelt::archiver {

enum class Bzip2Status { More, StreamEnd, Failed };

struct Bzip2Step {
    size_t consumed = 0;
    size_t produced = 0;
    Bzip2Status status = Bzip2Status::More;
    int32_t error = 0;  // a failure's code, its reason recorded with failWith
};

class Bzip2Decoder {
public:
    virtual ~Bzip2Decoder() = default;
    // Decodes the stream's next bytes, in, into out. Bytes not consumed are offered again with
    // more after them; inputEnded says that none follow in. A step may consume nothing and
    // produce nothing when it needs more input.
    virtual Bzip2Step decode(std::span<const uint8_t> in, bool inputEnded,
                             std::span<uint8_t> out) = 0;
    // Prepares for another stream right after the one that ended: false when it cannot.
    virtual bool restart() = 0;
};

// libbz2 alone in the calling thread; nullptr when it cannot be set up.
std::unique_ptr<Bzip2Decoder> sequentialBzip2Decoder();

// libbz2's decompressor, owned.
class Bunzip2 {
public:
    Bunzip2() { ready_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK; }
    ~Bunzip2() {
        if (ready_) {
            BZ2_bzDecompressEnd(&stream_);
        }
    }
    Bunzip2(const Bunzip2&) = delete;
    Bunzip2& operator=(const Bunzip2&) = delete;

    bool ready() const { return ready_; }

    struct Result {
        int rc = BZ_OK;
        size_t consumed = 0;
        size_t produced = 0;
    };
    // One BZ2_bzDecompress call over in and out (each at most 4 GiB).
    Result decompress(std::span<const uint8_t> in, std::span<uint8_t> out);

private:
    bz_stream stream_{};
    bool ready_ = false;
};

}  // namespace varnelt::archiver
