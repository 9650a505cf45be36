#include "bzip2_blocks.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <new>
#include <optional>
#include <span>
#include <system_error>
#include <vector>

#include "bzip2_bits.h"
#include "bzip2_block_jobs.h"
#include "core.h"
#include "failure.h"

namespace varnelt::archiver {
namespace {

using bzip2::bitsAt;
using bzip2::kHeaderBits;
using bzip2::kMagicBits;

constexpr unsigned kCrcBits = 32;
constexpr size_t kReadSize = size_t{1} << 20;
// More than any block an encoder writes takes (900,000 symbols of at most 20 bits, and their
// tables): a longer stretch without a magic is left to the sequential decoder to judge.
constexpr uint64_t kLongestBlockBits = uint64_t{4} << 23;
constexpr int kMostBlocksInFlight = 16;

class BlockBzip2 final : public Bzip2Decoder {
public:
    BlockBzip2(int threads, Bzip2Reader read)
        : inFlightLimit_(std::min(2 * threads, kMostBlocksInFlight)),
          read_(std::move(read)),
          workers_(std::min(threads, kMostBlocksInFlight)) {}

    ~BlockBzip2() override { abandonBlocks(); }

    Bzip2Step decode(std::span<const uint8_t> in, bool inputEnded,
                     std::span<uint8_t> out) override {
        holdback_ = std::max<uint64_t>(holdback_, out.size());
        const Bzip2Step step = decodeStream(in, inputEnded, out);
        position_ += step.consumed;
        if (step.status == Bzip2Status::StreamEnd) {
            mode_ = Mode::Starting;
        }
        return step;
    }

    bool restart() override { return mode_ == Mode::Starting; }

private:
    // Blocks: handing on the output of blocks decoded side by side. Draining: every block and
    // the stream's end vouched for and handed on; the stream's bytes are consumed up to its
    // end. Replay: decoding the stream again by libbz2 alone.
    enum class Mode { Starting, Blocks, Draining, Replay };

    Bzip2Step decodeStream(std::span<const uint8_t> in, bool inputEnded, std::span<uint8_t> out) {
        if (mode_ == Mode::Starting) {
            startStream(in);
        }
        if (mode_ == Mode::Blocks) {
            try {
                if (const std::optional<size_t> produced = deliver(out)) {
                    return {0, *produced};
                }
            } catch (const std::bad_alloc&) {
                replay();
            }
        }
        if (mode_ == Mode::Draining) {
            return drain(in, inputEnded);
        }
        return replayStep(in, inputEnded, out);
    }

    void startStream(std::span<const uint8_t> in) {
        streamStart_ = position_;
        window_.clear();
        windowStart_ = 0;
        fileEnded_ = false;
        combined_ = 0;
        scanned_ = false;
        delivered_ = 0;
        frontDelivered_ = 0;
        mode_ = Mode::Blocks;
        // Header and first block magic, as read ahead and as fed. An empty stream, or one that
        // is not even that, is no work for threads.
        const size_t checked = std::min<size_t>(in.size(), kHeaderBits / 8);
        if (!readMore() || window_.size() < (kHeaderBits + kMagicBits) / 8 ||
            std::memcmp(window_.data(), "BZh", 3) != 0 || window_[3] < '1' || window_[3] > '9' ||
            std::memcmp(window_.data(), in.data(), checked) != 0 ||
            bitsAt(window_, kHeaderBits, kMagicBits) != bzip2::kBlockMagic) {
            replay();
            return;
        }
        level_ = window_[3];
        nextBlock_ = kHeaderBits;
        searchFrom_ = kHeaderBits + kMagicBits;
    }

    // The next output handed on: its size, nullopt when the mode changed.
    std::optional<size_t> deliver(std::span<uint8_t> out) {
        for (;;) {
            if (!schedule()) {
                replay();
                return std::nullopt;
            }
            if (inFlight_.empty()) {
                mode_ = Mode::Draining;
                return std::nullopt;
            }
            BlockJob& front = *inFlight_.front();
            workers_.wait(front);
            if (!front.good) {
                replay();
                return std::nullopt;
            }
            const std::optional<uint64_t> allowed = deliverable();
            if (!allowed) {
                replay();
                return std::nullopt;
            }
            if (delivered_ < *allowed) {
                const size_t count = static_cast<size_t>(std::min<uint64_t>(
                    {out.size(), *allowed - delivered_, front.size - frontDelivered_}));
                const std::optional<size_t> produced = copyFront(front, out.first(count));
                if (!produced) {
                    replay();
                    return std::nullopt;
                }
                frontDelivered_ += *produced;
                delivered_ += *produced;
                if (frontDelivered_ == front.size) {
                    inFlight_.pop_front();
                    frontDelivered_ = 0;
                    bigBlock_.reset();
                }
                return produced;
            }
            // Held back until the next block is vouched for.
            const auto pending =
                std::find_if(inFlight_.begin(), inFlight_.end(),
                             [this](const auto& job) { return !workers_.done(*job); });
            if (pending != inFlight_.end()) {
                workers_.wait(**pending);
            } else if (!scanNext()) {
                replay();
                return std::nullopt;
            }
        }
    }

