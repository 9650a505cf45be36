#include "lzh_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#include "crc16.h"

namespace varnelt::archiver {
namespace {

constexpr unsigned kMaxCodeLength = 16;
// The char tree: 256 literals, then match lengths from 3 to 256.
constexpr size_t kCharCodes = 510;
constexpr unsigned kMinMatch = 3;
constexpr size_t kMaxMatch = 256;
// The tree that codes the char tree's code lengths: 0 to 2 start runs of unused codes, 3 and
// above give a length of that minus 2.
constexpr size_t kTempCodes = 19;
constexpr size_t kMaxPositionCodes = 17;

struct MethodTraits {
    // Position codes: 0 and 1 are distances 1 and 2, code p >= 2 is followed by p - 1 bits.
    unsigned positionCodes;
    unsigned positionCountBits;  // bits of the position tree's code count
};

MethodTraits traitsOf(LzhMethod method) {
    switch (method) {
        case LzhMethod::Lh4:
        case LzhMethod::Lh5:
            return {14, 4};
        case LzhMethod::Lh6:
            return {16, 5};
        case LzhMethod::Lh7:
            break;
    }
    return {17, 5};
}

// The farthest a match reaches back: 2^16 for lh7's largest position code.
constexpr size_t kHistory = size_t{1} << (kMaxPositionCodes - 1);
constexpr size_t kInputSize = 64 * 1024;
constexpr size_t kChunk = 256 * 1024;
// A match may run past the chunk, and copies write whole words.
constexpr size_t kSlack = kMaxMatch + 16;

// The stream's bits, first bit first, read in large pieces from the source.
class BitReader {
public:
    BitReader(const LzhDecoder::Source& source, uint8_t* buffer)
        : source_(source), buffer_(buffer) {}

    // The next bits in the top of the word; bits past the data read as zeros.
    uint64_t window() const { return bits_; }

    // Tops the word up to at least 56 bits while the data lasts.
    void refill() {
        if (end_ - next_ >= 8) [[likely]] {
            uint64_t word;
            std::memcpy(&word, next_, sizeof word);
            if constexpr (std::endian::native == std::endian::little) {
                word = __builtin_bswap64(word);
            }
            bits_ |= word >> count_;
            next_ += (63 - count_) >> 3;
            count_ |= 56;
            return;
        }
        while (count_ <= 56) {
            if (next_ == end_ && !fetch()) {
                return;
            }
            bits_ |= uint64_t{*next_++} << (56 - count_);
            count_ += 8;
        }
    }

    // Drops n bits; false when fewer are left, as the data has run out.
    bool skip(unsigned n) {
        if (n > count_) [[unlikely]] {
            return false;
        }
        bits_ <<= n;
        count_ -= n;
        return true;
    }

    // The next n bits (1 to 16) as a number.
    bool read(unsigned n, uint32_t& value) {
        refill();
        value = static_cast<uint32_t>(bits_ >> (64 - n));
        return skip(n);
    }

private:
    bool fetch() {
        if (ended_) {
            return false;
        }
        const size_t got = source_(buffer_, kInputSize);
        if (got == 0) {
            ended_ = true;
            return false;
        }
        next_ = buffer_;
        end_ = buffer_ + std::min(got, kInputSize);
        return true;
    }

