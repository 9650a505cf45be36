// LZMA, LZMA2 and liblzma's filters.
#include <lzma.h>

#include <algorithm>

#include "byte_reader.h"
#include "decoder_stage.h"
#include "decoders.h"
#include "fault.h"
#include "methods.h"

namespace varnelt::archiver::sevenzip {
namespace {

// A dictionary, or a whole decoder, asking for more is refused rather than allocated.
constexpr uint64_t kMemoryLimit = uint64_t{2} << 30;

lzma_vli branchFilterId(uint64_t method) {
    switch (method) {
        case kX86:
            return LZMA_FILTER_X86;
        case kPowerPc:
            return LZMA_FILTER_POWERPC;
        case kIa64:
            return LZMA_FILTER_IA64;
        case kArm:
            return LZMA_FILTER_ARM;
        case kArmThumb:
            return LZMA_FILTER_ARMTHUMB;
        case kSparc:
            return LZMA_FILTER_SPARC;
#ifdef LZMA_FILTER_ARM64
        case kArm64:
            return LZMA_FILTER_ARM64;
#endif
        default:
            fail(VARNELT_ARC_ERROR_METHOD, "unsupported method " + methodName(method));
    }
}

struct FilterOptions {
    lzma_options_bcj bcj{};
    lzma_options_delta delta{};
};

lzma_filter describeFilter(const Coder& coder, FilterOptions& options) {
    const std::vector<uint8_t>& properties = coder.properties;
    if (coder.method == kDelta) {
        if (properties.size() != 1) {
            headerBroken();
        }
        options.delta.type = LZMA_DELTA_TYPE_BYTE;
        options.delta.dist = properties[0] + 1u;
        return {LZMA_FILTER_DELTA, &options.delta};
    }
    const lzma_vli id = branchFilterId(coder.method);
    if (properties.empty()) {
        return {id, nullptr};
    }
    if (properties.size() != 4) {
        headerBroken();
    }
    options.bcj.start_offset = static_cast<uint32_t>(littleEndian(properties));
    return {id, &options.bcj};
}

lzma_filter describeLzma(const LzmaChain& chain, lzma_options_lzma& options) {
    lzma_lzma_preset(&options, 0);
    if (chain.lzma == nullptr) {
        options.dict_size = LZMA_DICT_SIZE_MIN;  // stored chunks refer to nothing
        return {LZMA_FILTER_LZMA2, &options};
    }
    const std::vector<uint8_t>& properties = chain.lzma->properties;
    if (chain.lzma->method == kLzma2) {
        if (properties.size() != 1 || properties[0] > 40) {
            headerBroken();
        }
        const unsigned bits = properties[0];
        options.dict_size = bits == 40 ? UINT32_MAX : (2u | (bits & 1u)) << (bits / 2 + 11);
        return {LZMA_FILTER_LZMA2, &options};
    }
    if (properties.size() != 5 || properties[0] >= 9 * 5 * 5) {
        headerBroken();
    }
    options.lc = properties[0] % 9;
    options.lp = properties[0] / 9 % 5;
    options.pb = properties[0] / 45;
    options.dict_size = static_cast<uint32_t>(littleEndian(std::span(properties).subspan(1)));
    // 7z streams normally stop at their size, but an end marker right there is allowed.
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    lzma_set_ext_size(options, chain.lzmaSize);
    return {LZMA_FILTER_LZMA1EXT, &options};
}

[[noreturn]] void decodeError(lzma_ret ret) {
    if (ret == LZMA_MEM_ERROR || ret == LZMA_MEMLIMIT_ERROR) {
        fail(VARNELT_ARC_ERROR_ENOUGH_MEMORY, kOutOfMemory);
    }
    fail(VARNELT_ARC_ERROR_FILE_CRC, "damaged LZMA data");
}

class LzmaStage final : public DecoderStage {
public:
    LzmaStage(std::unique_ptr<Stage> input, const LzmaChain& chain, uint64_t size)
        : DecoderStage(std::move(input), size) {
        std::array<lzma_filter, LZMA_FILTERS_MAX + 1> filters{};
        size_t count = 0;
        for (const Coder* filter : chain.filters) {
            filters[count] = describeFilter(*filter, filterOptions_[count]);
            ++count;
        }
        filters[count++] = describeLzma(chain, lzmaOptions_);
        filters[count] = {LZMA_VLI_UNKNOWN, nullptr};
        if (lzma_raw_decoder_memusage(filters.data()) > kMemoryLimit) {
            fail(VARNELT_ARC_ERROR_ENOUGH_MEMORY, "LZMA dictionary larger than allowed");
        }
        // No match reaches further back than the stream's own start: a dictionary larger
        // than the output would only be allocated, never used.
        lzmaOptions_.dict_size = static_cast<uint32_t>(
            std::clamp<uint64_t>(chain.lzmaSize, LZMA_DICT_SIZE_MIN, lzmaOptions_.dict_size));
        const lzma_ret ret = lzma_raw_decoder(&stream_, filters.data());
        if (ret == LZMA_MEM_ERROR) {
            fail(VARNELT_ARC_ERROR_ENOUGH_MEMORY, kOutOfMemory);
        }
        if (ret != LZMA_OK) {
            fail(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged coder properties");
        }
    }
    ~LzmaStage() override { lzma_end(&stream_); }

private:
    Step decode(std::span<const uint8_t> in, std::span<uint8_t> out) override {
        stream_.next_in = in.data();
        stream_.avail_in = in.size();
        stream_.next_out = out.data();
        stream_.avail_out = out.size();
        const lzma_ret ret = lzma_code(&stream_, in.empty() ? LZMA_FINISH : LZMA_RUN);
        if (ret != LZMA_OK && ret != LZMA_STREAM_END) {
            decodeError(ret);
        }
        return {in.size() - stream_.avail_in, out.size() - stream_.avail_out,
                ret == LZMA_STREAM_END};
    }

    std::array<FilterOptions, kMaxChainFilters> filterOptions_{};
    lzma_options_lzma lzmaOptions_{};
    lzma_stream stream_ = LZMA_STREAM_INIT;
};

// LZMA2 chunks stored uncompressed hold at most 64 KiB each.
constexpr uint64_t kStoredChunkSize = 64 * 1024;

class StoredLzma2Stage final : public Stage {
public:
    explicit StoredLzma2Stage(std::unique_ptr<Stage> input)
        : Stage(wrappedSize(input->size())), input_(std::move(input)), left_(input_->size()) {}

private:
    static uint64_t wrappedSize(uint64_t size) {
        const uint64_t chunks = (size + kStoredChunkSize - 1) / kStoredChunkSize;
        return size + 3 * chunks + 1;  // a 3-byte header per chunk, and the end mark
    }
    size_t produce(std::span<uint8_t> out) override {
        if (headerUsed_ == headerSize_) {
            if (chunkLeft_ > 0) {
                const size_t got = input_->read(
                    out.first(static_cast<size_t>(std::min<uint64_t>(out.size(), chunkLeft_))));
                chunkLeft_ -= got;
                return got;
            }
            startChunk();
        }
        const size_t count = std::min(out.size(), headerSize_ - headerUsed_);
        std::copy_n(header_.begin() + static_cast<ptrdiff_t>(headerUsed_), count, out.begin());
        headerUsed_ += count;
        return count;
    }
    void startChunk() {
        headerUsed_ = 0;
        if (left_ == 0) {
            header_[0] = 0x00;
            headerSize_ = 1;
            return;
        }
        chunkLeft_ = std::min(left_, kStoredChunkSize);
        left_ -= chunkLeft_;
        const auto sizeField = static_cast<unsigned>(chunkLeft_ - 1);
        // The first chunk resets the dictionary, the others continue it.
        header_ = {static_cast<uint8_t>(first_ ? 0x01 : 0x02), static_cast<uint8_t>(sizeField >> 8),
                   static_cast<uint8_t>(sizeField & 0xFF)};
        headerSize_ = header_.size();
        first_ = false;
    }
    void finish() override { input_->expectEnd(); }

    std::unique_ptr<Stage> input_;
    uint64_t left_;
    uint64_t chunkLeft_ = 0;
    std::array<uint8_t, 3> header_{};
    size_t headerSize_ = 0;
    size_t headerUsed_ = 0;
    bool first_ = true;
};

}  // namespace

std::unique_ptr<Stage> lzmaStage(std::unique_ptr<Stage> input, const LzmaChain& chain,
                                 uint64_t size) {
    return std::make_unique<LzmaStage>(std::move(input), chain, size);
}

std::unique_ptr<Stage> storedLzma2Stage(std::unique_ptr<Stage> input) {
    return std::make_unique<StoredLzma2Stage>(std::move(input));
}

}  // namespace varnelt::archiver::sevenzip
