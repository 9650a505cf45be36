#include "zip_codecs.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "deflate64.h"
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

class InflateDecoder final : public StreamDecoder {
public:
    InflateDecoder() { ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
    ~InflateDecoder() override {
        if (ready_) {
            inflateEnd(&stream_);
        }
    }
    InflateDecoder(const InflateDecoder&) = delete;
    InflateDecoder& operator=(const InflateDecoder&) = delete;

    DecodeStep decode(std::span<const uint8_t> input, bool /*lastInput*/,
                      std::span<uint8_t> output) override {
        if (!ready_) {
            return {0, 0, DecodeStatus::NoMemory};
        }
        stream_.next_in = const_cast<Bytef*>(input.data());
        stream_.avail_in = static_cast<uInt>(input.size());
        stream_.next_out = output.data();
        stream_.avail_out = static_cast<uInt>(output.size());
        const int status = inflate(&stream_, Z_NO_FLUSH);
        DecodeStep step{input.size() - stream_.avail_in, output.size() - stream_.avail_out};
        switch (status) {
            case Z_STREAM_END:
                step.status = DecodeStatus::End;
                break;
            case Z_OK:
            case Z_BUF_ERROR:
                break;
            case Z_MEM_ERROR:
                step.status = DecodeStatus::NoMemory;
                break;
            default:
                step.status = DecodeStatus::Corrupt;
                break;
        }
        return step;
    }

private:
    z_stream stream_{};
    bool ready_ = false;
};

class Bzip2Decoder final : public StreamDecoder {
public:
    Bzip2Decoder() { ready_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK; }
    ~Bzip2Decoder() override {
        if (ready_) {
            BZ2_bzDecompressEnd(&stream_);
        }
    }
    Bzip2Decoder(const Bzip2Decoder&) = delete;
    Bzip2Decoder& operator=(const Bzip2Decoder&) = delete;

    DecodeStep decode(std::span<const uint8_t> input, bool /*lastInput*/,
                      std::span<uint8_t> output) override {
        if (!ready_) {
            return {0, 0, DecodeStatus::NoMemory};
        }
        stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(input.data()));
        stream_.avail_in = static_cast<unsigned>(input.size());
        stream_.next_out = reinterpret_cast<char*>(output.data());
        stream_.avail_out = static_cast<unsigned>(output.size());
        const int status = BZ2_bzDecompress(&stream_);
        DecodeStep step{input.size() - stream_.avail_in, output.size() - stream_.avail_out};
        switch (status) {
            case BZ_STREAM_END:
                step.status = DecodeStatus::End;
                break;
            case BZ_OK:
                break;
            case BZ_MEM_ERROR:
                step.status = DecodeStatus::NoMemory;
                break;
            default:
                step.status = DecodeStatus::Corrupt;
                break;
        }
        return step;
    }

private:
    bz_stream stream_{};
    bool ready_ = false;
};

// A liblzma stream, shared by the LZMA and XZ methods.
class LzmaStream {
public:
    LzmaStream() = default;
    ~LzmaStream() { lzma_end(&stream_); }
    LzmaStream(const LzmaStream&) = delete;
    LzmaStream& operator=(const LzmaStream&) = delete;

    lzma_stream* get() { return &stream_; }

    static DecodeStatus statusOf(lzma_ret status) {
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

    DecodeStep decode(std::span<const uint8_t> input, std::span<uint8_t> output) {
        stream_.next_in = input.data();
        stream_.avail_in = input.size();
        stream_.next_out = output.data();
        stream_.avail_out = output.size();
        const lzma_ret status = lzma_code(&stream_, LZMA_RUN);
        return {input.size() - stream_.avail_in, output.size() - stream_.avail_out,
                statusOf(status)};
    }

private:
    lzma_stream stream_ = LZMA_STREAM_INIT;
};

// An .xz stream. The dictionary it asks for is allocated, so a limit keeps a forged header
// from taking the machine's memory; real archives stay far below it.
class XzDecoder final : public StreamDecoder {
public:
    XzDecoder() {
        status_ = LzmaStream::statusOf(lzma_stream_decoder(stream_.get(), kMemoryLimit, 0));
    }
    DecodeStep decode(std::span<const uint8_t> input, bool /*lastInput*/,
                      std::span<uint8_t> output) override {
        if (status_ != DecodeStatus::More) {
            return {0, 0, status_};
        }
        return stream_.decode(input, output);
    }

private:
    static constexpr uint64_t kMemoryLimit = uint64_t{1} << 30;
    LzmaStream stream_;
    DecodeStatus status_;
};

// LZMA as ZIP stores it: a version, the properties' size and the 5 properties bytes, then the
// raw stream, which may end with an end marker (flag bit 1) or stop at the uncompressed size.
class LzmaDecoder final : public StreamDecoder {
public:
    explicit LzmaDecoder(uint64_t uncompressedSize) : uncompressedSize_(uncompressedSize) {}

    DecodeStep decode(std::span<const uint8_t> input, bool /*lastInput*/,
                      std::span<uint8_t> output) override {
        size_t taken = 0;
        if (headerFill_ < header_.size()) {
            taken = std::min(input.size(), header_.size() - headerFill_);
            std::copy_n(input.begin(), taken, header_.begin() + headerFill_);
            headerFill_ += taken;
            if (headerFill_ < header_.size()) {
                return {taken, 0, DecodeStatus::More};
            }
            if (const DecodeStatus started = start(); started != DecodeStatus::More) {
                return {taken, 0, started};
            }
        }
        DecodeStep step = stream_.decode(input.subspan(taken), output);
        step.consumed += taken;
        return step;
    }

private:
    DecodeStatus start() {
        constexpr unsigned kPropertiesSize = 5;
        const unsigned packed = header_[4];
        if (le16(&header_[2]) != kPropertiesSize || packed >= 9 * 5 * 5) {
            return DecodeStatus::Corrupt;
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
        return LzmaStream::statusOf(lzma_raw_decoder(stream_.get(), filters));
    }

    uint64_t uncompressedSize_;
    std::array<uint8_t, 9> header_{};
    size_t headerFill_ = 0;
    LzmaStream stream_;
};

}  // namespace

std::unique_ptr<StreamDecoder> makeDecoder(uint16_t method, uint64_t uncompressedSize) {
    switch (method) {
        case kStored:
            return std::make_unique<StoredDecoder>();
        case kDeflate:
            return std::make_unique<InflateDecoder>();
        case kDeflate64:
            return std::make_unique<Deflate64Decoder>();
        case kBzip2:
            return std::make_unique<Bzip2Decoder>();
        case kLzma:
            return std::make_unique<LzmaDecoder>(uncompressedSize);
        case kXz:
            return std::make_unique<XzDecoder>();
        default:
            return nullptr;
    }
}

}  // namespace varnelt::archiver::zip
