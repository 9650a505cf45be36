// libtar32 with threads lent decodes a bzip2 stream's blocks side by side: every .tbz, intact or
// damaged, gets the answers it gets with one thread (code, reason, entry count, first name).
#include <gtest/gtest.h>

#include <QFile>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

const LibraryUnderTest kTar{"libtar32.so", "Tar", nullptr};

constexpr uint64_t kBlockMagic = 0x314159265359;
constexpr uint64_t kEndMagic = 0x177245385090;
constexpr uint64_t kMagicMask = (uint64_t{1} << 48) - 1;

struct Answer {
    int32_t code = 0;
    QString reason;
    int32_t count = 0;
    std::optional<std::string> firstName;
    bool operator==(const Answer&) const = default;
};

void PrintTo(const Answer& answer, std::ostream* out) {
    *out << "code " << answer.code << " \"" << answer.reason.toStdString() << "\" count "
         << answer.count << " first " << answer.firstName.value_or("(none)");
}

// Where the magics of a bzip2 file begin, bit by bit, found by a plain shift register.
struct Magics {
    std::vector<uint64_t> blocks;
    std::vector<uint64_t> ends;
};

Magics magicsOf(const QByteArray& bytes) {
    Magics magics;
    uint64_t window = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            window = (window << 1 | (static_cast<uint8_t>(bytes[i]) >> bit & 1)) & kMagicMask;
            const uint64_t end = static_cast<uint64_t>(i) * 8 + (8 - bit);
            if (end >= 48 && window == kBlockMagic) {
                magics.blocks.push_back(end - 48);
            } else if (end >= 48 && window == kEndMagic) {
                magics.ends.push_back(end - 48);
            }
        }
    }
    return magics;
}

void flipBit(QByteArray& bytes, uint64_t bit) {
    bytes[static_cast<qsizetype>(bit / 8)] ^= static_cast<char>(0x80 >> (bit % 8));
}

// Writes the 48 bits of magic from bit on.
void writeMagic(QByteArray& bytes, uint64_t bit, uint64_t magic) {
    for (unsigned i = 0; i < 48; ++i) {
        const uint64_t at = bit + i;
        const char mask = static_cast<char>(0x80 >> (at % 8));
        auto& byte = bytes[static_cast<qsizetype>(at / 8)];
        byte = static_cast<char>(magic >> (47 - i) & 1 ? byte | mask : byte & ~mask);
    }
}

class Bzip2Blocks : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tar_.loaded()); }
    void TearDown() override { tar_.setThreads(1); }

    Answer answer(const QString& archive, int32_t threads) const {
        tar_.setThreads(threads);
        Answer result;
        result.code = tar_.test(archive);
        result.reason = tar_.reason();
        result.count = tar_.count(archive);
        result.firstName = tar_.firstName(archive);
        return result;
    }

    // The answers with 2 and 4 threads are those with 1; the one-thread answer.
    Answer expectSameAnswers(const QString& archive) const {
        const Answer sequential = answer(archive, 1);
        for (const int32_t threads : {2, 4}) {
            EXPECT_EQ(answer(archive, threads), sequential)
                << QFile::encodeName(archive).toStdString() << " with " << threads << " threads";
        }
        return sequential;
    }

    Answer expectSameAnswers(const QString& name, const QByteArray& bytes) const {
        const QString archive = scratch_.path(name);
        writeFile(archive, bytes);
        return expectSameAnswers(archive);
    }

    // A tar of the entries compressed by bzip2 with the given level switch ("-1": blocks of
    // 100 kB, so that small archives hold several).
    QByteArray bzip2Tar(const QString& name, const EntryList& entries, const QString& level) {
        const QString tar = scratch_.path(name);
        EXPECT_TRUE(makeTar(tar, entries));
        EXPECT_TRUE(runTool(QStringLiteral("bzip2"), {level, tar}, scratch_.root()));
        return readFile(tar + QStringLiteral(".bz2"));
    }

    QByteArray compressed(const QString& name, const QByteArray& data) {
        const QString path = scratch_.path(name);
        writeFile(path, data);
        EXPECT_TRUE(
            runTool(QStringLiteral("bzip2"), {QStringLiteral("-1"), path}, scratch_.root()));
        return readFile(path + QStringLiteral(".bz2"));
    }

    // Text-like entries and one of noise, as several blocks.
    EntryList manyBlocks() const {
        QByteArray noise(150000, '\0');
        uint32_t state = 99;
        for (char& byte : noise) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<char>(state >> 24);
        }
        return {{QStringLiteral("docs/"), ""},
                {QStringLiteral("docs/a.txt"), sampleContent(300000, 3)},
                {QStringLiteral("docs/b.txt"), sampleContent(120000, 4)},
                {QStringLiteral("noise.bin"), noise},
                {QStringLiteral("c.txt"), sampleContent(250000, 5)},
                {QStringLiteral("runs.bin"), QByteArray(400000, 'r')}};
    }

    ScratchDir scratch_;
    BoundLibrary tar_{kTar};
};

