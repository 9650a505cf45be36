#include "bzip2_stream.h"

#include <optional>
#include <string>

#include "codec_faults.h"
#include "core.h"
#include "failure.h"

namespace varnelt::archiver {
namespace {

Bzip2Step failed(int32_t error, const std::string& reason) {
    return {0, 0, Bzip2Status::Failed, failWith(error, reason)};
}

class SequentialBzip2 final : public Bzip2Decoder {
public:
    SequentialBzip2() { stream_.emplace(); }
    bool ready() const { return stream_->ready(); }

    Bzip2Step decode(std::span<const uint8_t> in, bool inputEnded,
                     std::span<uint8_t> out) override {
        // Block CRCs and the stream's combined CRC are checked before BZ_STREAM_END.
        const Bunzip2::Result result = stream_->decompress(in, out);
        Bzip2Step step{result.consumed, result.produced};
        if (result.rc == BZ_STREAM_END) {
            step.status = Bzip2Status::StreamEnd;
        } else if (result.rc == BZ_DATA_ERROR || result.rc == BZ_DATA_ERROR_MAGIC) {
            return failed(VARNELT_ARC_ERROR_FILE_CRC,
                          std::string(bunzip2Fault(result.rc)) + " in the bzip2 stream");
        } else if (result.rc == BZ_MEM_ERROR) {
            return failed(VARNELT_ARC_ERROR_ENOUGH_MEMORY, {});
        } else if (result.rc != BZ_OK) {
            return failed(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged bzip2 stream");
        } else if (step.consumed == 0 && step.produced == 0 && inputEnded) {
            return failed(VARNELT_ARC_ERROR_EOF, "unexpected end of the bzip2 stream");
        }
        return step;
    }

    bool restart() override {
        stream_.emplace();
        return stream_->ready();
    }

private:
    std::optional<Bunzip2> stream_;
};

}  // namespace

Bunzip2::Result Bunzip2::decompress(std::span<const uint8_t> in, std::span<uint8_t> out) {
    stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(in.data()));
    stream_.avail_in = static_cast<unsigned>(in.size());
    stream_.next_out = reinterpret_cast<char*>(out.data());
    stream_.avail_out = static_cast<unsigned>(out.size());
    const int rc = BZ2_bzDecompress(&stream_);
    return {rc, in.size() - stream_.avail_in, out.size() - stream_.avail_out};
}

std::unique_ptr<Bzip2Decoder> sequentialBzip2Decoder() {
    auto decoder = std::make_unique<SequentialBzip2>();
    if (!decoder->ready()) {
        return nullptr;
    }
    return decoder;
}

}  // namespace varnelt::archiver
