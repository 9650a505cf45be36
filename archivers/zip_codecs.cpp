#include "zip_codecs.h"

#include <bzlib.h>
#include <lzma.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

#include "deflate64.h"
#include "inflate.h"
#include "zip_format.h"

namespace varnelt::archiver::zip {

namespace {

class StoredDecoder final : public StreamDecoder {
public:
    DecodeStep decode(std::span<const uint8_t> input, bool lastInput,
                      std::span<uint8_t> output) override {
        const size_t count = std::min(input.size(), output.size());
        std::memcpy(output.data(), input.data(), count);
        const bool end = lastInput && count == input.size();
        return {count, count, end ? DecodeStatus::End : DecodeStatus::More};
    }
};

// A decoder over a library's stream. Codec says how the library starts, steps and frees it;
// libbz2 and liblzma streams both take their buffers as pointers and counts.
template <typename Codec>
class LibraryDecoder final : public StreamDecoder {
public:
    template <typename... Options>
    explicit LibraryDecoder(const Options&... options)
        : status_(Codec::start(stream_, options...)) {}
    ~LibraryDecoder() override { Codec::finish(stream_); }
    LibraryDecoder(const LibraryDecoder&) = delete;
    LibraryDecoder& operator=(const LibraryDecoder&) = delete;

    DecodeStep decode(std::span<const uint8_t> input, bool /*lastInput*/,
                      std::span<uint8_t> output) override {
        if (status_ != DecodeStatus::More) {
            return {0, 0, status_};  // the library could not start
        }
        using In = std::remove_pointer_t<decltype(stream_.next_in)>;
        using Out = std::remove_pointer_t<decltype(stream_.next_out)>;
        stream_.next_in = const_cast<In*>(reinterpret_cast<const In*>(input.data()));
        stream_.avail_in = static_cast<decltype(stream_.avail_in)>(input.size());
        stream_.next_out = reinterpret_cast<Out*>(output.data());
        stream_.avail_out = static_cast<decltype(stream_.avail_out)>(output.size());
        const DecodeStatus status = Codec::step(stream_);
        return {input.size() - stream_.avail_in, output.size() - stream_.avail_out, status};
    }

private:
    typename Codec::Stream stream_{};
    DecodeStatus status_;
};

struct Bunzip2 {
    using Stream = bz_stream;
    static DecodeStatus start(bz_stream& stream) {
        return BZ2_bzDecompressInit(&stream, 0, 0) == BZ_OK ? DecodeStatus::More
                                                            : DecodeStatus::NoMemory;
    }
    static void finish(bz_stream& stream) { BZ2_bzDecompressEnd(&stream); }
    static DecodeStatus step(bz_stream& stream) {
        switch (BZ2_bzDecompress(&stream)) {
            case BZ_STREAM_END:
                return DecodeStatus::End;
            case BZ_OK:
                return DecodeStatus::More;
            case BZ_MEM_ERROR:
                return DecodeStatus::NoMemory;
            default:
                return DecodeStatus::Corrupt;
        }
    }
};

DecodeStatus lzmaStatus(lzma_ret status) {
    switch (status) {
        case LZMA_STREAM_END:
            return DecodeStatus::End;
        case LZMA_OK:
        case LZMA_BUF_ERROR:
            return DecodeStatus::More;
        case LZMA_MEM_ERROR:
        case LZMA_MEMLIMIT_ERROR:
            return DecodeStatus::NoMemory;
        case LZMA_OPTIONS_ERROR:
            return DecodeStatus::Unsupported;
        default:
            return DecodeStatus::Corrupt;
    }
}

// liblzma's decoders: an .xz stream, or a raw one with the filters given.
struct Unxz {
    using Stream = lzma_stream;
    // The dictionary that a stream asks for is allocated, so a limit keeps a forged header from
    // taking the machine's memory; real archives stay far below it.
    static constexpr uint64_t kMemoryLimit = uint64_t{1} << 30;
    static DecodeStatus start(lzma_stream& stream) {
        return lzmaStatus(lzma_stream_decoder(&stream, kMemoryLimit, 0));
    }
    static void finish(lzma_stream& stream) { lzma_end(&stream); }
    static DecodeStatus step(lzma_stream& stream) {
        return lzmaStatus(lzma_code(&stream, LZMA_RUN));
    }
};

struct RawLzma : Unxz {
    static DecodeStatus start(lzma_stream& stream, const lzma_filter* filters) {
        return lzmaStatus(lzma_raw_decoder(&stream, filters));
    }
};

// LZMA as ZIP stores it: a version, the properties' size and the 5 properties bytes, then the
// raw stream, which may end with an end marker (flag bit 1) or stop at the uncompressed size.
class LzmaDecoder final : public StreamDecoder {
public:
    explicit LzmaDecoder(uint64_t uncompressedSize) : uncompressedSize_(uncompressedSize) {}

    DecodeStep decode(std::span<const uint8_t> input, bool lastInput,
                      std::span<uint8_t> output) override {
        size_t taken = 0;
        if (!stream_) {
            taken = std::min(input.size(), header_.size() - headerFill_);
            std::copy_n(input.begin(), taken, header_.begin() + headerFill_);
            headerFill_ += taken;
            if (headerFill_ < header_.size()) {
                return {taken, 0, DecodeStatus::More};
            }
            if (!start()) {
                return {taken, 0, DecodeStatus::Corrupt};
            }
        }
        DecodeStep step = stream_->decode(input.subspan(taken), lastInput, output);
        step.consumed += taken;
        return step;
    }

private:
    bool start() {
        constexpr unsigned kPropertiesSize = 5;
        const unsigned packed = header_[4];
        if (le16(&header_[2]) != kPropertiesSize || packed >= 9 * 5 * 5) {
            return false;
        }
        lzma_options_lzma options{};
        options.lc = packed % 9;
        options.lp = packed / 9 % 5;
        options.pb = packed / 45;
        // No distance reaches before the entry's start, so a dictionary larger than the entry
        // is never used; the stated size alone would let a forged header claim 4 GiB.
        const uint64_t entryBound = std::max<uint64_t>(uncompressedSize_, LZMA_DICT_SIZE_MIN);
        options.dict_size = static_cast<uint32_t>(
            std::clamp<uint64_t>(le32(&header_[5]), LZMA_DICT_SIZE_MIN, entryBound));
        options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
        lzma_set_ext_size(options, uncompressedSize_);
        const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options},
                                       {LZMA_VLI_UNKNOWN, nullptr}};
        stream_ = std::make_unique<LibraryDecoder<RawLzma>>(filters);
        return true;
    }

    uint64_t uncompressedSize_;
    std::array<uint8_t, 9> header_{};
    size_t headerFill_ = 0;
    std::unique_ptr<LibraryDecoder<RawLzma>> stream_;
};

}  // namespace

std::unique_ptr<StreamDecoder> makeDecoder(uint16_t method, uint64_t uncompressedSize) {
    switch (method) {
        case kStored:
            return std::make_unique<StoredDecoder>();
        case kDeflate:
            return std::make_unique<Inflater>(InflateFormat::Raw);
        case kDeflate64:
            return std::make_unique<Deflate64Decoder>();
        case kBzip2:
            return std::make_unique<LibraryDecoder<Bunzip2>>();
        case kLzma:
            return std::make_unique<LzmaDecoder>(uncompressedSize);
        case kXz:
            return std::make_unique<LibraryDecoder<Unxz>>();
        default:
            return nullptr;
    }
}

}  // namespace varnelt::archiver::zip
