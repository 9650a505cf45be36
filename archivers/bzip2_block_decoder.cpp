#include "bzip2_block_decoder.h"

#include <algorithm>
#include <cstring>

#include "bzip2_crc.h"

namespace varnelt::archiver::bzip2 {
namespace {

constexpr uint32_t kLevelSize = 100000;
constexpr unsigned kGroupSize = 50;
constexpr unsigned kRunA = 0;
constexpr unsigned kRunB = 1;
// libbz2's bound on a run's place value, well above any a valid block needs.
constexpr uint32_t kRunStepLimit = uint32_t{2} << 20;

// Moves recent[position] to the front. Most positions are small: those are shifted inline, as a
// library call would cost more than the move.
void moveToFront(std::array<uint8_t, 256>& recent, unsigned position) {
    const uint8_t byte = recent[position];
    if (position < 16) {
        for (unsigned i = position; i > 0; --i) {
            recent[i] = recent[i - 1];
        }
    } else {
        std::memmove(recent.data() + 1, recent.data(), position);
    }
    recent[0] = byte;
}

}  // namespace

bool BlockDecoder::decode(std::span<const uint8_t> bytes, uint64_t bitLength, unsigned level) {
    if (level < 1 || level > 9) {
        return false;
    }
    const uint32_t limit = level * kLevelSize;
    if (capacity_ < limit) {
        bytes_.reset();
        links_.reset();
        steps_.reset();
        capacity_ = 0;
        bytes_ = std::make_unique_for_overwrite<uint8_t[]>(limit);
        links_ = std::make_unique_for_overwrite<uint32_t[]>(limit);
        steps_ = std::make_unique_for_overwrite<uint64_t[]>(limit);
        capacity_ = limit;
    }
    BitReader reader(bytes);
    storedCrc_ = reader.take(32);
    if (reader.take(1) != 0) {
        return false;  // randomised
    }
    origin_ = reader.take(24);
    if (origin_ > limit + 10 || !readTables(reader) || !readSymbols(reader, bitLength, limit) ||
        reader.position() != bitLength || origin_ >= size_) {
        return false;
    }
    linkVector();
    joinLinks();
    rewind();
    return true;
}

bool BlockDecoder::readTables(BitReader& reader) {
    const uint32_t ranges = reader.take(16);
    usedCount_ = 0;
    for (unsigned range = 0; range < 16; ++range) {
        if ((ranges >> (15 - range) & 1) == 0) {
            continue;
        }
        const uint32_t inRange = reader.take(16);
        for (unsigned i = 0; i < 16; ++i) {
            if (inRange >> (15 - i) & 1) {
                used_[usedCount_++] = static_cast<uint8_t>(range * 16 + i);
            }
        }
    }
    if (usedCount_ == 0) {
        return false;
    }
    const unsigned alphabet = usedCount_ + 2;
    const unsigned groups = reader.take(3);
    if (groups < 2 || groups > kMaxGroups) {
        return false;
    }
    const uint32_t selectorCount = reader.take(15);
    if (selectorCount == 0) {
        return false;
    }
    // Selectors are sent move-to-front coded, in unary; those past libbz2's bound are read and
    // dropped, as it does.
    std::array<uint8_t, kMaxGroups> order{0, 1, 2, 3, 4, 5};
    for (uint32_t i = 0; i < selectorCount; ++i) {
        unsigned position = 0;
        while (reader.take(1) != 0) {
            if (++position >= groups) {
                return false;
            }
        }
        if (i < kMaxSelectors) {
            const uint8_t group = order[position];
            std::copy_backward(order.begin(), order.begin() + position,
                               order.begin() + position + 1);
            order[0] = group;
            selectors_[i] = group;
        }
    }
    selectorCount_ = std::min(selectorCount, kMaxSelectors);
    std::array<uint8_t, HuffmanTable::kMaxAlphabet> lengths{};
    for (unsigned group = 0; group < groups; ++group) {
        unsigned length = reader.take(5);
        for (unsigned symbol = 0; symbol < alphabet; ++symbol) {
            for (;;) {
                if (length < 1 || length > HuffmanTable::kMaxLength) {
                    return false;
                }
                if (reader.take(1) == 0) {
                    break;
                }
                length = reader.take(1) == 0 ? length + 1 : length - 1;
            }
            lengths[symbol] = static_cast<uint8_t>(length);
        }
        tables_[group].build(std::span(lengths).first(alphabet));
    }
    return true;
}

bool BlockDecoder::readSymbols(BitReader& reader, uint64_t bitLength, uint32_t limit) {
    const unsigned endOfBlock = usedCount_ + 1;
    std::array<uint8_t, 256> recent = used_;  // move-to-front order
    counts_.fill(0);
    uint8_t* const bytes = bytes_.get();
    uint32_t size = 0;
    uint32_t run = 0;
    uint32_t step = 1;  // the place value of the next RUNA or RUNB
    uint32_t nextSelector = 0;
    unsigned groupLeft = 0;
    const HuffmanTable* table = nullptr;
    for (;;) {
        if (groupLeft == 0) {
            // A block cut short reads zeros from here on: stop at the next group.
            if (nextSelector == selectorCount_ || reader.position() > bitLength) {
                return false;
            }
            table = &tables_[selectors_[nextSelector++]];
            groupLeft = kGroupSize;
        }
        --groupLeft;
        reader.refill();
        const int symbol = table->decode(reader);
        if (symbol < 0) {
            return false;
        }
        if (symbol == kRunA || symbol == kRunB) {
            if (step >= kRunStepLimit) {
                return false;
            }
            run += (static_cast<uint32_t>(symbol) + 1) * step;
            step <<= 1;
            continue;
        }
        if (step > 1) {
            if (run > limit - size) {
                return false;
            }
            std::memset(bytes + size, recent[0], run);
            counts_[recent[0]] += run;
            size += run;
            run = 0;
            step = 1;
        }
        if (static_cast<unsigned>(symbol) == endOfBlock) {
            break;
        }
        if (size == limit) {
            return false;
        }
        moveToFront(recent, static_cast<unsigned>(symbol) - 1);
        const uint8_t byte = recent[0];
        bytes[size++] = byte;
        ++counts_[byte];
    }
    size_ = size;
    return true;
}

// Each place of the sorted block links to the next place of the output, beside its own byte, so
// that one load a byte walks the output.
void BlockDecoder::linkVector() {
    std::array<uint32_t, 256> next{};
    uint32_t sum = 0;
    for (size_t byte = 0; byte < next.size(); ++byte) {
        next[byte] = sum;
        sum += counts_[byte];
    }
    const uint8_t* const bytes = bytes_.get();
    uint32_t* const links = links_.get();
    for (uint32_t i = 0; i < size_; ++i) {
        const uint32_t place = next[bytes[i]]++;
        links[place] = i << 8 | bytes[place];
    }
}

// Walking the output is a chain of loads, each waiting for the one before, mostly from memory:
// links joined kStep at a time cut the chain that much, and the loads that join them do not wait
// on each other. The steps near the block's end run past it, as a link leads on from any place.
void BlockDecoder::joinLinks() {
    static_assert(kStep >= 1 && kStep <= 4, "a step's bytes fit beside its place in 64 bits");
    const uint32_t* const links = links_.get();
    uint64_t* const steps = steps_.get();
    for (uint32_t place = 0; place < size_; ++place) {
        uint32_t link = links[place];
        uint32_t bytes = link & 0xFF;
        for (unsigned i = 1; i < kStep; ++i) {
            link = links[link >> 8];
            bytes = bytes << 8 | (link & 0xFF);
        }
        steps[place] = uint64_t{link >> 8} << 32 | bytes;
    }
    start_ = links[origin_] >> 8;
}

void BlockDecoder::rewind() {
    place_ = start_;
    taken_ = 0;
    held_ = 0;
    heldCount_ = 0;
    last_ = 256;
    run_ = 0;
    repeats_ = 0;
    crc_ = 0xFFFFFFFFu;
}

BlockPiece BlockDecoder::produce(std::span<uint8_t> out) {
    const uint64_t* const steps = steps_.get();
    uint8_t* next = out.data();
    uint8_t* const end = next + out.size();
    uint32_t place = place_;
    uint32_t taken = taken_;
    uint32_t held = held_;
    unsigned heldCount = heldCount_;
    unsigned last = last_;
    unsigned run = run_;
    uint32_t repeats = repeats_;
    // Whole steps while the room holds their most output, with no state to resume.
    constexpr size_t kMostStepOutput = kStep * 256;
    while (repeats == 0 && heldCount == 0 && size_ - taken >= kStep &&
           static_cast<size_t>(end - next) >= kMostStepOutput) {
        const uint64_t step = steps[place];
        place = static_cast<uint32_t>(step >> 32);
        taken += kStep;
        for (unsigned shift = 8 * kStep; shift != 0;) {
            shift -= 8;
            const auto byte = static_cast<unsigned>(step >> shift & 0xFF);
            if (run == 4) {
                std::memset(next, static_cast<int>(last), byte);
                next += byte;
                run = 0;
                continue;
            }
            run = byte == last ? run + 1 : 1;
            last = byte;
            *next++ = static_cast<uint8_t>(byte);
        }
    }
    while (next != end) {
        if (repeats != 0) {
            const size_t count = std::min<size_t>(repeats, static_cast<size_t>(end - next));
            std::memset(next, static_cast<int>(last), count);
            next += count;
            repeats -= static_cast<uint32_t>(count);
            continue;
        }
        if (heldCount == 0) {
            if (taken == size_) {
                break;
            }
            const uint64_t step = steps[place];
            place = static_cast<uint32_t>(step >> 32);
            held = static_cast<uint32_t>(step) << (32 - 8 * kStep);  // the first byte highest
            heldCount = std::min(kStep, size_ - taken);
            taken += heldCount;
        }
        const unsigned byte = held >> 24;
        held <<= 8;
        --heldCount;
        // Four bytes alike are followed by a count of more; the byte after starts a new run
        // even when it is the same.
        if (run == 4) {
            repeats = byte;
            run = 0;
            continue;
        }
        run = byte == last ? run + 1 : 1;
        last = byte;
        *next++ = static_cast<uint8_t>(byte);
    }
    place_ = place;
    taken_ = taken;
    held_ = held;
    heldCount_ = heldCount;
    last_ = last;
    run_ = run;
    repeats_ = repeats;
    const size_t produced = static_cast<size_t>(next - out.data());
    crc_ = updateCrc(crc_, out.first(produced));
    if (repeats != 0 || heldCount != 0 || taken != size_) {
        return {produced, BlockOutput::More};
    }
    const bool good = run != 4 && ~crc_ == storedCrc_;
    return {produced, good ? BlockOutput::End : BlockOutput::Bad};
}

}  // namespace varnelt::archiver::bzip2
