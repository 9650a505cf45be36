#include "deflate64.h"

#include <algorithm>
#include <cstring>

namespace varnelt::archiver {

namespace {

// Length symbols 257 to 285. Deflate64 gives 285 the base 3 and 16 extra bits, so that one
// symbol covers every length up to 65538.
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
// Distance symbols 0 to 31; 30 and 31 reach back to 65536.
constexpr uint32_t kDistanceBase[32] = {1,    2,    3,    4,     5,     7,     9,     13,
                                        17,   25,   33,   49,    65,    97,    129,   193,
                                        257,  385,  513,  769,   1025,  1537,  2049,  3073,
                                        4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                        7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
// The order in which a dynamic block sends the code-length code's lengths.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};
constexpr unsigned kCodeLengthSymbols = 19;
constexpr unsigned kLengthSymbols = 29;
constexpr unsigned kDistanceSymbols = 32;
constexpr unsigned kEndOfBlock = 256;

uint32_t lowBits(uint64_t bits, unsigned count) {
    return static_cast<uint32_t>(bits & ((uint64_t{1} << count) - 1));
}

uint32_t reverseBits(uint32_t code, unsigned length) {
    uint32_t reversed = 0;
    for (unsigned i = 0; i < length; ++i) {
        reversed = (reversed << 1) | ((code >> i) & 1);
    }
    return reversed;
}

}  // namespace

bool HuffmanCode::build(std::span<const uint8_t> lengths, bool codeLengthCode) {
    count_.fill(0);
    fast_.fill(0);
    for (const uint8_t length : lengths) {
        ++count_[length];
    }
    count_[0] = 0;
    int left = 1;
    unsigned longest = 0;
    for (unsigned length = 1; length <= kMaxLength; ++length) {
        left = (left << 1) - count_[length];
        if (left < 0) {
            return false;
        }
        if (count_[length] != 0) {
            longest = length;
        }
    }
    if (left > 0 && longest > 0 && (codeLengthCode || longest != 1)) {
        return false;
    }
    std::array<uint16_t, kMaxLength + 1> offset{};
    std::array<uint32_t, kMaxLength + 1> nextCode{};
    uint32_t code = 0;
    for (unsigned length = 1; length <= kMaxLength; ++length) {
        offset[length] = static_cast<uint16_t>(offset[length - 1] + count_[length - 1]);
        code = (code + count_[length - 1]) << 1;
        nextCode[length] = code;
    }
    for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
        const unsigned length = lengths[symbol];
        if (length == 0) {
            continue;
        }
        sorted_[offset[length]++] = static_cast<uint16_t>(symbol);
        const uint32_t canonical = nextCode[length]++;
        if (length <= kFastBits) {
            const auto entry = static_cast<uint16_t>((symbol << 4) | length);
            for (uint32_t i = reverseBits(canonical, length); i < fast_.size(); i += 1u << length) {
                fast_[i] = entry;
            }
        }
    }
    return true;
}

HuffmanCode::Symbol HuffmanCode::decode(uint64_t bits, unsigned available) const {
    const uint16_t entry = fast_[bits & (fast_.size() - 1)];
    if (entry == 0) {
        return slowDecode(bits, available);
    }
    const auto length = static_cast<uint8_t>(entry & 15);
    if (length > available) {
        return {};
    }
    return {static_cast<uint16_t>(entry >> 4), length, false};
}

// Codes longer than the fast table reaches, read one bit at a time: the codes of one length
// are consecutive numbers, so each length needs one comparison.
HuffmanCode::Symbol HuffmanCode::slowDecode(uint64_t bits, unsigned available) const {
    int code = 0;
    int first = 0;
    int index = 0;
    for (unsigned length = 1; length <= kMaxLength; ++length) {
        if (length > available) {
            return {};
        }
        code |= static_cast<int>((bits >> (length - 1)) & 1);
        const int count = count_[length];
        if (code - count < first) {
            return {sorted_[index + (code - first)], static_cast<uint8_t>(length), false};
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return {0, 0, true};
}

Deflate64Decoder::Deflate64Decoder()
    : window_(std::make_unique_for_overwrite<uint8_t[]>(kWindowSize)) {}

DecodeStep Deflate64Decoder::decode(std::span<const uint8_t> input, bool lastInput,
                                    std::span<uint8_t> output) {
    Cursor cursor{input, output};
    Progress progress = Progress::Continue;
    while (progress == Progress::Continue && state_ != State::Done && state_ != State::Failed) {
        progress = step(cursor);
    }
    // Whole bytes left in the bit buffer go back to the caller. Only bytes of this call can be
    // in it (every call ends with fewer than 8 bits kept), and after the last block they are
    // not part of the stream at all.
    const size_t returned = std::min<size_t>(bitCount_ / 8, cursor.inPos);
    bitCount_ -= static_cast<unsigned>(returned * 8);
    bits_ = bitCount_ == 0 ? 0 : lowBits(bits_, bitCount_);

    DecodeStep result{cursor.inPos - returned, cursor.outPos, DecodeStatus::More};
    if (progress == Progress::Corrupt || state_ == State::Failed ||
        (progress == Progress::NeedInput && lastInput)) {
        state_ = State::Failed;
        result.status = DecodeStatus::Corrupt;
    } else if (state_ == State::Done) {
        result.status = DecodeStatus::End;
    }
    return result;
}

Deflate64Decoder::Progress Deflate64Decoder::step(Cursor& cursor) {
    switch (state_) {
        case State::BlockHeader:
            return blockHeader(cursor);
        case State::StoredHeader:
            return storedHeader(cursor);
        case State::StoredCopy:
            return storedCopy(cursor);
        case State::TableSizes:
            return tableSizes(cursor);
        case State::CodeLengthCodes:
            return codeLengthCodes(cursor);
        case State::CodeLengths:
            return codeLengths(cursor);
        case State::Codes:
            return codes(cursor);
        case State::Done:
        case State::Failed:
            break;
    }
    return Progress::Corrupt;
}

void Deflate64Decoder::refill(Cursor& cursor) {
    while (bitCount_ <= 56 && cursor.inPos < cursor.input.size()) {
        bits_ |= uint64_t{cursor.input[cursor.inPos++]} << bitCount_;
        bitCount_ += 8;
    }
}

void Deflate64Decoder::emit(Cursor& cursor, uint8_t byte) {
    cursor.output[cursor.outPos++] = byte;
    window_[total_ & (kWindowSize - 1)] = byte;
    ++total_;
}

Deflate64Decoder::Progress Deflate64Decoder::endBlock() {
    state_ = finalBlock_ ? State::Done : State::BlockHeader;
    return Progress::Continue;
}

Deflate64Decoder::Progress Deflate64Decoder::blockHeader(Cursor& cursor) {
    refill(cursor);
    if (!have(3)) {
        return Progress::NeedInput;
    }
    finalBlock_ = peek(1) != 0;
    const uint32_t type = (bits_ >> 1) & 3;
    drop(3);
    switch (type) {
        case 0:
            state_ = State::StoredHeader;
            return Progress::Continue;
        case 1: {
            // The fixed codes: lengths 8, 9, 7, 8 for the literal ranges, 5 bits per distance.
            std::fill(lengths_.begin(), lengths_.begin() + 144, 8);
            std::fill(lengths_.begin() + 144, lengths_.begin() + 256, 9);
            std::fill(lengths_.begin() + 256, lengths_.begin() + 280, 7);
            std::fill(lengths_.begin() + 280, lengths_.begin() + 288, 8);
            literalCode_.build(std::span(lengths_).first(HuffmanCode::kMaxSymbols), false);
            std::fill(lengths_.begin(), lengths_.begin() + kDistanceSymbols, 5);
            distanceCode_.build(std::span(lengths_).first(kDistanceSymbols), false);
            state_ = State::Codes;
            return Progress::Continue;
        }
        case 2:
            state_ = State::TableSizes;
            return Progress::Continue;
        default:
            return Progress::Corrupt;
    }
}

Deflate64Decoder::Progress Deflate64Decoder::storedHeader(Cursor& cursor) {
    drop(bitCount_ % 8);  // a stored block starts on a byte boundary
    refill(cursor);
    if (!have(32)) {
        return Progress::NeedInput;
    }
    const uint32_t length = peek(16);
    const uint32_t complement = (bits_ >> 16) & 0xFFFF;
    if (length != (~complement & 0xFFFF)) {
        return Progress::Corrupt;
    }
    drop(32);
    storedLeft_ = length;
    state_ = State::StoredCopy;
    return Progress::Continue;
}

Deflate64Decoder::Progress Deflate64Decoder::storedCopy(Cursor& cursor) {
    while (storedLeft_ > 0) {
        if (cursor.outPos == cursor.output.size()) {
            return Progress::NeedRoom;
        }
        if (bitCount_ >= 8) {
            emit(cursor, static_cast<uint8_t>(peek(8)));
            drop(8);
            --storedLeft_;
            continue;
        }
        if (cursor.inPos == cursor.input.size()) {
            return Progress::NeedInput;
        }
        const size_t count = std::min({size_t{storedLeft_}, cursor.input.size() - cursor.inPos,
                                       cursor.output.size() - cursor.outPos});
        const uint8_t* bytes = &cursor.input[cursor.inPos];
        std::memcpy(&cursor.output[cursor.outPos], bytes, count);
        for (size_t done = 0; done < count;) {
            const size_t target = total_ & (kWindowSize - 1);
            const size_t run = std::min(count - done, kWindowSize - target);
            std::memcpy(&window_[target], bytes + done, run);
            total_ += run;
            done += run;
        }
        cursor.inPos += count;
        cursor.outPos += count;
        storedLeft_ -= static_cast<uint32_t>(count);
    }
    return endBlock();
}

Deflate64Decoder::Progress Deflate64Decoder::tableSizes(Cursor& cursor) {
    refill(cursor);
    if (!have(14)) {
        return Progress::NeedInput;
    }
    literalCount_ = peek(5) + 257;
    distanceCount_ = ((bits_ >> 5) & 31) + 1;
    codeLengthCount_ = ((bits_ >> 10) & 15) + 4;
    drop(14);
    std::fill(lengths_.begin(), lengths_.begin() + kCodeLengthSymbols, 0);
    index_ = 0;
    state_ = State::CodeLengthCodes;
    return Progress::Continue;
}

Deflate64Decoder::Progress Deflate64Decoder::codeLengthCodes(Cursor& cursor) {
    while (index_ < codeLengthCount_) {
        refill(cursor);
        if (!have(3)) {
            return Progress::NeedInput;
        }
        lengths_[kCodeLengthOrder[index_++]] = static_cast<uint8_t>(peek(3));
        drop(3);
    }
    if (!codeLengthCode_.build(std::span(lengths_).first(kCodeLengthSymbols), true)) {
        return Progress::Corrupt;
    }
    index_ = 0;
    state_ = State::CodeLengths;
    return Progress::Continue;
}

Deflate64Decoder::Progress Deflate64Decoder::codeLengths(Cursor& cursor) {
    const unsigned total = literalCount_ + distanceCount_;
    while (index_ < total) {
        refill(cursor);
        const HuffmanCode::Symbol symbol = codeLengthCode_.decode(bits_, bitCount_);
        if (symbol.invalid) {
            return Progress::Corrupt;
        }
        if (symbol.length == 0) {
            return Progress::NeedInput;
        }
        if (symbol.value < 16) {
            drop(symbol.length);
            lengths_[index_++] = static_cast<uint8_t>(symbol.value);
            continue;
        }
        // 16 repeats the previous length 3 to 6 times, 17 and 18 write runs of zeros.
        const unsigned extra = symbol.value == 16 ? 2 : symbol.value == 17 ? 3 : 7;
        const unsigned base = symbol.value == 18 ? 11 : 3;
        if (!have(symbol.length + extra)) {
            return Progress::NeedInput;
        }
        const unsigned repeat = base + lowBits(bits_ >> symbol.length, extra);
        if ((symbol.value == 16 && index_ == 0) || index_ + repeat > total) {
            return Progress::Corrupt;
        }
        const uint8_t value = symbol.value == 16 ? lengths_[index_ - 1] : 0;
        drop(symbol.length + extra);
        std::fill_n(lengths_.begin() + index_, repeat, value);
        index_ += repeat;
    }
    const std::span<const uint8_t> all(lengths_.data(), total);
    if (lengths_[kEndOfBlock] == 0 || !literalCode_.build(all.first(literalCount_), false) ||
        !distanceCode_.build(all.subspan(literalCount_), false)) {
        return Progress::Corrupt;
    }
    state_ = State::Codes;
    return Progress::Continue;
}

// A length and its distance are read in two steps, each of at most 31 bits, so that a full
// bit buffer always holds the next step.
Deflate64Decoder::Progress Deflate64Decoder::codes(Cursor& cursor) {
    for (;;) {
        if (copyLeft_ > 0) {
            if (const Progress copied = copyMatch(cursor); copied != Progress::Continue) {
                return copied;
            }
        }
        refill(cursor);
        if (matchLength_ == 0) {
            const HuffmanCode::Symbol symbol = literalCode_.decode(bits_, bitCount_);
            if (symbol.invalid) {
                return Progress::Corrupt;
            }
            if (symbol.length == 0) {
                return Progress::NeedInput;
            }
            if (symbol.value < kEndOfBlock) {
                if (cursor.outPos == cursor.output.size()) {
                    return Progress::NeedRoom;
                }
                drop(symbol.length);
                emit(cursor, static_cast<uint8_t>(symbol.value));
                continue;
            }
            if (symbol.value == kEndOfBlock) {
                drop(symbol.length);
                return endBlock();
            }
            const unsigned index = symbol.value - kEndOfBlock - 1;
            if (index >= kLengthSymbols) {
                return Progress::Corrupt;
            }
            if (!have(symbol.length + kLengthExtra[index])) {
                return Progress::NeedInput;
            }
            matchLength_ =
                kLengthBase[index] + lowBits(bits_ >> symbol.length, kLengthExtra[index]);
            drop(symbol.length + kLengthExtra[index]);
            refill(cursor);
        }
        const HuffmanCode::Symbol symbol = distanceCode_.decode(bits_, bitCount_);
        if (symbol.invalid) {
            return Progress::Corrupt;
        }
        if (symbol.length == 0) {
            return Progress::NeedInput;
        }
        const unsigned extra = kDistanceExtra[symbol.value];
        if (!have(symbol.length + extra)) {
            return Progress::NeedInput;
        }
        const uint32_t distance =
            kDistanceBase[symbol.value] + lowBits(bits_ >> symbol.length, extra);
        if (distance > total_) {
            return Progress::Corrupt;  // before the start of the data
        }
        drop(symbol.length + extra);
        copyLeft_ = matchLength_;
        copyDistance_ = distance;
        matchLength_ = 0;
    }
}

Deflate64Decoder::Progress Deflate64Decoder::copyMatch(Cursor& cursor) {
    constexpr size_t kMask = kWindowSize - 1;
    while (copyLeft_ > 0) {
        const size_t room = cursor.output.size() - cursor.outPos;
        if (room == 0) {
            return Progress::NeedRoom;
        }
        const size_t target = total_ & kMask;
        const size_t source = (total_ - copyDistance_) & kMask;
        size_t count = std::min(size_t{copyLeft_}, room);
        if (copyDistance_ < 16) {
            // Short distances repeat bytes just written: byte by byte.
            for (size_t i = 0; i < count; ++i) {
                const uint8_t byte = window_[(source + i) & kMask];
                window_[(target + i) & kMask] = byte;
                cursor.output[cursor.outPos + i] = byte;
            }
        } else {
            // Runs that neither wrap around the window nor overlap each other; a distance of
            // the whole window finds its bytes already in place.
            const size_t gap = source < target ? target - source : source - target;
            count = std::min({count, kWindowSize - source, kWindowSize - target});
            if (gap != 0) {
                count = std::min(count, gap);
                std::memcpy(&window_[target], &window_[source], count);
            }
            std::memcpy(&cursor.output[cursor.outPos], &window_[target], count);
        }
        total_ += count;
        cursor.outPos += count;
        copyLeft_ -= static_cast<uint32_t>(count);
    }
    return Progress::Continue;
}

}  // namespace varnelt::archiver