TEST_F(Bzip2Blocks, ArchivesMadeAsTheOtherTestsMakeThemAnswerAlike) {
    const EntryList lists[] = {
        {{QStringLiteral("docs/"), ""},
         {QStringLiteral("docs/a.txt"), sampleContent(70000, 21)},
         {QStringLiteral("b.txt"), "bee"}},
        {{QStringLiteral("a.txt"), "alpha"},
         {QStringLiteral("docs/payload.txt"), sampleContent(5000, 1)}},
        {{QStringLiteral("docs/payload.txt"), sampleContent(200000, 7)}},
        {{QStringLiteral("big.txt"), sampleContent(2500000, 8)}},
    };
    int made = 0;
    for (const EntryList& entries : lists) {
        const QString archive = scratch_.path(QStringLiteral("made%1.tbz").arg(++made));
        ASSERT_TRUE(makeTbz(archive, entries));
        const Answer sequential = expectSameAnswers(archive);
        EXPECT_EQ(sequential.code, 0);
        EXPECT_EQ(sequential.count, entries.size());
        const QByteArray intact = readFile(archive);
        truncateToPercent(archive, 60);
        expectSameAnswers(archive);
        writeFile(archive, intact);
        flipByte(archive, intact.size() / 2);
        EXPECT_NE(expectSameAnswers(archive).code, 0);
    }
}

// An empty tar and runs of zeros compressed: blocks whose output is many times their size.
TEST_F(Bzip2Blocks, EmptyArchivesAndRunsOfZerosAnswerAlike) {
    const QString empty = scratch_.path(QStringLiteral("empty.tar"));
    writeFile(empty, QByteArray(10240, '\0'));
    const QString zeros = scratch_.path(QStringLiteral("zeros.tar"));
    QFile sparse(zeros);
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize(50 * 1000 * 1000));
    sparse.close();
    for (const QString& source : {empty, zeros}) {
        ASSERT_TRUE(
            runTool(QStringLiteral("bzip2"), {QStringLiteral("-k"), source}, scratch_.root()));
    }
    EXPECT_EQ(expectSameAnswers(empty + QStringLiteral(".bz2")).code, 0);
    EXPECT_NE(expectSameAnswers(zeros + QStringLiteral(".bz2")).code, 0);
    // Runs of 255 bytes, which bzip2 stores as 5: each block's output is 20 MB, far more than
    // the block.
    QByteArray repeats(50000000, '\0');
    for (qsizetype i = 0; i < repeats.size(); ++i) {
        repeats[i] = static_cast<char>(i / 255 % 251);
    }
    const QByteArray runs = bzip2Tar(QStringLiteral("runs.tar"),
                                     {{QStringLiteral("runs.bin"), repeats}}, QStringLiteral("-4"));
    ASSERT_GE(magicsOf(runs).blocks.size(), 2u);
    EXPECT_EQ(expectSameAnswers(QStringLiteral("runs.tbz"), runs).code, 0);
    QByteArray damaged = runs;
    flipBit(damaged, magicsOf(runs).blocks.back() + 200);
    EXPECT_NE(expectSameAnswers(QStringLiteral("runs-damaged.tbz"), damaged).code, 0);
}

