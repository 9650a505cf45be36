// Deflate through the shared inflater and BZip2 through libbz2.
#include <bzlib.h>

#include <climits>

#include "../codec_faults.h"
#include "../inflate.h"
#include "decoder_stage.h"
#include "decoders.h"
#include "fault.h"

namespace varnelt::archiver::sevenzip {
namespace {

// libbz2 counts in unsigned int; the windows and blocks handed to it are smaller.
unsigned int clampedSize(size_t size) {
    return static_cast<unsigned int>(std::min<size_t>(size, UINT_MAX));
}

class DeflateStage final : public DecoderStage {
public:
    DeflateStage(std::unique_ptr<Stage> input, uint64_t size)
        : DecoderStage(std::move(input), size) {}

private:
    Step decode(std::span<const uint8_t> in, std::span<uint8_t> out) override {
        const DecodeStep step = inflater_.decode(in, in.empty(), out);
        if (step.status == DecodeStatus::NoMemory) {
            fail(VARNELT_ARC_ERROR_ENOUGH_MEMORY, kOutOfMemory);
        }
        if (step.status == DecodeStatus::Corrupt) {
            fail(VARNELT_ARC_ERROR_FILE_CRC, "Deflate: " + inflater_.fault());
        }
        return {step.consumed, step.produced, step.status == DecodeStatus::End};
    }

    Inflater inflater_{InflateFormat::Raw};
};

class Bzip2Stage final : public DecoderStage {
public:
    Bzip2Stage(std::unique_ptr<Stage> input, uint64_t size) : DecoderStage(std::move(input), size) {
        if (BZ2_bzDecompressInit(&stream_, 0, 0) != BZ_OK) {
            fail(VARNELT_ARC_ERROR_ENOUGH_MEMORY, kOutOfMemory);
        }
    }
    ~Bzip2Stage() override { BZ2_bzDecompressEnd(&stream_); }

private:
    Step decode(std::span<const uint8_t> in, std::span<uint8_t> out) override {
        stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(in.data()));
        stream_.avail_in = clampedSize(in.size());
        stream_.next_out = reinterpret_cast<char*>(out.data());
        stream_.avail_out = clampedSize(out.size());
        const unsigned int inBefore = stream_.avail_in;
        const unsigned int outBefore = stream_.avail_out;
        const int ret = BZ2_bzDecompress(&stream_);
        if (ret == BZ_MEM_ERROR) {
            fail(VARNELT_ARC_ERROR_ENOUGH_MEMORY, kOutOfMemory);
        }
        if (ret != BZ_OK && ret != BZ_STREAM_END) {
            fail(VARNELT_ARC_ERROR_FILE_CRC, std::string("BZip2: ") + bunzip2Fault(ret));
        }
        return {inBefore - stream_.avail_in, outBefore - stream_.avail_out, ret == BZ_STREAM_END};
    }

    bz_stream stream_{};
};

}  // namespace

std::unique_ptr<Stage> deflateStage(std::unique_ptr<Stage> input, uint64_t size) {
    return std::make_unique<DeflateStage>(std::move(input), size);
}

std::unique_ptr<Stage> bzip2Stage(std::unique_ptr<Stage> input, uint64_t size) {
    return std::make_unique<Bzip2Stage>(std::move(input), size);
}

}  // namespace varnelt::archiver::sevenzip