    const LzhDecoder::Source& source_;
    uint8_t* const buffer_;
    const uint8_t* next_ = nullptr;
    const uint8_t* end_ = nullptr;
    uint64_t bits_ = 0;
    unsigned count_ = 0;  // bits of bits_ that hold data
    bool ended_ = false;
};

}  // namespace

// Not in the unnamed namespace: the workspace, which the header names, holds these.
namespace lzh_detail {

// A canonical Huffman code as a lookup table: one look at the first kRootBits bits, and a
// second for longer codes. Entries hold symbol << 8 | code length, or kLink | subtable << 8.
template <size_t kSymbols, unsigned kRootBits>
class HuffmanTable {
public:
    // False when the lengths describe no complete prefix code (too many or too few codes),
    // or a length exceeds 16.
    bool build(const uint8_t* lengths, size_t count) {
        std::array<uint16_t, kMaxCodeLength + 2> first{};
        for (size_t s = 0; s < count; ++s) {
            if (lengths[s] > kMaxCodeLength) {
                return false;
            }
            ++first[lengths[s] + 1u];
        }
        uint32_t space = 0;
        unsigned longest = 0;
        for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
            space += uint32_t{first[length + 1]} << (kMaxCodeLength - length);
            longest = first[length + 1] != 0 ? length : longest;
        }
        if (space != uint32_t{1} << kMaxCodeLength) {
            return false;
        }
        // Symbols in code order: by length, then by value.
        first[1] = 0;
        for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
            first[length + 1] = static_cast<uint16_t>(first[length + 1] + first[length]);
        }
        std::array<uint16_t, kSymbols> sorted;
        size_t used = 0;
        for (size_t s = 0; s < count; ++s) {
            if (lengths[s] != 0) {
                sorted[first[lengths[s]]++] = static_cast<uint16_t>(s);
                ++used;
            }
        }
        subBits_ = longest > kRootBits ? longest - kRootBits : 0;
        size_t nextSubtable = kRootSize;
        uint32_t subtablePrefix = std::numeric_limits<uint32_t>::max();
        size_t subtable = 0;
        uint32_t code = 0;
        unsigned length = lengths[sorted[0]];
        for (size_t i = 0; i < used; ++code, ++i) {
            const unsigned symbolLength = lengths[sorted[i]];
            code <<= symbolLength - length;
            length = symbolLength;
            const uint32_t entry = uint32_t{sorted[i]} << 8 | length;
            if (length <= kRootBits) {
                const size_t at = size_t{code} << (kRootBits - length);
                std::fill_n(entries_.get() + at, size_t{1} << (kRootBits - length), entry);
                continue;
            }
            const unsigned below = length - kRootBits;
            const uint32_t prefix = code >> below;
            if (prefix != subtablePrefix) {
                subtablePrefix = prefix;
                subtable = nextSubtable;
                nextSubtable += size_t{1} << subBits_;
                entries_[prefix] = kLink | static_cast<uint32_t>(subtable) << 8;
            }
            const size_t at = subtable + (size_t{code & ((1u << below) - 1)} << (subBits_ - below));
            std::fill_n(entries_.get() + at, size_t{1} << (subBits_ - below), entry);
        }
        return true;
    }

    // Every code is symbol, taking no bits.
    void single(uint16_t symbol) { std::fill_n(entries_.get(), kRootSize, uint32_t{symbol} << 8); }

    // The entry of the code at the top of window.
    uint32_t lookup(uint64_t window) const {
        const uint32_t entry = entries_[window >> (64 - kRootBits)];
        if ((entry & kLink) == 0) [[likely]] {
            return entry;
        }
        return entries_[(entry >> 8 & 0xFFFF) + (window << kRootBits >> (64 - subBits_))];
    }

private:
    static constexpr uint32_t kLink = uint32_t{1} << 31;
    static constexpr size_t kRootSize = size_t{1} << kRootBits;
    // Each code longer than kRootBits may start a subtable of at most 2^(16 - kRootBits).
    static constexpr size_t kCapacity =
        kRootSize + std::min(kSymbols, kRootSize) * (size_t{1} << (kMaxCodeLength - kRootBits));

    // Apart from the rest, so that a bounds checker watches it.
    std::unique_ptr<uint32_t[]> entries_ = std::make_unique_for_overwrite<uint32_t[]>(kCapacity);
    unsigned subBits_ = 0;
};

}  // namespace lzh_detail

std::optional<LzhMethod> lzhMethodNamed(std::string_view name) {
    if (name == "-lh4-") {
        return LzhMethod::Lh4;
    }
    if (name == "-lh5-") {
        return LzhMethod::Lh5;
    }
    if (name == "-lh6-") {
        return LzhMethod::Lh6;
    }
    if (name == "-lh7-") {
        return LzhMethod::Lh7;
    }
    return std::nullopt;
}

// Each buffer and table is allocated on its own, so that a bounds checker watches each.
struct LzhDecoder::Workspace {
    std::unique_ptr<uint8_t[]> input = std::make_unique_for_overwrite<uint8_t[]>(kInputSize);
    lzh_detail::HuffmanTable<kCharCodes, 12> charTree;
    lzh_detail::HuffmanTable<kTempCodes, 8> tempTree;
    lzh_detail::HuffmanTable<kMaxPositionCodes, 8> positionTree;
    // The history the next match may reach, then the chunk being decoded.
    std::unique_ptr<uint8_t[]> output =
        std::make_unique_for_overwrite<uint8_t[]>(kHistory + kChunk + kSlack);
};

namespace {

// One call of LzhDecoder::decode, over its workspace (a parameter, as its type is private).
template <typename Workspace>
class Decoding {
public:
    Decoding(Workspace& w, LzhMethod method, const LzhDecoder::Source& source, uint64_t size,
             const LzhDecoder::Sink& sink)
        : w_(w), traits_(traitsOf(method)), in_(source, w.input.get()), size_(size), sink_(sink) {}

