// libtar32: tar, plain or compressed with gzip, bzip2, xz or compress.
//
// libarchive's tar reader stops at the end-of-archive blocks, so the end of a compressed stream
// (the gzip trailer, the last bzip2 and xz checks) may never be read, and its gzip filter does
// not check the trailer at all. gzip, bzip2 and xz are therefore decoded here, fed to the tar
// reader, and decoded to their very end once the reader is done. compress carries no checksum
// and stays with libarchive's filter.
//
// libarchive also takes any run of zero blocks for an empty tar, so that a file of nothing but
// zeros (a download that never arrived) would pass. An archive without entries is accepted only
// as long as such an archive really is.
#include <archive.h>
#include <archive_entry.h>
#include <lzma.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "bzip2_blocks.h"
#include "failure.h"
#include "inflate.h"
#include "libarchive_backend.h"
#include "thread_budget.h"

namespace varnelt::archiver {
namespace {

constexpr size_t kInputSize = 128 * 1024;
constexpr size_t kOutputSize = 256 * 1024;
// tar writers pad an archive to whole records of this size; an empty archive is its two
// end-of-archive blocks padded to at most one record.
constexpr uint64_t kRecordSize = 10240;
// What the threaded xz decoder may hold in blocks being decoded side by side, well inside a
// worker's address space.
constexpr uint64_t kThreadedMemory = uint64_t{512} << 20;

// Watches the head of the decoded tar stream for the rule on archives without entries.
class EmptyTarRule {
public:
    // The next decoded bytes, in order.
    void note(const uint8_t* data, size_t size) {
        if (decoded_ < kRecordSize) {
            const size_t head =
                static_cast<size_t>(std::min<uint64_t>(size, kRecordSize - decoded_));
            zerosOnly_ =
                zerosOnly_ && std::all_of(data, data + head, [](uint8_t b) { return b == 0; });
        }
        decoded_ += size;
    }
    // True once the stream is known to be longer than an empty archive can be.
    bool seenEnough() const { return decoded_ > kRecordSize; }
    int32_t verdict() const {
        return !seenEnough() && zerosOnly_ ? VARNELT_ARC_OK : VARNELT_ARC_ERROR_NOT_ARC_FILE;
    }

private:
    uint64_t decoded_ = 0;
    bool zerosOnly_ = true;
};

struct CodecStep {
    enum class State { More, MemberEnd, Failed };
    size_t consumed = 0;
    size_t produced = 0;
    State state = State::More;
    int32_t error = VARNELT_ARC_OK;
};

// A step that stopped on a fault, its reason recorded (an empty one leaves the code's own).
CodecStep failedStep(int32_t error, const std::string& reason) {
    return {0, 0, CodecStep::State::Failed, failWith(error, reason)};
}

// One compressed stream format. A stream may hold several members back to back.
class Codec {
public:
    virtual ~Codec() = default;
    // Decodes from in to out. inputEnded says that no byte follows in.
    virtual CodecStep decode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                             bool inputEnded) = 0;
    // True when byte may begin another member, which restart() then prepares for.
    virtual bool beginsMember(uint8_t byte) const = 0;
    virtual bool restart() = 0;
};

class GzipCodec final : public Codec {
public:
    bool ready() const { return true; }

    CodecStep decode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                     bool inputEnded) override {
        // The member's trailer, CRC-32 and length, is verified before the inflater answers End.
        const DecodeStep step = inflater_.decode({in, inSize}, inputEnded, {out, outSize});
        switch (step.status) {
            case DecodeStatus::End:
                return {step.consumed, step.produced, CodecStep::State::MemberEnd};
            case DecodeStatus::More:
                if (step.consumed == 0 && step.produced == 0 && inputEnded) {
                    return failedStep(VARNELT_ARC_ERROR_EOF, "unexpected end of the gzip stream");
                }
                return {step.consumed, step.produced};
            case DecodeStatus::NoMemory:
                return failedStep(VARNELT_ARC_ERROR_ENOUGH_MEMORY, {});
            default:
                return failedStep(VARNELT_ARC_ERROR_FILE_CRC,
                                  inflater_.fault() + " in the gzip stream");
        }
    }
    bool beginsMember(uint8_t byte) const override { return byte == 0x1F; }
    bool restart() override { return inflater_.reset(); }

private:
    Inflater inflater_{InflateFormat::Gzip};
};

