// The own lh4-lh7 decoder against liblhasa's, which decided every LZH entry before it: the same
// bytes, the same length and CRC, and the same pass or fail, on what jlha writes, on damaged
// copies of it, on streams written by hand and on the fuzz corpus.
#include <gtest/gtest.h>
#include <lhasa.h>

#include <QDir>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "archivers/core/little_endian.h"
#include "archivers/lzh_decoder.h"
#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
#include "tests/support/lzh_writer.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

using archiver::LzhDecoder;
using archiver::LzhMethod;
using archiver::LzhOutcome;

constexpr const char* kMethodNames[] = {"-lh4-", "-lh5-", "-lh6-", "-lh7-"};

const char* nameOf(LzhMethod method) {
    return kMethodNames[static_cast<int>(method)];
}

// liblhasa's decoders, which decided every LZH entry before the own decoder.
class Lhasa {
public:
    struct Output {
        QByteArray bytes;
        uint16_t crc = 0;
    };
    // Decodes up to size bytes, as libunlha32 fed liblhasa: until a read makes nothing.
    static Output decode(const char* method, const QByteArray& data, uint64_t size) {
        char name[6];
        std::memcpy(name, method, sizeof name);
        Feed feed{data};
        const std::unique_ptr<LHADecoder, Free> decoder(lha_decoder_new(
            lha_decoder_for_name(name), &Feed::read, &feed, static_cast<size_t>(size)));
        Output output;
        std::vector<uint8_t> piece(64 * 1024);
        for (size_t got; (got = lha_decoder_read(decoder.get(), piece.data(), piece.size())) > 0;) {
            output.bytes.append(reinterpret_cast<const char*>(piece.data()),
                                static_cast<qsizetype>(got));
        }
        output.crc = lha_decoder_get_crc(decoder.get());
        return output;
    }

private:
    struct Free {
        void operator()(LHADecoder* decoder) const { lha_decoder_free(decoder); }
    };
    struct Feed {
        const QByteArray& data;
        qsizetype next = 0;
        static size_t read(void* buffer, size_t size, void* self) {
            auto& feed = *static_cast<Feed*>(self);
            const auto count = std::min(static_cast<qsizetype>(size), feed.data.size() - feed.next);
            std::memcpy(buffer, feed.data.constData() + feed.next, static_cast<size_t>(count));
            feed.next += count;
            return static_cast<size_t>(count);
        }
    };
};

struct OwnOutput {
    QByteArray bytes;
    archiver::LzhResult result;
};

// Decodes with the own decoder, the data coming in pieces of the given size.
OwnOutput decodeOwn(LzhMethod method, const QByteArray& data, uint64_t size,
                    qsizetype piece = 1 << 20) {
    LzhDecoder decoder;
    qsizetype next = 0;
    OwnOutput output;
    output.result = decoder.decode(
        method,
        [&](uint8_t* buffer, size_t room) {
            const auto count = std::min({static_cast<qsizetype>(room), piece, data.size() - next});
            std::memcpy(buffer, data.constData() + next, static_cast<size_t>(count));
            next += count;
            return static_cast<size_t>(count);
        },
        size,
        [&](std::span<const uint8_t> bytes) {
            output.bytes.append(reinterpret_cast<const char*>(bytes.data()),
                                static_cast<qsizetype>(bytes.size()));
        });
    return output;
}

// One entry's data as an LZH header gives it.
struct StreamEntry {
    LzhMethod method = LzhMethod::Lh5;
    QByteArray data;
    uint64_t originalSize = 0;
    uint16_t crc = 0;
    qsizetype dataOffset = 0;
};

uint32_t le32At(const QByteArray& bytes, qsizetype at) {
    return archiver::le32(reinterpret_cast<const uint8_t*>(bytes.constData() + at));
}
uint16_t le16At(const QByteArray& bytes, qsizetype at) {
    return archiver::le16(reinterpret_cast<const uint8_t*>(bytes.constData() + at));
}

