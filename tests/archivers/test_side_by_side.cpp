// Parts of one archive decoded on lent threads: ZIP entries, xz blocks and 7z folders. Whatever the
// number of threads, a library answers what it answers with one, with the same reason.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

#include <atomic>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include "archivers/core/failure.h"
#include "archivers/core/side_by_side.h"
#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
#include "tests/support/scratch.h"
#include "tests/support/threaded_answers.h"
#include "tests/support/tool_makers.h"
#include "tests/support/zip_writer.h"

namespace varnelt::test {
namespace {

using Answer = ThreadedAnswer;
constexpr auto answerOf = answerWithThreads;

// Every lent thread count gives the answer of one thread.
void expectSameAnswers(const BoundLibrary& library, const QString& path, const char* label) {
    test::expectSameAnswers(library, path, label, {2, 3, 8});
}

QByteArray flipped(QByteArray bytes, qsizetype at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
    return bytes;
}

// A bit flipped at each fraction of the archive is found, with threads as with one.
void expectDamageFoundAlike(const BoundLibrary& library, const ScratchDir& scratch,
                            const QByteArray& archive, std::initializer_list<double> fractions,
                            const QString& extension) {
    for (const double where : fractions) {
        const qsizetype at = static_cast<qsizetype>(where * static_cast<double>(archive.size()));
        const QString path = scratch.path(QStringLiteral("bad%1.").arg(at) + extension);
        writeFile(path, flipped(archive, at));
        ASSERT_NE(answerOf(library, path, 1).code, 0) << at;
        expectSameAnswers(library, path, qPrintable(QStringLiteral("damaged at %1").arg(at)));
    }
}

class SideBySideZip : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(unzip_.loaded()); }
    QString save(const QString& name, const QByteArray& bytes) {
        writeFile(scratch_.path(name), bytes);
        return scratch_.path(name);
    }
    ScratchDir scratch_;
    BoundLibrary unzip_{{"libunzip32.so", "UnZip", "-t -qq"}};
};

QList<zip::HandEntry> manyEntries(int count) {
    QList<zip::HandEntry> entries;
    for (int i = 0; i < count; ++i) {
        entries << zip::HandEntry(QByteArray("part") + QByteArray::number(i) + ".txt",
                                  sampleContent(20000 + 997 * i, i), i % 3 == 0 ? 0 : 8);
    }
    return entries;
}

TEST_F(SideBySideZip, DamageAnywhereIsFoundAsWithOneThread) {
    const zip::HandZip archive = zip::writeZip(manyEntries(12));
    expectSameAnswers(unzip_, save(QStringLiteral("intact.zip"), archive.bytes), "intact");
    for (const int entry : {0, 5, 11}) {
        const qsizetype data = archive.dataOffsets[entry];
        const QString path =
            save(QStringLiteral("bad%1.zip").arg(entry), flipped(archive.bytes, data + 100));
        ASSERT_NE(answerOf(unzip_, path, 1).code, 0);
        expectSameAnswers(unzip_, path, qPrintable(QStringLiteral("damaged entry %1").arg(entry)));
    }
    // Two damaged entries: the first in the archive's order decides, as one thread finds it.
    const QByteArray twice =
        flipped(flipped(archive.bytes, archive.dataOffsets[9] + 50), archive.dataOffsets[2] + 50);
    const QString path = save(QStringLiteral("twice.zip"), twice);
    const Answer sequential = answerOf(unzip_, path, 1);
    EXPECT_TRUE(sequential.reason.contains(QStringLiteral("part2.txt")))
        << sequential.reason.toStdString();
    expectSameAnswers(unzip_, path, "two damaged entries");
}

TEST_F(SideBySideZip, SoundAnswersKeepTheirRankWhateverEntryFinishesFirst) {
    // An encrypted entry and one of a method not decoded here: the method is the more telling
    // answer, whichever order the threads finish them in; a damaged entry after both wins.
    QList<zip::HandEntry> entries = manyEntries(6);
    entries[1].withFlags(1);
    entries[4].method = 97;
    entries[4].withPacked(sampleContent(3000, 4));
    const zip::HandZip sound = zip::writeZip(entries);
    const QString path = save(QStringLiteral("ranks.zip"), sound.bytes);
    EXPECT_NE(answerOf(unzip_, path, 1).code, 0);
    expectSameAnswers(unzip_, path, "encrypted and unsupported");
    const QString damaged =
        save(QStringLiteral("ranks-bad.zip"), flipped(sound.bytes, sound.dataOffsets[5] + 10));
    expectSameAnswers(unzip_, damaged, "encrypted, unsupported, then damaged");
}

TEST_F(SideBySideZip, OneEntryAndNoEntries) {
    expectSameAnswers(unzip_, save(QStringLiteral("one.zip"), zip::writeZip(manyEntries(1)).bytes),
                      "one entry");
    expectSameAnswers(unzip_, save(QStringLiteral("none.zip"), zip::writeZip({}).bytes),
                      "no entries");
}

class SideBySideXz : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tar_.loaded()); }
    ScratchDir scratch_;
    BoundLibrary tar_{{"libtar32.so", "Tar", nullptr}};
};

