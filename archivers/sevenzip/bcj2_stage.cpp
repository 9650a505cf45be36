// x86 BCJ2: CALL (E8), JMP (E9) and Jcc (0F 8x) targets moved out of the code into streams
// of their own, and a range-coded bit per opcode saying whether its target was moved.
#include "decoders.h"
#include "fault.h"

namespace varnelt::archiver::sevenzip {
namespace {

constexpr size_t kMainWindowSize = 256 * 1024;
constexpr size_t kSideWindowSize = 64 * 1024;
constexpr uint32_t kTopValue = 1u << 24;
constexpr unsigned kProbabilityBits = 11;
constexpr uint16_t kProbabilityHalf = 1u << (kProbabilityBits - 1);
constexpr unsigned kMoveBits = 5;

bool isJump(uint8_t previous, uint8_t byte) {
    return (byte & 0xFE) == 0xE8 || (previous == 0x0F && (byte & 0xF0) == 0x80);
}

uint8_t nextByte(InputWindow& window) {
    const std::span<const uint8_t> bytes = window.available();
    if (bytes.empty()) {
        fail(VARNELT_ARC_ERROR_FILE_CRC, "BCJ2: a stream ends early");
    }
    window.consume(1);
    return bytes[0];
}

class Bcj2Stage final : public Stage {
public:
    Bcj2Stage(std::array<std::unique_ptr<Stage>, 4> inputs, uint64_t size)
        : Stage(size),
          main_(std::move(inputs[0]), kMainWindowSize),
          call_(std::move(inputs[1]), kSideWindowSize),
          jump_(std::move(inputs[2]), kSideWindowSize),
          selector_(std::move(inputs[3]), kSideWindowSize) {
        probabilities_.fill(kProbabilityHalf);
    }

private:
    size_t produce(std::span<uint8_t> out) override {
        startSelector();
        size_t count = 0;
        while (count < out.size()) {
            if (pendingUsed_ < pending_.size()) {
                out[count++] = pending_[pendingUsed_++];
                continue;
            }
            const std::span<const uint8_t> code = main_.available();
            if (code.empty()) {
                break;
            }
            // Plain bytes up to and including the next opcode that may carry a target.
            const size_t limit = std::min(code.size(), out.size() - count);
            size_t taken = 0;
            bool opcode = false;
            while (taken < limit && !opcode) {
                const uint8_t byte = code[taken++];
                out[count++] = byte;
                opcode = isJump(previous_, byte);
                if (!opcode) {
                    previous_ = byte;
                }
            }
            main_.consume(taken);
            position_ += taken;
            if (opcode && position_ < size()) {
                convert(out[count - 1]);
            } else if (opcode) {
                previous_ = out[count - 1];
            }
        }
        return count;
    }

    // Decodes whether the opcode's target was moved and, if so, queues the target as the
    // 32-bit relative address the code had.
    void convert(uint8_t opcode) {
        uint16_t& probability = opcode == 0xE8   ? probabilities_[previous_]
                                : opcode == 0xE9 ? probabilities_[256]
                                                 : probabilities_[257];
        if (!decodeBit(probability)) {
            previous_ = opcode;
            return;
        }
        InputWindow& targets = opcode == 0xE8 ? call_ : jump_;
        uint32_t absolute = 0;
        for (int i = 0; i < 4; ++i) {
            absolute = absolute << 8 | nextByte(targets);
        }
        const uint32_t relative = absolute - static_cast<uint32_t>(position_ + 4);
        for (size_t i = 0; i < pending_.size(); ++i) {
            pending_[i] = static_cast<uint8_t>(relative >> (8 * i));
        }
        pendingUsed_ = 0;
        position_ += 4;
        previous_ = static_cast<uint8_t>(relative >> 24);
    }

    void startSelector() {
        if (selectorStarted_) {
            return;
        }
        for (int i = 0; i < 5; ++i) {
            code_ = code_ << 8 | nextByte(selector_);
        }
        selectorStarted_ = true;
    }

    bool decodeBit(uint16_t& probability) {
        const uint32_t bound = (range_ >> kProbabilityBits) * probability;
        bool bit = false;
        if (code_ < bound) {
            range_ = bound;
            probability += ((1u << kProbabilityBits) - probability) >> kMoveBits;
        } else {
            range_ -= bound;
            code_ -= bound;
            probability -= probability >> kMoveBits;
            bit = true;
        }
        if (range_ < kTopValue) {
            range_ <<= 8;
            code_ = code_ << 8 | nextByte(selector_);
        }
        return bit;
    }

    // A range coder flushed by its encoder leaves the code at zero once its last byte is in.
    void finish() override {
        startSelector();
        if (code_ != 0 || !main_.exhausted() || !call_.exhausted() || !jump_.exhausted() ||
            !selector_.exhausted()) {
            fail(VARNELT_ARC_ERROR_FILE_CRC, "BCJ2: data after the end of a stream");
        }
    }

    InputWindow main_;
    InputWindow call_;
    InputWindow jump_;
    InputWindow selector_;
    std::array<uint16_t, 258> probabilities_{};
    uint32_t range_ = 0xFFFFFFFF;
    uint32_t code_ = 0;
    bool selectorStarted_ = false;
    uint8_t previous_ = 0;
    uint64_t position_ = 0;  // bytes of output so far, queued target bytes included
    std::array<uint8_t, 4> pending_{};
    size_t pendingUsed_ = pending_.size();
};

}  // namespace

std::unique_ptr<Stage> bcj2Stage(std::array<std::unique_ptr<Stage>, 4> inputs, uint64_t size) {
    return std::make_unique<Bcj2Stage>(std::move(inputs), size);
}

}  // namespace varnelt::archiver::sevenzip