// Every header of levels 0 to 2 naming lh4 to lh7 anywhere in the file, with its data where it
// fits: enough for jlha's archives, and for whatever the fuzzer left behind.
QList<StreamEntry> streamsIn(const QByteArray& file) {
    QList<StreamEntry> entries;
    for (qsizetype at = file.indexOf("-lh"); at >= 2; at = file.indexOf("-lh", at + 1)) {
        const qsizetype start = at - 2;
        const auto method = archiver::lzhMethodNamed(file.mid(at, 5).toStdString());
        if (!method || start + 24 > file.size()) {
            continue;
        }
        StreamEntry entry{*method, {}, le32At(file, start + 11)};
        uint64_t compressed = le32At(file, start + 7);
        const uint8_t level = static_cast<uint8_t>(file[start + 20]);
        if (level == 0 || level == 1) {
            const qsizetype base = static_cast<uint8_t>(file[start]) + 2;
            const qsizetype nameLength = static_cast<uint8_t>(file[start + 21]);
            if (22 + nameLength + 2 > base || start + base > file.size()) {
                continue;
            }
            entry.crc = le16At(file, start + 22 + nameLength);
            entry.dataOffset = start + base;
            // Level 1: extended headers follow, counted in the compressed size.
            for (qsizetype size = level == 1 ? le16At(file, start + base - 2) : 0; size > 0;
                 size = le16At(file, entry.dataOffset - 2)) {
                if (entry.dataOffset + size > file.size() || compressed < uint64_t(size)) {
                    entry.dataOffset = file.size() + 1;
                    break;
                }
                entry.dataOffset += size;
                compressed -= static_cast<uint64_t>(size);
            }
        } else if (level == 2) {
            entry.crc = le16At(file, start + 21);
            entry.dataOffset = start + le16At(file, start);
        } else {
            continue;
        }
        if (entry.dataOffset <= file.size() &&
            compressed <= static_cast<uint64_t>(file.size() - entry.dataOffset)) {
            entry.data = file.mid(entry.dataOffset, static_cast<qsizetype>(compressed));
            entries.append(entry);
        }
    }
    return entries;
}

class LzhDecoderTest : public ::testing::Test {
protected:
    // Both decoders on one entry's data: the same bytes until either stops, and where the own
    // decoder finds no damage, the same end. Answers whether the own decoder passes the entry.
    bool decodeAlike(const StreamEntry& entry, uint64_t bound = uint64_t{1} << 32) {
        const uint64_t size = std::min(entry.originalSize, bound);
        const Lhasa::Output theirs = Lhasa::decode(nameOf(entry.method), entry.data, size);
        const OwnOutput ours = decodeOwn(entry.method, entry.data, size);
        EXPECT_EQ(ours.result.length, static_cast<uint64_t>(ours.bytes.size()));
        EXPECT_EQ(ours.result.crc, lzhCrc16(ours.bytes));
        const qsizetype common = std::min(ours.bytes.size(), theirs.bytes.size());
        EXPECT_EQ(ours.bytes.left(common), theirs.bytes.left(common));
        if (ours.result.outcome == LzhOutcome::Damaged) {
            EXPECT_LE(ours.bytes.size(), theirs.bytes.size());
        } else {
            EXPECT_EQ(ours.bytes.size(), theirs.bytes.size());
        }
        const bool oursPass = ours.result.outcome == LzhOutcome::Done &&
                              ours.result.length == entry.originalSize &&
                              ours.result.crc == entry.crc;
        const bool theirsPass = static_cast<uint64_t>(theirs.bytes.size()) == entry.originalSize &&
                                theirs.crc == entry.crc;
        // liblhasa takes a tree with too few codes, decoding their gaps as symbol 0; only such
        // damage may fail an entry it passed.
        if (size == entry.originalSize && oursPass != theirsPass) {
            EXPECT_TRUE(theirsPass && ours.result.outcome == LzhOutcome::Damaged);
        }
        return oursPass;
    }