// Given threads, the blocks of each stream are decoded side by side, with the same answers.
class Bzip2Codec final : public Codec {
public:
    explicit Bzip2Codec(const InputFile& file) : decoder_(makeDecoder(file)) {}
    bool ready() const { return decoder_ != nullptr; }

    CodecStep decode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                     bool inputEnded) override {
        const Bzip2Step step = decoder_->decode({in, inSize}, inputEnded, {out, outSize});
        if (step.status == Bzip2Status::Failed) {
            return {0, 0, CodecStep::State::Failed, step.error};
        }
        return {step.consumed, step.produced,
                step.status == Bzip2Status::StreamEnd ? CodecStep::State::MemberEnd
                                                      : CodecStep::State::More};
    }
    bool beginsMember(uint8_t byte) const override { return byte == 'B'; }
    bool restart() override { return decoder_->restart(); }

private:
    static std::unique_ptr<Bzip2Decoder> makeDecoder(const InputFile& file) {
        const int threads = threadBudget();
        if (threads == 1) {
            return sequentialBzip2Decoder();
        }
        // Reading ahead leaves the file's record of refused reads alone: the sequential decoder
        // might never have read that far, and meets a refusal itself when it does.
        return blockBzip2Decoder(
            threads,
            [fd = file.fd()](uint8_t* buffer, size_t length, uint64_t offset) -> ptrdiff_t {
                for (;;) {
                    const ssize_t got = ::pread(fd, buffer, length, static_cast<off_t>(offset));
                    if (got >= 0 || errno != EINTR) {
                        return got;
                    }
                }
            });
    }

    std::unique_ptr<Bzip2Decoder> decoder_;
};

class XzCodec final : public Codec {
public:
    // liblzma itself handles concatenated streams and the padding between them. Given threads,
    // its threaded decoder takes the blocks of a multi-block stream side by side; a stream of
    // one block, or one whose blocks would need too much memory, is decoded in one thread.
    XzCodec() {
        const int threads = threadBudget();
        if (threads == 1) {
            ready_ = lzma_stream_decoder(&stream_, UINT64_MAX, LZMA_CONCATENATED) == LZMA_OK;
            return;
        }
        lzma_mt options{};
        options.flags = LZMA_CONCATENATED;
        options.threads = static_cast<uint32_t>(threads);
        options.memlimit_threading = kThreadedMemory;
        options.memlimit_stop = UINT64_MAX;
        ready_ = lzma_stream_decoder_mt(&stream_, &options) == LZMA_OK;
    }
    ~XzCodec() override { lzma_end(&stream_); }
    bool ready() const { return ready_; }

    CodecStep decode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                     bool inputEnded) override {
        stream_.next_in = in;
        stream_.avail_in = inSize;
        stream_.next_out = out;
        stream_.avail_out = outSize;
        const lzma_ret rc = lzma_code(&stream_, inputEnded ? LZMA_FINISH : LZMA_RUN);
        CodecStep step{inSize - stream_.avail_in, outSize - stream_.avail_out};
        switch (rc) {
            case LZMA_OK:
                return step;
            case LZMA_STREAM_END:
                step.state = CodecStep::State::MemberEnd;
                return step;
            case LZMA_BUF_ERROR:
                return failedStep(VARNELT_ARC_ERROR_EOF, "unexpected end of the xz stream");
            case LZMA_MEM_ERROR:
                return failedStep(VARNELT_ARC_ERROR_ENOUGH_MEMORY, {});
            case LZMA_OPTIONS_ERROR:
            case LZMA_UNSUPPORTED_CHECK:
                return failedStep(VARNELT_ARC_ERROR_METHOD,
                                  "unsupported filter or check in the xz stream");
            case LZMA_DATA_ERROR:
                // liblzma reports a failed check the same way as data it cannot decode.
                return failedStep(VARNELT_ARC_ERROR_FILE_CRC,
                                  "damaged data or check mismatch in the xz stream");
            default:
                return failedStep(VARNELT_ARC_ERROR_FILE_CRC, "damaged xz stream");
        }
    }
    bool beginsMember(uint8_t) const override { return false; }
    bool restart() override { return false; }

