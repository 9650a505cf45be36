#include "inflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "codec_faults.h"

#if VARNELT_INFLATE_ISAL
#include <isa-l/igzip_lib.h>

#include <array>
#endif

namespace varnelt::archiver {

namespace {

// Both libraries count in 32 bits; the buffers handed to them are far smaller.
uint32_t clamped(size_t size) {
    return static_cast<uint32_t>(std::min<size_t>(size, UINT32_MAX));
}

}  // namespace

#if VARNELT_INFLATE_ISAL

namespace {

// What is wrong, in zlib's words, so that a fault reads the same whichever library inflates.
constexpr const char* kBadMagic = "incorrect header check";
constexpr const char* kBadMethod = "unknown compression method";
constexpr const char* kBadFlags = "unknown header flags set";
constexpr const char* kBadHeaderCrc = "header crc mismatch";
constexpr const char* kBadCrc = "incorrect data check";
constexpr const char* kBadLength = "incorrect length check";

const char* isalFault(int rc) {
    switch (rc) {
        case ISAL_INVALID_BLOCK:
            return "invalid block";
        case ISAL_INVALID_SYMBOL:
            return "invalid code";
        case ISAL_INVALID_LOOKBACK:
            return "invalid distance too far back";
        default:
            return nullptr;
    }
}

constexpr uint8_t kFlagHeaderCrc = 0x02;
constexpr uint8_t kFlagExtra = 0x04;
constexpr uint8_t kFlagName = 0x08;
constexpr uint8_t kFlagComment = 0x10;
constexpr uint8_t kFlagsReserved = 0xE0;

uint32_t le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// A gzip member's header (RFC 1952) or trailer, read as it arrives, checked as zlib checks it
// and in the same order: each field is judged as soon as its bytes are in.
class GzipFields {
public:
    enum class Field {
        Magic,
        MethodFlags,
        TimeAndOs,
        ExtraLength,
        Extra,
        Name,
        Comment,
        HeaderCrc,
        Body,
        DataCrc,
        Length,
        Done
    };

    Field field() const { return field_; }
    const char* fault() const { return fault_; }
    void startTrailer(uint32_t dataCrc, uint32_t length) {
        dataCrc_ = dataCrc;
        length_ = length;
        enter(Field::DataCrc);
    }

    // Takes bytes of the current field onwards until the body or the end; the count taken.
    size_t take(std::span<const uint8_t> input) {
        size_t used = 0;
        while (used < input.size() && fault_ == nullptr && field_ != Field::Body &&
               field_ != Field::Done) {
            const std::span<const uint8_t> rest = input.subspan(used);
            const Field was = field_;
            size_t count = 0;
            if (field_ == Field::Name || field_ == Field::Comment) {
                const auto* nul =
                    static_cast<const uint8_t*>(std::memchr(rest.data(), 0, rest.size()));
                count = nul == nullptr ? rest.size() : static_cast<size_t>(nul - rest.data()) + 1;
                if (nul != nullptr) {
                    next();
                }
            } else if (field_ == Field::Extra || field_ == Field::TimeAndOs) {
                count = std::min<size_t>(rest.size(), skip_);
                skip_ -= count;
                if (skip_ == 0) {
                    next();
                }
            } else {
                count = std::min(rest.size(), need_ - fill_);
                std::copy_n(rest.begin(), count, bytes_.begin() + fill_);
                fill_ += count;
                if (fill_ == need_) {
                    judge();
                }
            }
            if (was < Field::HeaderCrc) {
                headerCrc_ = crc32_z(headerCrc_, rest.data(), count);
            }
            used += count;
        }
        return used;
    }

