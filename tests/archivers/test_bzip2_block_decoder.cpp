// The own bzip2 block decoder against libbz2, which decoded every block before it: the same pass
// or fail and the same output, on every kind of block libbz2's encoder writes at every level, on
// damaged and cut copies of them, on blocks written by hand at the edges of the format, and on
// the fuzz corpus.
#include <gtest/gtest.h>

#include <QDir>

#include <bzlib.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "archivers/bzip2_bits.h"
#include "archivers/bzip2_block_decoder.h"
#include "tests/fuzz/bzip2_block_reference.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

namespace bz = archiver::bzip2;
using bzip2_reference::agree;
using bzip2_reference::byLibbz2;
using bzip2_reference::byOwnDecoder;
using bzip2_reference::Decoded;
using bzip2_reference::Framed;
using bzip2_reference::randomised;

constexpr size_t kBound = size_t{64} << 20;

std::vector<uint8_t> bytesOf(const QByteArray& data) {
    return {data.begin(), data.end()};
}

std::vector<uint8_t> compress(const std::vector<uint8_t>& data, int level) {
    std::vector<char> out(data.size() + data.size() / 50 + 1024);
    auto length = static_cast<unsigned>(out.size());
    std::vector<char> in(data.begin(), data.end());
    EXPECT_EQ(BZ2_bzBuffToBuffCompress(out.data(), &length, in.data(),
                                       static_cast<unsigned>(in.size()), level, 0, 0),
              BZ_OK);
    return {out.begin(), out.begin() + length};
}

// The blocks of a stream written by libbz2, each as bits [begin, end) from its magic on.
struct Span {
    uint64_t begin = 0;
    uint64_t end = 0;
};

std::vector<Span> blocksOf(const std::vector<uint8_t>& stream) {
    std::vector<Span> blocks;
    uint64_t from = bz::kHeaderBits;
    while (const auto magic = bz::findMagic(stream, from)) {
        if (!blocks.empty()) {
            blocks.back().end = magic->bit;
        }
        if (magic->end) {
            break;
        }
        blocks.push_back({magic->bit, 0});
        from = magic->bit + bz::kMagicBits;
    }
    return blocks;
}

Framed frameOf(const std::vector<uint8_t>& stream, Span block, uint8_t levelDigit) {
    return {bz::frameBlock(stream, block.begin, block.end, levelDigit),
            block.end - block.begin - bz::kMagicBits};
}

void flipBit(std::vector<uint8_t>& bytes, uint64_t bit) {
    bytes[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
}

// Writes count bits of value into a frame's block bits, from bit on (after the magic).
void writeBits(std::vector<uint8_t>& frame, uint64_t bit, uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
        const uint64_t at = bzip2_reference::kFrameBlockByte * 8 + bit + i;
        const auto mask = static_cast<uint8_t>(0x80 >> (at % 8));
        frame[at / 8] = value >> (count - 1 - i) & 1 ? frame[at / 8] | mask : frame[at / 8] & ~mask;
    }
}

// A block the own decoder accepts is one libbz2 accepts, with the same output; one it refuses
// libbz2 refuses too, but for a randomised block, which is left to libbz2.
Decoded expectAlike(bz::BlockDecoder& decoder, const Framed& framed) {
    const Decoded own = byOwnDecoder(decoder, framed.frame, framed.blockBits, kBound);
    const Decoded reference = byLibbz2(framed.frame, kBound);
    if (own.good || !randomised(framed)) {
        EXPECT_TRUE(agree(own, reference))
            << "own " << (own.good ? "accepts" : "refuses") << " a block libbz2 "
            << (reference.good ? "accepts" : "refuses");
    }
    return own;
}

struct Sample {
    const char* what;
    std::vector<uint8_t> data;
};