private:
    lzma_stream stream_ = LZMA_STREAM_INIT;
    bool ready_ = false;
};

constexpr const char* kGarbage = "data after the end of the compressed stream";

// Decodes the file as the tar reader asks for bytes, and to its end when the reader is done.
// Zero bytes after the last member are padding; anything else there is garbage.
class DecodingSource final : public InputSource {
public:
    DecodingSource(const InputFile& file, std::unique_ptr<Codec> codec)
        : file_(file),
          codec_(std::move(codec)),
          input_(std::make_unique<uint8_t[]>(kInputSize)),
          output_(std::make_unique<uint8_t[]>(kOutputSize)) {}

    int attach(archive* reader) override {
        return archive_read_open(reader, this, nullptr, &DecodingSource::readCallback, nullptr);
    }

    // Decodes no further than needed to tell: a stream of zeros gigabytes long stops here.
    int32_t emptyArchive() override {
        const int32_t rc = decodeOn([this] { return empty_.seenEnough(); });
        return rc != VARNELT_ARC_OK ? rc : empty_.verdict();
    }

    int32_t finish() override {
        return decodeOn([] { return false; });
    }

    int32_t failure() const override { return failure_; }

private:
    enum class State { InMember, BetweenMembers, Padding, Done };

    static la_ssize_t readCallback(archive* reader, void* self, const void** buffer) {
        auto* source = static_cast<DecodingSource*>(self);
        ssize_t produced = -1;
        try {
            produced = source->produce();
        } catch (const std::bad_alloc&) {
            // Nothing may be thrown through libarchive: a reason that could not be allocated
            // fails the test for memory.
            source->failure_ = VARNELT_ARC_ERROR_ENOUGH_MEMORY;
        }
        if (produced < 0) {
            archive_set_error(reader, -1, "compressed stream is damaged");
            return ARCHIVE_FATAL;
        }
        *buffer = source->output_.get();
        return produced;
    }

    // Decodes on until enough() or the end of the stream: OK, or the failure met on the way.
    template <typename Enough>
    int32_t decodeOn(Enough enough) {
        while (!enough()) {
            const ssize_t produced = produce();
            if (produced < 0) {
                return failure_;
            }
            if (produced == 0) {
                break;
            }
        }
        return VARNELT_ARC_OK;
    }

    ssize_t fail(int32_t error) {
        failure_ = error;
        return -1;
    }

    bool refill() {
        const ptrdiff_t got = file_.readSomeAt(input_.get(), kInputSize, filePos_);
        if (got < 0) {
            return false;
        }
        filePos_ += static_cast<uint64_t>(got);
        inPos_ = 0;
        inEnd_ = static_cast<size_t>(got);
        inputEnded_ = got == 0;
        return true;
    }

    // The next decoded bytes in output_: their count, 0 at the end, -1 on failure.
    ssize_t produce() {
        while (failure_ == VARNELT_ARC_OK && state_ != State::Done) {
            if (inPos_ == inEnd_ && !inputEnded_ && !refill()) {
                return fail(VARNELT_ARC_ERROR_CANNOT_READ);
            }
            const uint8_t* in = input_.get() + inPos_;
            const size_t available = inEnd_ - inPos_;
            if (state_ != State::InMember) {
                if (available == 0) {
                    if (inputEnded_) {
                        state_ = State::Done;
                    }
                    continue;
                }
                if (state_ == State::BetweenMembers && in[0] != 0) {
                    if (!codec_->beginsMember(in[0]) || !codec_->restart()) {
                        return fail(failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, kGarbage));
                    }
                    state_ = State::InMember;
                    continue;
                }
                state_ = State::Padding;
                for (size_t i = 0; i < available; ++i) {
                    if (in[i] != 0) {
                        return fail(failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, kGarbage));
                    }
                }
                inPos_ = inEnd_;
                continue;
            }
            const CodecStep step =
                codec_->decode(in, available, output_.get(), kOutputSize, inputEnded_);
            if (step.state == CodecStep::State::Failed) {
                return fail(step.error);
            }
            inPos_ += step.consumed;
            if (step.state == CodecStep::State::MemberEnd) {
                state_ = State::BetweenMembers;
            }
            if (step.produced > 0) {
                empty_.note(output_.get(), step.produced);
                return static_cast<ssize_t>(step.produced);
            }
        }
        return failure_ == VARNELT_ARC_OK ? 0 : -1;
    }

    const InputFile& file_;
    std::unique_ptr<Codec> codec_;
    std::unique_ptr<uint8_t[]> input_;
    std::unique_ptr<uint8_t[]> output_;
    uint64_t filePos_ = 0;
    size_t inPos_ = 0;
    size_t inEnd_ = 0;
    bool inputEnded_ = false;
    State state_ = State::InMember;
    int32_t failure_ = VARNELT_ARC_OK;
    EmptyTarRule empty_;
};