    void skipHeader() { enter(Field::Body); }

private:
    void enter(Field field) {
        field_ = field;
        fill_ = 0;
        need_ = field == Field::DataCrc || field == Field::Length ? 4 : 2;
        if (field == Field::TimeAndOs) {
            skip_ = 6;
        }
    }
    bool present(Field field) const {
        switch (field) {
            case Field::ExtraLength:
                return (flags_ & kFlagExtra) != 0;
            case Field::Extra:
                return skip_ != 0;
            case Field::Name:
                return (flags_ & kFlagName) != 0;
            case Field::Comment:
                return (flags_ & kFlagComment) != 0;
            case Field::HeaderCrc:
                return (flags_ & kFlagHeaderCrc) != 0;
            default:
                return true;
        }
    }
    // On to the next field that the flags say is there.
    void next() {
        Field field = field_;
        do {
            field = static_cast<Field>(static_cast<int>(field) + 1);
        } while (!present(field));
        enter(field);
    }
    void judge() {
        switch (field_) {
            case Field::Magic:
                fault_ = bytes_[0] == 0x1F && bytes_[1] == 0x8B ? nullptr : kBadMagic;
                next();
                break;
            case Field::MethodFlags:
                flags_ = bytes_[1];
                fault_ = bytes_[0] != Z_DEFLATED          ? kBadMethod
                         : (flags_ & kFlagsReserved) != 0 ? kBadFlags
                                                          : nullptr;
                next();
                break;
            case Field::ExtraLength:
                skip_ = uint32_t{bytes_[0]} | uint32_t{bytes_[1]} << 8;
                next();
                break;
            case Field::HeaderCrc:
                fault_ = (uint32_t{bytes_[0]} | uint32_t{bytes_[1]} << 8) == (headerCrc_ & 0xFFFF)
                             ? nullptr
                             : kBadHeaderCrc;
                next();
                break;
            case Field::DataCrc:
                fault_ = le32(bytes_.data()) == dataCrc_ ? nullptr : kBadCrc;
                next();
                break;
            case Field::Length:
                fault_ = le32(bytes_.data()) == length_ ? nullptr : kBadLength;
                next();
                break;
            default:
                break;
        }
    }

    Field field_ = Field::Magic;
    std::array<uint8_t, 4> bytes_{};
    size_t fill_ = 0;
    size_t need_ = 2;
    uint8_t flags_ = 0;
    size_t skip_ = 0;
    uLong headerCrc_ = crc32_z(0, nullptr, 0);
    uint32_t dataCrc_ = 0;
    uint32_t length_ = 0;
    const char* fault_ = nullptr;
};

}  // namespace

// ISA-L reads its input up to 8 bytes ahead into a bit buffer and keeps them when it stops.
// Where it stops for want of room, those whole bytes are handed back to the caller, who offers
// them again; where the stream ends, they are the bytes after it. Either way the count of input
// consumed is zlib's.
class Inflater::Engine {
public:
    explicit Engine(InflateFormat format) : format_(format) { reset(); }

    bool reset() {
        isal_inflate_init(&state_);
        // The gzip CRC-32 is computed as the data is inflated, while it is in the cache.
        state_.crc_flag = format_ == InflateFormat::Gzip ? ISAL_GZIP_NO_HDR : ISAL_DEFLATE;
        fields_ = GzipFields{};
        if (format_ == InflateFormat::Raw) {
            fields_.skipHeader();
        }
        produced_ = 0;
        bodyEnded_ = false;
        message_ = nullptr;
        failed_ = false;
        return true;
    }

    bool setDictionary(std::span<const uint8_t> history) {
        return isal_inflate_set_dict(&state_, const_cast<uint8_t*>(history.data()),
                                     clamped(history.size())) == COMP_OK;
    }

    DecodeStep decode(std::span<const uint8_t> input, std::span<uint8_t> output) {
        if (failed_) {
            return {0, 0, DecodeStatus::Corrupt};
        }
        if (fields_.field() == GzipFields::Field::Done ||
            (bodyEnded_ && format_ == InflateFormat::Raw)) {
            return {0, 0, DecodeStatus::End};
        }
        DecodeStep step;
        if (fields_.field() < GzipFields::Field::Body) {
            step.consumed = fields_.take(input);
            if (fields_.fault() != nullptr) {
                return fail(step, fields_.fault());
            }
        }
        if (fields_.field() == GzipFields::Field::Body) {
            if (!inflateBody(input.subspan(step.consumed), output, step)) {
                return step;
            }
        }
        if (format_ == InflateFormat::Raw) {
            step.status = bodyEnded_ ? DecodeStatus::End : DecodeStatus::More;
            return step;
        }
        if (fields_.field() != GzipFields::Field::Done && bodyEnded_) {
            step.consumed += fields_.take(input.subspan(step.consumed));
            if (fields_.fault() != nullptr) {
                return fail(step, fields_.fault());
            }
        }
        step.status =
            fields_.field() == GzipFields::Field::Done ? DecodeStatus::End : DecodeStatus::More;
        return step;
    }