TEST_F(Bzip2Blocks, StreamsBackToBackOneBlockAndEmptyStreamsAnswerAlike) {
    const QString tar = scratch_.path(QStringLiteral("plain.tar"));
    ASSERT_TRUE(makeTar(tar, manyBlocks()));
    const QByteArray tarBytes = readFile(tar);
    // Streams that split the tar in the middle of entries, as concatenated members.
    const QByteArray halves = compressed(QStringLiteral("first"), tarBytes.left(400000)) +
                              compressed(QStringLiteral("second"), tarBytes.mid(400000));
    EXPECT_EQ(expectSameAnswers(QStringLiteral("halves.tbz"), halves).code, 0);
    // One stream of one block for each 100 kB, as parallel compressors write them.
    QByteArray pieces;
    for (qsizetype at = 0; at < tarBytes.size(); at += 100000) {
        pieces += compressed(QStringLiteral("piece%1").arg(at), tarBytes.mid(at, 100000));
    }
    EXPECT_EQ(expectSameAnswers(QStringLiteral("pieces.tbz"), pieces).code, 0);
    const QByteArray emptyStream = compressed(QStringLiteral("nothing"), {});
    ASSERT_EQ(magicsOf(emptyStream).blocks.size(), 0u);
    expectSameAnswers(QStringLiteral("empty-stream.tbz"), emptyStream);
    EXPECT_EQ(expectSameAnswers(QStringLiteral("then-empty.tbz"), halves + emptyStream).code, 0);
    expectSameAnswers(QStringLiteral("empty-then.tbz"), emptyStream + halves);
    const QByteArray oneBlock =
        bzip2Tar(QStringLiteral("one.tar"), {{QStringLiteral("a.txt"), sampleContent(20000, 2)}},
                 QStringLiteral("-9"));
    ASSERT_EQ(magicsOf(oneBlock).blocks.size(), 1u);
    EXPECT_EQ(expectSameAnswers(QStringLiteral("one.tbz"), oneBlock).code, 0);
    QByteArray damaged = halves;
    flipBit(damaged, magicsOf(halves).blocks.back() + 300);
    EXPECT_NE(expectSameAnswers(QStringLiteral("halves-damaged.tbz"), damaged).code, 0);
}

TEST_F(Bzip2Blocks, DamagedStreamsAnswerAlike) {
    const QByteArray intact =
        bzip2Tar(QStringLiteral("many.tar"), manyBlocks(), QStringLiteral("-1"));
    const Magics magics = magicsOf(intact);
    ASSERT_GE(magics.blocks.size(), 6u);
    ASSERT_EQ(magics.ends.size(), 1u);
    const uint64_t end = magics.ends.front();
    EXPECT_EQ(expectSameAnswers(QStringLiteral("intact.tbz"), intact).code, 0);

    struct Damage {
        const char* what;
        QByteArray bytes;
    };
    std::vector<Damage> damages;
    const auto flipped = [&](uint64_t bit) {
        QByteArray bytes = intact;
        flipBit(bytes, bit);
        return bytes;
    };
    const uint64_t middle = magics.blocks[magics.blocks.size() / 2];
    damages.push_back({"first block's data", flipped(magics.blocks.front() + 400)});
    damages.push_back({"first block's CRC", flipped(magics.blocks.front() + 60)});
    damages.push_back({"middle block's data", flipped(middle + 5000)});
    damages.push_back({"middle block's magic", flipped(middle + 7)});
    damages.push_back({"last block's data", flipped(magics.blocks.back() + 700)});
    damages.push_back({"end magic", flipped(end + 20)});
    damages.push_back({"combined CRC", flipped(end + 60)});
    damages.push_back(
        {"cut inside a block", intact.left(static_cast<qsizetype>(middle / 8) + 900)});
    damages.push_back(
        {"cut inside the end magic", intact.left(static_cast<qsizetype>(end / 8) + 3)});
    damages.push_back({"cut inside the combined CRC", intact.left(intact.size() - 2)});
    damages.push_back({"garbage after the end", intact + QByteArray("garbage")});
    damages.push_back({"zeros after the end", intact + QByteArray(5000, '\0')});
    // Magics written into a block's data, where they split it in two for the block finder.
    for (const uint64_t magic : {kBlockMagic, kEndMagic}) {
        for (const uint64_t offset : {uint64_t{3001}, uint64_t{20006}}) {
            QByteArray bytes = intact;
            writeMagic(bytes, middle + offset, magic);
            damages.push_back(
                {magic == kBlockMagic ? "block magic inside a block" : "end magic inside a block",
                 bytes});
        }
    }
    // A block magic written over the end magic, then the end magic after: one more "block".
    QByteArray extraBlock = intact;
    writeMagic(extraBlock, end, kBlockMagic);
    damages.push_back({"block magic in place of the end magic", extraBlock});
    // Bits spread over the whole file.
    for (int i = 1; i < 12; ++i) {
        damages.push_back({"spread", flipped(static_cast<uint64_t>(intact.size()) * 8 * i / 12)});
    }
    int number = 0;
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        const Answer sequential =
            expectSameAnswers(QStringLiteral("damaged%1.tbz").arg(++number), damage.bytes);
        EXPECT_EQ(sequential.code == 0, std::string(damage.what) == "zeros after the end");
    }
}

}  // namespace
}  // namespace varnelt::test