    // Where the output that may be handed on ends: the blocks vouched for in a row, less what a
    // failing sequential step would drop unless the stream's end is vouched for too. nullopt
    // when a block failed, so that no more will be.
    std::optional<uint64_t> deliverable() {
        uint64_t end = delivered_ - frontDelivered_;
        for (const auto& job : inFlight_) {
            if (!workers_.done(*job)) {
                return end > holdback_ ? end - holdback_ : 0;
            }
            if (!job->good) {
                return std::nullopt;
            }
            end += job->size;
        }
        if (scanned_) {
            return end;
        }
        return end > holdback_ ? end - holdback_ : 0;
    }

    // count bytes of the front block's output into out: the count produced, nullopt when
    // decoding it again failed.
    std::optional<size_t> copyFront(const BlockJob& front, std::span<uint8_t> out) {
        if (front.kept) {
            std::memcpy(out.data(), front.output.data() + frontDelivered_, out.size());
            return out.size();
        }
        if (!bigBlock_) {
            bigBlock_.emplace();
            if (!decodeBlock(*bigBlock_, front)) {
                return std::nullopt;
            }
        }
        const bzip2::BlockPiece piece = bigBlock_->produce(out);
        if (piece.state == bzip2::BlockOutput::Bad || piece.produced == 0) {
            return std::nullopt;
        }
        return piece.produced;
    }

    // Frames and hands out blocks until enough are in flight or the stream's end is found:
    // false when the blocks cannot vouch for the stream.
    bool schedule() {
        while (!scanned_ && inFlight_.size() < inFlightLimit_) {
            if (!scanNext()) {
                return false;
            }
        }
        return true;
    }

    // Finds where the block at nextBlock_ ends and hands it out; at the end magic, checks the
    // stream's combined CRC. False when that cannot be vouched for.
    bool scanNext() {
        if (scanned_) {
            return true;
        }
        std::optional<bzip2::Magic> magic;
        while (!(magic = bzip2::findMagic(window_, searchFrom_ - windowStart_ * 8))) {
            const uint64_t windowEnd = (windowStart_ + window_.size()) * 8;
            if (windowEnd - nextBlock_ > kLongestBlockBits) {
                return false;
            }
            // A magic not wholly in the window begins in its last 47 bits.
            searchFrom_ = std::max(searchFrom_, windowEnd - std::min<uint64_t>(windowEnd, 47));
            if (!readMore()) {
                return false;
            }
        }
        const uint64_t windowBits = windowStart_ * 8;
        const uint64_t end = magic->bit + windowBits;
        if (!magic->end && bzip2::endsInEndMagicStart(window_, magic->bit)) {
            return false;
        }
        const uint32_t crc =
            static_cast<uint32_t>(bitsAt(window_, nextBlock_ - windowBits + kMagicBits, kCrcBits));
        const uint64_t begin = nextBlock_ - windowBits;
        auto job = std::make_shared<BlockJob>(bzip2::frameBlock(window_, begin, magic->bit, level_),
                                              magic->bit - begin - kMagicBits);
        workers_.submit(job);
        inFlight_.push_back(std::move(job));
        combined_ = bzip2::combineCrc(combined_, crc);
        if (magic->end) {
            while ((windowStart_ + window_.size()) * 8 < end + kMagicBits + kCrcBits) {
                if (!readMore()) {
                    return false;
                }
            }
            if (bitsAt(window_, magic->bit + kMagicBits, kCrcBits) != combined_) {
                return false;
            }
            streamEnd_ = (end + kMagicBits + kCrcBits + 7) / 8;
            scanned_ = true;
            window_ = {};
            return true;
        }
        nextBlock_ = end;
        searchFrom_ = end + kMagicBits;
        // Bytes before the next block are not needed again.
        if (const uint64_t unneeded = nextBlock_ / 8 - windowStart_; unneeded >= kReadSize) {
            window_.erase(window_.begin(), window_.begin() + static_cast<ptrdiff_t>(unneeded));
            windowStart_ += unneeded;
        }
        return true;
    }