TEST_F(SideBySideXz, BlocksDecodedSideBySideFailWhereOneThreadFails) {
    EntryList entries;
    for (int i = 0; i < 6; ++i) {
        entries.append({QStringLiteral("f%1.txt").arg(i), sampleContent(300000, 40 + i)});
    }
    const QString tar = scratch_.path(QStringLiteral("a.tar"));
    ASSERT_TRUE(makeTar(tar, entries));
    QProcess xz;
    xz.setStandardInputFile(tar);
    xz.start(QStringLiteral("xz"),
             {QStringLiteral("-T1"), QStringLiteral("--block-size=128KiB"), QStringLiteral("-c")});
    ASSERT_TRUE(xz.waitForFinished(60000));
    const QByteArray compressed = xz.readAllStandardOutput();
    ASSERT_EQ(xz.exitCode(), 0);
    const QString intact = scratch_.path(QStringLiteral("a.txz"));
    writeFile(intact, compressed);
    ASSERT_EQ(answerOf(tar_, intact, 1).code, 0);
    expectSameAnswers(tar_, intact, "intact");
    // A damaged first, middle and last block, and a damaged index.
    expectDamageFoundAlike(tar_, scratch_, compressed, {0.02, 0.5, 0.93}, QStringLiteral("txz"));
    const QString cut = scratch_.path(QStringLiteral("cut.txz"));
    writeFile(cut, compressed.first(compressed.size() * 2 / 3));
    expectSameAnswers(tar_, cut, "cut");
}

TEST(SideBySideSevenZip, FoldersDecodedSideBySideFailWhereOneThreadFails) {
    const BoundLibrary sevenZip({"lib7-zip32.so", "SevenZip", "t"});
    ASSERT_TRUE(sevenZip.loaded());
    ScratchDir scratch;
    EntryList entries;
    for (int i = 0; i < 8; ++i) {
        entries.append({QStringLiteral("f%1.txt").arg(i), sampleContent(200000, 60 + i)});
    }
    // Not solid: a folder for each file.
    const QString intact = scratch.path(QStringLiteral("a.7z"));
    ASSERT_TRUE(makeWithTool(
        QStringLiteral("7zz"),
        {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-ms=off")}, intact, entries));
    ASSERT_EQ(answerOf(sevenZip, intact, 1).code, 0);
    expectSameAnswers(sevenZip, intact, "intact");
    const QByteArray bytes = readFile(intact);
    expectDamageFoundAlike(sevenZip, scratch, bytes, {0.05, 0.5, 0.85}, QStringLiteral("7z"));
    // Two damaged folders: the first in the archive's order is the one named.
    const qsizetype early = bytes.size() / 5;
    const QString twice = scratch.path(QStringLiteral("twice.7z"));
    writeFile(twice, flipped(flipped(bytes, early), bytes.size() * 3 / 4));
    const Answer sequential = answerOf(sevenZip, twice, 1);
    writeFile(twice, flipped(bytes, early));
    EXPECT_EQ(sequential.reason, answerOf(sevenZip, twice, 1).reason);
    writeFile(twice, flipped(flipped(bytes, early), bytes.size() * 3 / 4));
    expectSameAnswers(sevenZip, twice, "two damaged folders");
}

// Every input the fuzzers kept, each a hostile file of its own.
TEST(SideBySideCorpus, EveryFuzzedInputGetsTheAnswerOfOneThread) {
    const struct {
        LibraryUnderTest library;
        const char* corpus;
    } cases[] = {{{"libunzip32.so", "UnZip", "-t -qq"}, "unzip32"},
                 {{"lib7-zip32.so", "SevenZip", "t"}, "sevenzip32"},
                 {{"libtar32.so", "Tar", nullptr}, "tar32"}};
    for (const auto& [description, corpus] : cases) {
        const BoundLibrary library(description);
        ASSERT_TRUE(library.loaded()) << description.fileName;
        const QDir folder(QStringLiteral(VARNELT_FUZZ_CORPUS "/") + QLatin1String(corpus));
        const QStringList inputs = folder.entryList(QDir::Files);
        if (inputs.isEmpty()) {
            GTEST_SKIP() << "no fuzz corpus in " << folder.path().toStdString();
        }
        for (const QString& input : inputs) {
            const QString path = folder.filePath(input);
            const Answer sequential = answerOf(library, path, 1);
            EXPECT_EQ(answerOf(library, path, 4), sequential)
                << corpus << "/" << input.toStdString();
        }
    }
}

using archiver::PartOutcome;

TEST(TestSideBySide, PartsAfterTheEndingOneAreNotBegunAndEachKeepsItsReason) {
    std::atomic<int> begun{0};
    const auto test = [&begun](size_t part) {
        ++begun;
        const int32_t code = part == 20 ? 7 : 0;
        return archiver::failWith(code, "part " + std::to_string(part));
    };
    const std::vector<PartOutcome> outcomes =
        archiver::testSideBySide(200, 4, test, [](int32_t code) { return code == 7; });
    ASSERT_EQ(outcomes.size(), 200u);
    for (size_t part = 0; part <= 20; ++part) {
        ASSERT_TRUE(outcomes[part].tested) << part;
    }
    EXPECT_EQ(outcomes[20].code, 7);
    EXPECT_EQ(outcomes[20].reason, "part 20");
    EXPECT_EQ(archiver::replayOutcome(outcomes[20]), 7);
    EXPECT_EQ(archiver::recordedReason(7), "part 20");
    EXPECT_LT(begun.load(), 200);
}

TEST(TestSideBySide, WhatAPartThrowsIsThrownWhenItsOutcomeIsReplayed) {
    const auto test = [](size_t part) -> int32_t {
        if (part == 3) {
            throw std::runtime_error("no memory");
        }
        return 0;
    };
    const std::vector<PartOutcome> outcomes =
        archiver::testSideBySide(10, 3, test, [](int32_t) { return false; });
    EXPECT_EQ(archiver::replayOutcome(outcomes[2]), 0);
    EXPECT_THROW(archiver::replayOutcome(outcomes[3]), std::runtime_error);
}

}  // namespace
}  // namespace varnelt::test