template <typename C>
std::unique_ptr<InputSource> decodingSource(const InputFile& file) {
    auto codec = std::make_unique<C>();
    if (!codec->ready()) {
        return nullptr;
    }
    return std::make_unique<DecodingSource>(file, std::move(codec));
}

std::unique_ptr<InputSource> bzip2Source(const InputFile& file) {
    auto codec = std::make_unique<Bzip2Codec>(file);
    if (!codec->ready()) {
        return nullptr;
    }
    return std::make_unique<DecodingSource>(file, std::move(codec));
}

// A plain tar, or one that libarchive's compress filter decodes. To judge an archive without
// entries, the decoded stream's head is read once more through a reader that takes it raw.
class PlainTarSource final : public InputSource {
public:
    explicit PlainTarSource(const InputFile& file) : file_(file), plain_(plainFileSource(file)) {}

    int attach(archive* reader) override { return plain_->attach(reader); }

    int32_t emptyArchive() override {
        const std::unique_ptr<InputSource> input = plainFileSource(file_);
        const Reader raw(archive_read_new());
        if (!raw) {
            return VARNELT_ARC_ERROR_ENOUGH_MEMORY;
        }
        archive_read_support_filter_compress(raw.get());
        archive_read_support_format_raw(raw.get());
        archive_entry* entry = nullptr;
        if (input->attach(raw.get()) != ARCHIVE_OK ||
            archive_read_next_header(raw.get(), &entry) != ARCHIVE_OK) {
            return VARNELT_ARC_ERROR_NOT_ARC_FILE;
        }
        EmptyTarRule rule;
        while (!rule.seenEnough()) {
            const void* block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            const int status = archive_read_data_block(raw.get(), &block, &size, &offset);
            if (status == ARCHIVE_EOF) {
                break;
            }
            if (status != ARCHIVE_OK) {
                return failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, libarchiveReason(raw.get()));
            }
            rule.note(static_cast<const uint8_t*>(block), size);
        }
        return rule.verdict();
    }

private:
    const InputFile& file_;
    std::unique_ptr<InputSource> plain_;
};

struct Signature {
    std::array<uint8_t, 6> bytes;
    size_t length;
    std::unique_ptr<InputSource> (*open)(const InputFile& file);
};

constexpr Signature kCompressed[] = {
    {{0x1F, 0x8B}, 2, &decodingSource<GzipCodec>},
    {{'B', 'Z', 'h'}, 3, &bzip2Source},
    {{0xFD, '7', 'z', 'X', 'Z', 0x00}, 6, &decodingSource<XzCodec>},
};

std::unique_ptr<InputSource> openTarSource(const InputFile& file) {
    std::array<uint8_t, 6> head{};
    const ptrdiff_t got = file.readSomeAt(head.data(), head.size(), 0);
    for (const Signature& signature : kCompressed) {
        if (got >= static_cast<ptrdiff_t>(signature.length) &&
            std::memcmp(head.data(), signature.bytes.data(), signature.length) == 0) {
            return signature.open(file);
        }
    }
    return std::make_unique<PlainTarSource>(file);
}

}  // namespace

const Backend& formatBackend() {
    static const LibarchiveBackend backend({
        .enableReaders =
            [](archive* reader) {
                archive_read_support_format_tar(reader);
                archive_read_support_filter_compress(reader);
            },
        .openSource = &openTarSource,
    });
    return backend;
}

}  // namespace varnelt::archiver