    LzhResult run() {
        LzhOutcome outcome = LzhOutcome::Done;
        while (start_ + pos_ < size_) {
            if (blockCommands_ == 0) {
                outcome = readBlockHeader();
            } else {
                outcome = decodeCommands(
                    static_cast<size_t>(std::min<uint64_t>(kBufferEnd, size_ - start_)));
                if (pos_ >= kBufferEnd) {
                    slide();
                }
            }
            if (outcome != LzhOutcome::Done) {
                break;
            }
        }
        const size_t end = static_cast<size_t>(std::min<uint64_t>(pos_, size_ - start_));
        deliver(end);
        return {start_ + end, crc_, outcome};
    }

private:
    static constexpr size_t kBufferEnd = kHistory + kChunk;

    LzhOutcome decodeCommands(size_t limit) {
        uint8_t* const out = w_.output.get();
        size_t pos = pos_;
        LzhOutcome outcome = LzhOutcome::Done;
        while (pos < limit && blockCommands_ > 0) {
            --blockCommands_;
            in_.refill();
            uint32_t entry = w_.charTree.lookup(in_.window());
            if (!in_.skip(entry & 0xFF)) {
                outcome = LzhOutcome::DataEnded;
                break;
            }
            const uint32_t symbol = entry >> 8;
            if (symbol < 256) {
                out[pos++] = static_cast<uint8_t>(symbol);
                continue;
            }
            entry = w_.positionTree.lookup(in_.window());
            if (!in_.skip(entry & 0xFF)) {
                outcome = LzhOutcome::DataEnded;
                break;
            }
            size_t distance = (entry >> 8) + 1;
            if (distance > 2) {
                const unsigned extra = static_cast<unsigned>(distance) - 2;
                const auto low = static_cast<size_t>(in_.window() >> (64 - extra));
                if (!in_.skip(extra)) {
                    outcome = LzhOutcome::DataEnded;
                    break;
                }
                distance = (size_t{1} << extra) + low + 1;
            }
            // Nothing precedes the first byte: a reach beyond it is no stream an encoder makes.
            if (distance > start_ + pos) {
                outcome = LzhOutcome::Damaged;
                break;
            }
            const size_t length = symbol - 256 + kMinMatch;
            copyMatch(out + pos, distance, length);
            pos += length;
        }
        pos_ = pos;
        return outcome;
    }

    static void copyMatch(uint8_t* to, size_t distance, size_t length) {
        const uint8_t* from = to - distance;
        if (distance >= 8) {
            // Each word read was written before: the words may overrun into the slack.
            for (size_t i = 0; i < length; i += 8) {
                std::memcpy(to + i, from + i, 8);
            }
        } else if (distance == 1) {
            std::memset(to, *from, length);
        } else {
            for (size_t i = 0; i < length; ++i) {
                to[i] = from[i];
            }
        }
    }

    // Hands the output up to end on, then keeps only the history a match may reach.
    void slide() {
        deliver(pos_);
        uint8_t* const out = w_.output.get();
        std::memmove(out, out + pos_ - kHistory, kHistory);
        start_ += pos_ - kHistory;
        pos_ = kHistory;
        delivered_ = kHistory;
    }

    void deliver(size_t end) {
        if (end <= delivered_) {
            return;
        }
        const uint8_t* const from = w_.output.get() + delivered_;
        crc_ = crc16Update(crc_, from, end - delivered_);
        if (sink_) {
            sink_(std::span<const uint8_t>(from, end - delivered_));
        }
        delivered_ = end;
    }

    LzhOutcome readBlockHeader() {
        uint32_t commands = 0;
        if (!in_.read(16, commands)) {
            return LzhOutcome::DataEnded;
        }
        // A block of 0 commands is passed over, as liblhasa, which judged these entries before,
        // passes it.
        blockCommands_ = commands;
        LzhOutcome outcome = readTempTree();
        if (outcome == LzhOutcome::Done) {
            outcome = readCharTree();
        }
        if (outcome == LzhOutcome::Done) {
            outcome = readPositionTree();
        }
        return outcome;
    }

    // A code length of the temp and position trees: 0 to 6 in three bits, or 7 and a run of
    // 1 bits ended by a 0, each adding one.
    LzhOutcome readLength(uint8_t& length) {
        uint32_t value = 0;
        if (!in_.read(3, value)) {
            return LzhOutcome::DataEnded;
        }
        if (value == 7) {
            for (uint32_t bit = 1;; ++value) {
                if (!in_.read(1, bit)) {
                    return LzhOutcome::DataEnded;
                }
                if (bit == 0) {
                    break;
                }
                if (value == kMaxCodeLength) {
                    return LzhOutcome::Damaged;
                }
            }
        }
        length = static_cast<uint8_t>(value);
        return LzhOutcome::Done;
    }