std::vector<uint8_t> noise(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    for (uint8_t& byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    return bytes;
}

std::vector<Sample> samples() {
    std::vector<uint8_t> everyByte(300000);
    for (size_t i = 0; i < everyByte.size(); ++i) {
        everyByte[i] = static_cast<uint8_t>(i * 7 + i / 256);
    }
    std::vector<uint8_t> repeats(3000000);
    for (size_t i = 0; i < repeats.size(); ++i) {
        repeats[i] = static_cast<uint8_t>(i / 255 % 251);
    }
    std::vector<uint8_t> mixedRuns;
    for (uint32_t i = 0; mixedRuns.size() < 400000; ++i) {
        mixedRuns.insert(mixedRuns.end(), i * 37 % 9, static_cast<uint8_t>(i % 3 + 'x'));
    }
    return {{"text", bytesOf(sampleContent(1000000, 11))},
            {"noise", noise(1000000, 5)},
            {"every byte value", everyByte},
            {"one byte value", std::vector<uint8_t>(250000, 'a')},
            {"runs of 255", repeats},
            {"short runs", mixedRuns},
            {"one byte", {'z'}},
            {"two bytes", {'z', 'y'}},
            {"four alike", {'q', 'q', 'q', 'q'}},
            {"five alike", {'q', 'q', 'q', 'q', 'q'}}};
}

TEST(Bzip2BlockDecoder, EveryBlockLibbz2WritesDecodesAlikeAtEveryLevel) {
    bz::BlockDecoder decoder;
    for (const Sample& sample : samples()) {
        for (int level = 1; level <= 9; ++level) {
            SCOPED_TRACE(std::string(sample.what) + " at level " + std::to_string(level));
            const std::vector<uint8_t> stream = compress(sample.data, level);
            std::vector<uint8_t> joined;
            for (const Span block : blocksOf(stream)) {
                const Decoded own =
                    expectAlike(decoder, frameOf(stream, block, static_cast<uint8_t>('0' + level)));
                EXPECT_TRUE(own.good);
                joined.insert(joined.end(), own.output.begin(), own.output.end());
            }
            EXPECT_EQ(joined, sample.data);
        }
    }
}

// Blocks as full as their level allows, taken for streams of every level: those of a higher
// level hold more than a lower one allows, and both decoders refuse them alike.
TEST(Bzip2BlockDecoder, BlocksBeyondTheLevelsSizeAreRefusedAlike) {
    bz::BlockDecoder decoder;
    const std::vector<uint8_t> data = noise(950000, 8);
    for (int level = 1; level <= 9; ++level) {
        const std::vector<uint8_t> stream = compress(data, level);
        const Span first = blocksOf(stream).front();
        for (int digit = 1; digit <= 9; ++digit) {
            SCOPED_TRACE("level " + std::to_string(level) + " as " + std::to_string(digit));
            const Decoded own =
                expectAlike(decoder, frameOf(stream, first, static_cast<uint8_t>('0' + digit)));
            EXPECT_EQ(own.good, digit >= level);
        }
    }
}

TEST(Bzip2BlockDecoder, DamagedAndCutBlocksAreRefusedAlike) {
    bz::BlockDecoder decoder;
    const std::vector<Sample> kinds = {{"text", bytesOf(sampleContent(60000, 3))},
                                       {"noise", noise(40000, 9)},
                                       {"runs", std::vector<uint8_t>(30000, 'r')},
                                       {"every byte value", noise(256, 1)}};
    for (const Sample& kind : kinds) {
        SCOPED_TRACE(kind.what);
        const std::vector<uint8_t> stream = compress(kind.data, 1);
        const Span block = blocksOf(stream).front();
        const Framed intact = frameOf(stream, block, '1');
        ASSERT_TRUE(expectAlike(decoder, intact).good);
        const uint64_t bits = intact.blockBits;
        // Every bit of the headers, tables and selectors, then bits spread over the rest.
        std::vector<uint64_t> flips;
        for (uint64_t bit = 0; bit < std::min<uint64_t>(bits, 700); ++bit) {
            flips.push_back(bit);
        }
        for (uint64_t i = 1; i < 150; ++i) {
            flips.push_back(bits * i / 150);
        }
        int refused = 0;
        for (const uint64_t bit : flips) {
            SCOPED_TRACE("bit " + std::to_string(bit));
            Framed damaged = intact;
            flipBit(damaged.frame, bzip2_reference::kFrameBlockByte * 8 + bit);
            refused += expectAlike(decoder, damaged).good ? 0 : 1;
        }
        EXPECT_GT(refused, static_cast<int>(flips.size()) * 9 / 10);
        // Cut short, or taken with bits of the next magic.
        for (const uint64_t cut :
             {uint64_t{1}, uint64_t{7}, uint64_t{8}, uint64_t{100}, bits / 2, bits - 60}) {
            SCOPED_TRACE("cut by " + std::to_string(cut));
            EXPECT_FALSE(
                expectAlike(decoder, frameOf(stream, {block.begin, block.end - cut}, '1')).good);
        }
        for (const uint64_t more : {1, 8, 40}) {
            SCOPED_TRACE("longer by " + std::to_string(more));
            EXPECT_FALSE(
                expectAlike(decoder, frameOf(stream, {block.begin, block.end + more}, '1')).good);
        }
        // The start of the output moved, in range or not.
        for (const uint32_t origin :
             {0u, 1u, 12345u, 99999u, 100000u, 100010u, 100011u, 0xFFFFFFu}) {
            SCOPED_TRACE("origin " + std::to_string(origin));
            Framed moved = intact;
            writeBits(moved.frame, 33, origin, 24);
            expectAlike(decoder, moved);
        }
        for (const uint32_t crc : {0u, 0xFFFFFFFFu}) {
            Framed wrong = intact;
            writeBits(wrong.frame, 0, crc, 32);
            EXPECT_FALSE(expectAlike(decoder, wrong).good);
        }
    }
}

// A frame's bits, one a place, to be edited and framed again.
using Bits = std::vector<bool>;

Bits bitsOf(const std::vector<uint8_t>& bytes, uint64_t from, uint64_t count) {
    Bits bits;
    for (uint64_t bit = from; bit < from + count; ++bit) {
        bits.push_back(bytes[bit / 8] >> (7 - bit % 8) & 1);
    }
    return bits;
}

uint32_t valueAt(const Bits& bits, size_t at, unsigned count) {
    uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i) {
        value = value << 1 | uint32_t{bits[at + i]};
    }
    return value;
}