    const char* message() const { return message_; }

private:
    // False when the step failed.
    bool inflateBody(std::span<const uint8_t> in, std::span<uint8_t> out, DecodeStep& step) {
        state_.next_in = const_cast<uint8_t*>(in.data());
        state_.avail_in = clamped(in.size());
        state_.next_out = out.data();
        state_.avail_out = clamped(out.size());
        const int rc = isal_inflate(&state_);
        size_t consumed = static_cast<size_t>(state_.next_in - in.data());
        step.produced = static_cast<size_t>(state_.next_out - out.data());
        produced_ += step.produced;
        if (rc != ISAL_DECOMP_OK) {
            fail(step, isalFault(rc));
            step.consumed += consumed;
            return false;
        }
        const size_t ahead = static_cast<size_t>(std::max(state_.read_in_length, 0)) / 8;
        if (state_.block_state == ISAL_BLOCK_FINISH) {
            if (ahead > consumed) {
                // The end lies in bytes already reported consumed: the caller cannot be told
                // where the data stops, so the stream is not taken.
                fail(step, "invalid stream end");
                return false;
            }
            consumed -= ahead;
            bodyEnded_ = true;
            if (format_ == InflateFormat::Gzip) {
                fields_.startTrailer(state_.crc, static_cast<uint32_t>(produced_));
            }
        } else if (state_.avail_out == 0 && state_.tmp_in_size == 0) {
            const size_t back = std::min(ahead, consumed);
            const int kept = state_.read_in_length - static_cast<int>(8 * back);
            state_.read_in =
                kept >= 64 ? state_.read_in : state_.read_in & ((uint64_t{1} << kept) - 1);
            state_.read_in_length = kept;
            consumed -= back;
        }
        step.consumed += consumed;
        return true;
    }

    DecodeStep fail(DecodeStep step, const char* message) {
        failed_ = true;
        message_ = message;
        step.status = DecodeStatus::Corrupt;
        return step;
    }

    InflateFormat format_;
    inflate_state state_{};
    GzipFields fields_;
    uint64_t produced_ = 0;
    bool bodyEnded_ = false;
    bool failed_ = false;
    const char* message_ = nullptr;
};

#else

class Inflater::Engine {
public:
    explicit Engine(InflateFormat format)
        : ready_(inflateInit2(&stream_, format == InflateFormat::Gzip ? 16 + MAX_WBITS
                                                                      : -MAX_WBITS) == Z_OK) {}
    ~Engine() {
        if (ready_) {
            inflateEnd(&stream_);
        }
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    bool reset() { return ready_ && inflateReset(&stream_) == Z_OK; }

    bool setDictionary(std::span<const uint8_t> history) {
        return ready_ &&
               inflateSetDictionary(&stream_, history.data(), clamped(history.size())) == Z_OK;
    }

    DecodeStep decode(std::span<const uint8_t> input, std::span<uint8_t> output) {
        if (!ready_) {
            return {0, 0, DecodeStatus::NoMemory};
        }
        stream_.next_in = const_cast<Bytef*>(input.data());
        stream_.avail_in = clamped(input.size());
        stream_.next_out = output.data();
        stream_.avail_out = clamped(output.size());
        const int rc = inflate(&stream_, Z_NO_FLUSH);
        DecodeStep step{static_cast<size_t>(stream_.next_in - input.data()),
                        static_cast<size_t>(stream_.next_out - output.data())};
        switch (rc) {
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

    const char* message() const { return stream_.msg; }

private:
    z_stream stream_{};
    bool ready_;
};

#endif

Inflater::Inflater(InflateFormat format) : engine_(std::make_unique<Engine>(format)) {}

Inflater::~Inflater() = default;

DecodeStep Inflater::decode(std::span<const uint8_t> input, bool /*lastInput*/,
                            std::span<uint8_t> output) {
    return engine_->decode(input, output);
}

bool Inflater::reset() {
    return engine_->reset();
}

bool Inflater::setDictionary(std::span<const uint8_t> history) {
    return engine_->setDictionary(history);
}

std::string Inflater::fault() const {
    return inflateFault(engine_->message());
}

}  // namespace varnelt::archiver