    QByteArray jlha(const QString& base, const EntryList& entries, const QString& switches) {
        const QString archive = scratch_.path(base + QStringLiteral(".lzh"));
        EXPECT_TRUE(makeLzhWith(archive, entries, switches)) << archive.toStdString();
        return readFile(archive);
    }

    ScratchDir scratch_;
};

QByteArray noise(int size, unsigned seed) {
    std::mt19937 generator(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

// Contents around each window size, small and large, of text, noise and runs.
EntryList sampleEntries() {
    EntryList entries{{QStringLiteral("empty.txt"), {}},
                      {QStringLiteral("one.txt"), "x"},
                      {QStringLiteral("text.txt"), sampleContent(3 << 20, 21)},
                      {QStringLiteral("noise.bin"), noise(300000, 5)},
                      {QStringLiteral("zeros.bin"), QByteArray(1 << 20, '\0')},
                      {QStringLiteral("pattern.bin"), QByteArray("abcabd").repeated(100000)},
                      {QStringLiteral("mixed.bin"),
                       sampleContent(50000, 3) + noise(40000, 6) + sampleContent(50000, 3)}};
    for (const int window : {8192, 32768, 65536}) {
        for (const int delta : {-1, 0, 1}) {
            entries.append({QStringLiteral("w%1.txt").arg(window + delta),
                            sampleContent(window + delta, window + delta)});
        }
    }
    return entries;
}

TEST_F(LzhDecoderTest, WhatJlhaWritesDecodesToItsContentAsLiblhasaDecodesIt) {
    const EntryList contents = sampleEntries();
    for (const char* switches : {"o5", "o6", "o7"}) {
        SCOPED_TRACE(switches);
        const QList<StreamEntry> entries =
            streamsIn(jlha(QLatin1String(switches), contents, QLatin1String(switches)));
        ASSERT_GE(entries.size(), 10) << "jlha stored too few entries compressed";
        for (const StreamEntry& entry : entries) {
            SCOPED_TRACE(entry.originalSize);
            EXPECT_TRUE(decodeAlike(entry));
            const OwnOutput ours = decodeOwn(entry.method, entry.data, entry.originalSize, 7);
            EXPECT_EQ(ours.result.outcome, LzhOutcome::Done) << "data given 7 bytes at a time";
            EXPECT_TRUE(std::any_of(contents.begin(), contents.end(),
                                    [&](const Entry& e) { return e.data == ours.bytes; }));
            // lh4 codes as lh5 does: the same stream under its name decodes alike.
            if (entry.method == LzhMethod::Lh5) {
                StreamEntry asLh4 = entry;
                asLh4.method = LzhMethod::Lh4;
                EXPECT_TRUE(decodeAlike(asLh4));
            }
        }
    }
}

TEST_F(LzhDecoderTest, DamagedDataFailsWhereLiblhasaFailsIt) {
    const QByteArray text = sampleContent(2 << 20, 8);
    for (const char* switches : {"o5", "o6", "o7"}) {
        SCOPED_TRACE(switches);
        const QList<StreamEntry> entries = streamsIn(jlha(
            QLatin1String(switches), {{QStringLiteral("a.txt"), text}}, QLatin1String(switches)));
        ASSERT_EQ(entries.size(), 1);
        const StreamEntry intact = entries.front();
        ASSERT_TRUE(decodeAlike(intact));
        const qsizetype size = intact.data.size();
        // A bit in the first block's trees, in the middle, in the last block. Text repeats
        // itself, so a changed distance may copy the same bytes: only the trees must fail.
        for (const qsizetype at : {qsizetype{3}, qsizetype{20}, size / 2, size - 3}) {
            for (const int bit : {0, 5}) {
                StreamEntry flipped = intact;
                flipped.data[at] = static_cast<char>(flipped.data[at] ^ (1 << bit));
                const bool passed = decodeAlike(flipped);
                EXPECT_TRUE(at > 20 || !passed) << "bit " << bit << " of byte " << at;
            }
        }
        // The last byte may hold nothing but the bits that fill it up.
        for (const qsizetype kept : {qsizetype{0}, qsizetype{5}, size / 3, size - 2}) {
            StreamEntry cut = intact;
            cut.data.truncate(kept);
            EXPECT_FALSE(decodeAlike(cut)) << "cut to " << kept;
            EXPECT_EQ(decodeOwn(cut.method, cut.data, cut.originalSize).result.outcome,
                      LzhOutcome::DataEnded);
        }
        StreamEntry wrongCrc = intact;
        wrongCrc.crc ^= 0x0100;
        EXPECT_FALSE(decodeAlike(wrongCrc));
        // Trailing bytes are no part of the stream, and a shorter size stops early, as before.
        StreamEntry padded = intact;
        padded.data += noise(100, 1);
        EXPECT_TRUE(decodeAlike(padded));
        StreamEntry longer = intact;
        longer.originalSize += 1;
        EXPECT_FALSE(decodeAlike(longer));
    }
}

TEST_F(LzhDecoderTest, LibraryGivesTheVerdictsItGaveBefore) {
    BoundLibrary library(LibraryUnderTest{"libunlha32.so", "Unlha", "t -ngm"});
    ASSERT_TRUE(library.loaded());
    const QString archive = scratch_.path(QStringLiteral("blocks.lzh"));
    ASSERT_TRUE(makeLzhWith(archive, {{QStringLiteral("a.txt"), sampleContent(1 << 20, 4)}},
                            QStringLiteral("o7")));
    const QByteArray bytes = readFile(archive);
    const QList<StreamEntry> entries = streamsIn(bytes);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(library.test(archive), VARNELT_ARC_OK);
    const qsizetype data = entries.front().dataOffset;
    const qsizetype size = entries.front().data.size();
    for (const qsizetype at : {data + 2, data + size / 2, data + size - 2}) {
        QByteArray damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
        const QString path = scratch_.path(QStringLiteral("damaged.lzh"));
        writeFile(path, damaged);
        EXPECT_EQ(library.test(path), VARNELT_ARC_ERROR_FILE_CRC) << "byte " << at - data;
        EXPECT_TRUE(library.reason().contains(QStringLiteral("a.txt")));
    }
}

// Streams written bit by bit, first bit first.
class BitWriter {
public:
    BitWriter& put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (used_ % 8 == 0) {
                bytes_.append('\0');
            }
            if ((value >> i) & 1) {
                bytes_.back() = static_cast<char>(bytes_.back() | (0x80 >> (used_ % 8)));
            }
            ++used_;
        }
        return *this;
    }
    // A block header whose three trees are each one code that takes no bits.
    BitWriter& singleCodeBlock(uint32_t commands, uint32_t symbol, uint32_t position = 0) {
        return put(commands, 16)
            .put(0, 5)
            .put(0, 5)
            .put(0, 9)
            .put(symbol, 9)
            .put(0, 4)
            .put(position, 4);
    }
    const QByteArray& bytes() const { return bytes_; }

private:
    QByteArray bytes_;
    int used_ = 0;
};