// The block's bits after its magic as a frame of the given level.
Framed frameBits(const Bits& block, uint8_t levelDigit) {
    Bits bits = bitsOf({0x31, 0x41, 0x59, 0x26, 0x53, 0x59}, 0, bz::kMagicBits);
    bits.insert(bits.end(), block.begin(), block.end());
    std::vector<uint8_t> bytes((bits.size() + 7) / 8);
    for (size_t i = 0; i < bits.size(); ++i) {
        bytes[i / 8] |= static_cast<uint8_t>(bits[i] << (7 - i % 8));
    }
    return {bz::frameBlock(bytes, 0, bits.size(), levelDigit), block.size()};
}

// Where the selector count lies in a block's bits, and where the selectors end.
struct Selectors {
    size_t countAt = 0;
    uint32_t count = 0;
    size_t lastAt = 0;  // the last selector
    size_t end = 0;
};

Selectors selectorsOf(const Bits& block) {
    size_t at = 32 + 1 + 24;
    const uint32_t ranges = valueAt(block, at, 16);
    at += 16 + 16 * static_cast<size_t>(std::popcount(ranges));
    at += 3;
    Selectors selectors{at, valueAt(block, at, 15)};
    at += 15;
    for (uint32_t i = 0; i < selectors.count; ++i) {
        selectors.lastAt = at;
        while (block[at++]) {
        }
    }
    selectors.end = at;
    return selectors;
}

// libbz2 reads up to 32767 selectors and drops those past 18002; fewer than the block's groups
// of symbols are refused.
TEST(Bzip2BlockDecoder, SelectorsPastTheBoundAreDroppedAndTooFewRefusedAlike) {
    bz::BlockDecoder decoder;
    const std::vector<uint8_t> stream = compress(noise(200000, 4), 1);
    const Span block = blocksOf(stream).front();
    const Bits intact =
        bitsOf(stream, block.begin + bz::kMagicBits, block.end - block.begin - bz::kMagicBits);
    const Selectors selectors = selectorsOf(intact);
    ASSERT_GT(selectors.count, 1000u);
    for (const uint32_t count : {selectors.count + 1, uint32_t{18002}, uint32_t{18003},
                                 uint32_t{20000}, uint32_t{32767}}) {
        SCOPED_TRACE("selectors " + std::to_string(count));
        Bits more = intact;
        for (unsigned i = 0; i < 15; ++i) {
            more[selectors.countAt + i] = count >> (14 - i) & 1;
        }
        more.insert(more.begin() + static_cast<ptrdiff_t>(selectors.end), count - selectors.count,
                    false);
        EXPECT_TRUE(expectAlike(decoder, frameBits(more, '1')).good);
    }
    // One selector fewer: the last group of symbols has none.
    Bits fewer = intact;
    for (unsigned i = 0; i < 15; ++i) {
        fewer[selectors.countAt + i] = (selectors.count - 1) >> (14 - i) & 1;
    }
    fewer.erase(fewer.begin() + static_cast<ptrdiff_t>(selectors.lastAt),
                fewer.begin() + static_cast<ptrdiff_t>(selectors.end));
    EXPECT_FALSE(expectAlike(decoder, frameBits(fewer, '1')).good);
    EXPECT_TRUE(expectAlike(decoder, frameBits(intact, '1')).good);
}

// The fuzzer's inputs: arbitrary bits framed as a block, mutated from real blocks.
TEST(Bzip2BlockDecoder, FuzzCorpusDecodesAlike) {
    const QDir corpus(QStringLiteral(VARNELT_FUZZ_CORPUS "/bzip2_decoder"));
    if (!corpus.exists()) {
        GTEST_SKIP() << "no fuzz corpus in " << corpus.path().toStdString();
    }
    bz::BlockDecoder decoder;
    int blocks = 0;
    int accepted = 0;
    for (const QString& name : corpus.entryList(QDir::Files)) {
        SCOPED_TRACE(name.toStdString());
        const std::vector<uint8_t> input = bytesOf(readFile(corpus.filePath(name)));
        if (const auto framed = bzip2_reference::frameFuzzInput(input)) {
            accepted += expectAlike(decoder, *framed).good ? 1 : 0;
            ++blocks;
        }
    }
    EXPECT_GT(blocks, 50);
    EXPECT_GE(accepted, 5);
}

}  // namespace
}  // namespace varnelt::test