    // A tree given as one code: a count of 0, then the code every symbol decodes to.
    template <typename Table>
    LzhOutcome readSingle(Table& table, unsigned bits, size_t symbols) {
        uint32_t symbol = 0;
        if (!in_.read(bits, symbol)) {
            return LzhOutcome::DataEnded;
        }
        if (symbol >= symbols) {
            return LzhOutcome::Damaged;
        }
        table.single(static_cast<uint16_t>(symbol));
        return LzhOutcome::Done;
    }

    LzhOutcome readTempTree() {
        constexpr unsigned kCountBits = 5;
        uint32_t count = 0;
        if (!in_.read(kCountBits, count)) {
            return LzhOutcome::DataEnded;
        }
        if (count == 0) {
            return readSingle(w_.tempTree, kCountBits, kTempCodes);
        }
        if (count > kTempCodes) {
            return LzhOutcome::Damaged;
        }
        std::array<uint8_t, kTempCodes> lengths{};
        for (size_t i = 0; i < count;) {
            if (const LzhOutcome outcome = readLength(lengths[i++]); outcome != LzhOutcome::Done) {
                return outcome;
            }
            // The third length is followed by a count of unused codes, up to 3.
            if (i == 3) {
                uint32_t unused = 0;
                if (!in_.read(2, unused)) {
                    return LzhOutcome::DataEnded;
                }
                i += unused;
            }
        }
        return w_.tempTree.build(lengths.data(), lengths.size()) ? LzhOutcome::Done
                                                                 : LzhOutcome::Damaged;
    }

    LzhOutcome readCharTree() {
        constexpr unsigned kCountBits = 9;
        uint32_t count = 0;
        if (!in_.read(kCountBits, count)) {
            return LzhOutcome::DataEnded;
        }
        if (count == 0) {
            return readSingle(w_.charTree, kCountBits, kCharCodes);
        }
        if (count > kCharCodes) {
            return LzhOutcome::Damaged;
        }
        std::array<uint8_t, kCharCodes> lengths{};
        for (size_t i = 0; i < count;) {
            in_.refill();
            const uint32_t entry = w_.tempTree.lookup(in_.window());
            if (!in_.skip(entry & 0xFF)) {
                return LzhOutcome::DataEnded;
            }
            const uint32_t code = entry >> 8;
            if (code > 2) {
                lengths[i++] = static_cast<uint8_t>(code - 2);
                continue;
            }
            // A run of unused codes: 1, 3 to 18, or 20 to 531, cut where the count ends.
            uint32_t run = 1;
            if (code > 0) {
                const unsigned bits = code == 1 ? 4 : 9;
                if (!in_.read(bits, run)) {
                    return LzhOutcome::DataEnded;
                }
                run += code == 1 ? 3 : 20;
            }
            i = std::min<size_t>(count, i + run);
        }
        return w_.charTree.build(lengths.data(), lengths.size()) ? LzhOutcome::Done
                                                                 : LzhOutcome::Damaged;
    }

    LzhOutcome readPositionTree() {
        uint32_t count = 0;
        if (!in_.read(traits_.positionCountBits, count)) {
            return LzhOutcome::DataEnded;
        }
        if (count == 0) {
            return readSingle(w_.positionTree, traits_.positionCountBits, traits_.positionCodes);
        }
        if (count > traits_.positionCodes) {
            return LzhOutcome::Damaged;
        }
        std::array<uint8_t, kMaxPositionCodes> lengths{};
        for (size_t i = 0; i < count; ++i) {
            if (const LzhOutcome outcome = readLength(lengths[i]); outcome != LzhOutcome::Done) {
                return outcome;
            }
        }
        return w_.positionTree.build(lengths.data(), lengths.size()) ? LzhOutcome::Done
                                                                     : LzhOutcome::Damaged;
    }

    Workspace& w_;
    const MethodTraits traits_;
    BitReader in_;
    const uint64_t size_;
    const LzhDecoder::Sink& sink_;
    uint64_t start_ = 0;    // the place in the output of output[0]
    size_t pos_ = 0;        // output[pos_] is the next byte to decode
    size_t delivered_ = 0;  // output before it went into the CRC and to the sink
    uint32_t blockCommands_ = 0;
    uint16_t crc_ = 0;
};

}  // namespace

LzhDecoder::LzhDecoder() : workspace_(std::make_unique<Workspace>()) {}

LzhDecoder::~LzhDecoder() = default;

LzhResult LzhDecoder::decode(LzhMethod method, const Source& source, uint64_t size,
                             const Sink& sink) {
    return Decoding<Workspace>(*workspace_, method, source, size, sink).run();
}

}  // namespace varnelt::archiver