TEST_F(LzhDecoderTest, TreesAndDistancesNoEncoderWritesAreDamage) {
    const auto lh5 = [](const BitWriter& stream, uint64_t size) {
        return StreamEntry{LzhMethod::Lh5, stream.bytes(), size};
    };
    // Sound streams first: a block of five 'A's, then one that copies them.
    const QByteArray aaaaa = BitWriter().singleCodeBlock(5, 'A').bytes();
    EXPECT_EQ(decodeOwn(LzhMethod::Lh5, aaaaa, 5).bytes, QByteArray("AAAAA"));
    EXPECT_EQ(decodeOwn(LzhMethod::Lh5, aaaaa, 6).result.outcome, LzhOutcome::DataEnded);
    const BitWriter copies = BitWriter().singleCodeBlock(5, 'A').singleCodeBlock(2, 256 + 1);
    EXPECT_EQ(decodeOwn(LzhMethod::Lh5, copies.bytes(), 13).bytes, QByteArray("AAAAAAAAAAAAA"));
    decodeAlike(lh5(copies, 13));
    // A block of 0 commands is passed over, as liblhasa passes it.
    const BitWriter empty = BitWriter().singleCodeBlock(0, 'B').singleCodeBlock(5, 'A');
    EXPECT_EQ(decodeOwn(LzhMethod::Lh5, empty.bytes(), 5).bytes, QByteArray("AAAAA"));
    decodeAlike(lh5(empty, 5));

    const struct {
        const char* what;
        BitWriter stream;
        qsizetype decodedBefore;
    } kDamaged[] = {
        {"a match before the first byte", BitWriter().singleCodeBlock(5, 256), 0},
        {"a match reaching one byte too far",
         BitWriter().singleCodeBlock(2, 'A').singleCodeBlock(1, 256, 2).put(0, 1), 2},
        {"a char code past the last", BitWriter().singleCodeBlock(5, 510), 0},
        {"a position code past the last", BitWriter().singleCodeBlock(5, 'A', 14), 0},
        {"an over-full temp tree",
         BitWriter().put(5, 16).put(3, 5).put(1, 3).put(1, 3).put(1, 3).put(0, 2), 0},
        {"a temp tree with a gap",
         BitWriter().put(5, 16).put(3, 5).put(1, 3).put(2, 3).put(0, 3).put(0, 2), 0},
        {"a code longer than 16 bits",
         BitWriter().put(5, 16).put(2, 5).put(7, 3).put(0x3FF, 10).put(0, 1), 0},
        {"a temp tree of 20 codes", BitWriter().put(5, 16).put(20, 5).put(0, 32), 0},
        {"a char tree of 511 codes",
         BitWriter().put(5, 16).put(0, 5).put(3, 5).put(511, 9).put(0, 32), 0},
    };
    for (const auto& c : kDamaged) {
        SCOPED_TRACE(c.what);
        const OwnOutput ours = decodeOwn(LzhMethod::Lh5, c.stream.bytes(), 100);
        EXPECT_EQ(ours.result.outcome, LzhOutcome::Damaged);
        EXPECT_EQ(ours.bytes.size(), c.decodedBefore);
        decodeAlike(lh5(c.stream, 100));
    }
}