    // Reads the stream's next bytes into the window: false at the file's end or on a failed
    // read, which the sequential decoder is left to meet.
    bool readMore() {
        if (fileEnded_) {
            return false;
        }
        const size_t old = window_.size();
        window_.resize(old + kReadSize);
        const ptrdiff_t got =
            read_(window_.data() + old, kReadSize, streamStart_ + windowStart_ + old);
        window_.resize(old + static_cast<size_t>(std::max<ptrdiff_t>(got, 0)));
        fileEnded_ = got <= 0;
        return got > 0;
    }

    Bzip2Step drain(std::span<const uint8_t> in, bool inputEnded) {
        const uint64_t left = streamStart_ + streamEnd_ - position_;
        const size_t taken = static_cast<size_t>(std::min<uint64_t>(in.size(), left));
        if (taken == left) {
            return {taken, 0, Bzip2Status::StreamEnd};
        }
        if (taken == 0 && inputEnded) {
            // The file was cut while it was being read.
            return {0, 0, Bzip2Status::Failed,
                    failWith(VARNELT_ARC_ERROR_EOF, "unexpected end of the bzip2 stream")};
        }
        return {taken, 0, Bzip2Status::More};
    }

    void abandonBlocks() {
        workers_.dropPending();
        for (const auto& job : inFlight_) {
            job->abandoned.store(true, std::memory_order_relaxed);
        }
        inFlight_.clear();
        bigBlock_.reset();
        window_ = {};
    }

    // From here on the stream is decoded as if by one thread, from its start; the steps so far
    // consumed none of it.
    void replay() {
        abandonBlocks();
        mode_ = Mode::Replay;
        replay_ = sequentialBzip2Decoder();
        skip_ = delivered_;
    }

    Bzip2Step replayStep(std::span<const uint8_t> in, bool inputEnded, std::span<uint8_t> out) {
        if (!replay_) {
            return {0, 0, Bzip2Status::Failed, failWith(VARNELT_ARC_ERROR_ENOUGH_MEMORY, {})};
        }
        Bzip2Step step = replay_->decode(in, inputEnded, out);
        const size_t skipped = static_cast<size_t>(std::min<uint64_t>(skip_, step.produced));
        if (step.status != Bzip2Status::Failed && skipped > 0) {
            std::memmove(out.data(), out.data() + skipped, step.produced - skipped);
            step.produced -= skipped;
            skip_ -= skipped;
        }
        return step;
    }

    const size_t inFlightLimit_;
    const Bzip2Reader read_;
    uint64_t position_ = 0;  // file offset of the next byte fed
    uint64_t holdback_ = 0;  // the largest output buffer a step was given
    Mode mode_ = Mode::Starting;

    // The stream being decoded; bits and bytes count from its start.
    uint64_t streamStart_ = 0;  // file offset
    uint8_t level_ = '9';
    std::vector<uint8_t> window_;  // read ahead, from the byte windowStart_
    uint64_t windowStart_ = 0;
    bool fileEnded_ = false;
    uint64_t nextBlock_ = 0;   // the bit where the next block to frame begins
    uint64_t searchFrom_ = 0;  // the bit from which its end is looked for
    uint32_t combined_ = 0;    // of the blocks framed so far
    bool scanned_ = false;     // the end magic was found, with a matching combined CRC
    uint64_t streamEnd_ = 0;   // the byte after the stream, once scanned_
    uint64_t delivered_ = 0;   // bytes of output handed on

    std::deque<std::shared_ptr<BlockJob>> inFlight_;  // in stream order
    uint64_t frontDelivered_ = 0;
    // Decoding the front block again, its output not kept.
    std::optional<bzip2::BlockDecoder> bigBlock_;

    std::unique_ptr<Bzip2Decoder> replay_;
    uint64_t skip_ = 0;  // output of the replay already handed on

    BlockWorkers workers_;  // last, so that its threads stop before the jobs' owners go
};

}  // namespace

std::unique_ptr<Bzip2Decoder> blockBzip2Decoder(int threads, Bzip2Reader read) {
    try {
        return std::make_unique<BlockBzip2>(std::max(threads, 2), std::move(read));
    } catch (const std::system_error&) {
        return sequentialBzip2Decoder();  // no threads to be had
    }
}

}  // namespace varnelt::archiver
