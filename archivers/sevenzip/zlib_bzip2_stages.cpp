// Deflate through zlib and BZip2 through libbz2.
#include <bzlib.h>
#include <zlib.h>

#include <climits>

#include "../codec_faults.h"
#include "decoder_stage.h"
#include "decoders.h"
#include "fault.h"

namespace varnelt::archiver::sevenzip {
namespace {

// Both libraries count in unsigned int; the windows and blocks handed to them are smaller.
unsigned int clampedSize(size_t size) {
    return static_cast<unsigned int>(std::min<size_t>(size, UINT_MAX));
}

class DeflateStage final : public DecoderStage {
public:
    DeflateStage(std::unique_ptr<Stage> input, uint64_t size)
        : DecoderStage(std::move(input), size) {
        if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) {
            fail(VARNELT_ARC_ERROR_ENOUGH_MEMORY, kOutOfMemory);
        }
    }
    ~DeflateStage() override { inflateEnd(&stream_); }

private:
    Step decode(std::span<const uint8_t> in, std::span<uint8_t> out) override {
        stream_.next_in = const_cast<Bytef*>(in.data());
        stream_.avail_in = clampedSize(in.size());
        stream_.next_out = out.data();
        stream_.avail_out = clampedSize(out.size());
        const unsigned int inBefore = stream_.avail_in;
        const unsigned int outBefore = stream_.avail_out;
        const int ret = inflate(&stream_, Z_NO_FLUSH);
        if (ret == Z_MEM_ERROR) {
            fail(VARNELT_ARC_ERROR_ENOUGH_MEMORY, kOutOfMemory);
        }
        if (ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR) {
            fail(VARNELT_ARC_ERROR_FILE_CRC, "Deflate: " + inflateFault(stream_.msg));
        }
        return {inBefore - stream_.avail_in, outBefore - stream_.avail_out, ret == Z_STREAM_END};
    }

    z_stream stream_{};
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