TEST_F(LzhDecoderTest, FuzzCorpusDecodesAlike) {
    // Entries found in the library's corpus, and the decoder fuzzer's inputs: a byte choosing
    // the method, then the data. Sizes are bounded: a damaged header may claim gigabytes.
    constexpr uint64_t kBound = 1 << 20;
    int streams = 0;
    const QDir library(QStringLiteral(VARNELT_FUZZ_CORPUS "/unlha32"));
    if (!library.exists()) {
        GTEST_SKIP() << "no fuzz corpus in " << library.path().toStdString();
    }
    for (const QString& name : library.entryList(QDir::Files)) {
        for (const StreamEntry& entry : streamsIn(readFile(library.filePath(name)))) {
            SCOPED_TRACE(name.toStdString());
            decodeAlike(entry, kBound);
            ++streams;
        }
    }
    const QDir decoder(QStringLiteral(VARNELT_FUZZ_CORPUS "/lzh_decoder"));
    for (const QString& name : decoder.entryList(QDir::Files)) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray input = readFile(decoder.filePath(name));
        if (input.isEmpty()) {
            continue;
        }
        decodeAlike({static_cast<LzhMethod>(input[0] & 3), input.mid(1), kBound}, kBound);
        ++streams;
    }
    EXPECT_GT(streams, 100);
}

}  // namespace
}  // namespace varnelt::test
