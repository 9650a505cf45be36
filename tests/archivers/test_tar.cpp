// libtar32 beyond the common checks: the end of every compressed stream is verified, gzip
// members and padding, compress, archives without entries against runs of zeros, and foreign
// formats.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <vector>

#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

const LibraryUnderTest kTar{"libtar32.so", "Tar", nullptr};
using Maker = bool (*)(const QString&, const EntryList&);

class TarLibrary : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tar_.loaded()); }

    QString make(const QString& name, Maker maker, const EntryList& entries) {
        const QString archive = scratch_.path(name);
        EXPECT_TRUE(maker(archive, entries)) << name.toStdString();
        return archive;
    }
    bool passes(const QString& archive) const { return tar_.test(archive) == 0; }

    const EntryList entries_{{QStringLiteral("docs/"), ""},
                             {QStringLiteral("docs/a.txt"), sampleContent(70000, 21)},
                             {QStringLiteral("b.txt"), "bee"}};
    ScratchDir scratch_;
    BoundLibrary tar_{kTar};
};

TEST_F(TarLibrary, DamageInTheLastBytesOfACompressedStreamFails) {
    struct Case {
        const char* name;
        Maker make;
        // Offsets from the end: gzip's CRC-32 and length trailer; bzip2's combined CRC; xz's
        // index and stream footer. All lie after the tar end-of-archive blocks.
        std::vector<int> fromEnd;
    };
    const Case cases[] = {{"a.tgz", &makeTgz, {8, 6, 4, 1}},
                          {"a.tbz", &makeTbz, {5, 3}},
                          {"a.txz", &makeTxz, {20, 9, 3}}};
    for (const Case& format : cases) {
        const QString archive = make(QString::fromLatin1(format.name), format.make, entries_);
        const QByteArray intact = readFile(archive);
        ASSERT_TRUE(passes(archive)) << format.name;
        ASSERT_EQ(tar_.count(archive), 3) << format.name;
        for (const int fromEnd : format.fromEnd) {
            SCOPED_TRACE(std::string(format.name) + " byte " + std::to_string(fromEnd) +
                         " from the end");
            writeFile(archive, intact);
            flipByte(archive, intact.size() - fromEnd);
            EXPECT_FALSE(passes(archive));
        }
        writeFile(archive, intact.left(intact.size() - 1));
        EXPECT_FALSE(passes(archive)) << format.name << " without its last byte";
    }
}

TEST_F(TarLibrary, GzipMembersAndPaddingPassGarbageFails) {
    const QString tar = make(QStringLiteral("plain.tar"), &makeTar, entries_);
    const QByteArray tarBytes = readFile(tar);
    // Two gzip members that split the tar stream in the middle of an entry.
    const QString first = scratch_.path(QStringLiteral("first"));
    const QString second = scratch_.path(QStringLiteral("second"));
    writeFile(first, tarBytes.left(30000));
    writeFile(second, tarBytes.mid(30000));
    ASSERT_TRUE(
        runTool(QStringLiteral("gzip"), {QStringLiteral("-n"), first, second}, scratch_.root()));
    const QByteArray members =
        readFile(first + QStringLiteral(".gz")) + readFile(second + QStringLiteral(".gz"));
    const QString joined = scratch_.path(QStringLiteral("joined.tgz"));
    writeFile(joined, members);
    EXPECT_TRUE(passes(joined));

    writeFile(joined, members + QByteArray(4096, '\0'));
    EXPECT_TRUE(passes(joined)) << "zero padding after the last member";

    writeFile(joined, members + QByteArray("garbage"));
    EXPECT_FALSE(passes(joined));
    writeFile(joined, members + QByteArray(100, '\0') + QByteArray("x"));
    EXPECT_FALSE(passes(joined)) << "garbage after padding";
}

TEST_F(TarLibrary, CompressedWithCompressPasses) {
    const QString staging = stageEntries(scratch_.path(QStringLiteral("z.in")), entries_);
    const QString archive = scratch_.path(QStringLiteral("a.tar.Z"));
    ASSERT_TRUE(runTool(QStringLiteral("bsdtar"),
                        {QStringLiteral("-c"), QStringLiteral("-Z"), QStringLiteral("-f"), archive,
                         QStringLiteral("-n"), QStringLiteral("docs"), QStringLiteral("docs/a.txt"),
                         QStringLiteral("b.txt")},
                        staging));
    ASSERT_EQ(readFile(archive).left(2), QByteArray("\x1f\x9d"));
    EXPECT_TRUE(passes(archive));
    EXPECT_EQ(tar_.count(archive), 3);
    truncateToPercent(archive, 50);
    EXPECT_FALSE(passes(archive));
}

// A damaged download is often nothing but zeros; only as many as an empty archive really has
// (its end blocks padded to one 10240-byte record) make a tar, compressed or not.
TEST_F(TarLibrary, EmptyArchivesPassLongerRunsOfZerosDoNot) {
    const QString empty = scratch_.path(QStringLiteral("empty.tar"));
    ASSERT_TRUE(runTool(QStringLiteral("tar"),
                        {QStringLiteral("-cf"), empty, QStringLiteral("--files-from=/dev/null")},
                        scratch_.root()));
    ASSERT_EQ(readFile(empty), QByteArray(10240, '\0'));
    const QString zeros = scratch_.path(QStringLiteral("zeros.tar"));
    QFile sparse(zeros);
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize(50 * 1000 * 1000));
    sparse.close();
    const QString justOver = scratch_.path(QStringLiteral("over.tar"));
    writeFile(justOver, QByteArray(10240 + 512, '\0'));

    // Each compressor's output of the empty archive and of 50 MB of zeros.
    const struct {
        const char* program;
        QStringList switches;
        const char* suffix;
    } compressors[] = {{"gzip", {QStringLiteral("-k")}, ".gz"},
                       {"bzip2", {QStringLiteral("-k")}, ".bz2"},
                       {"xz", {QStringLiteral("-k"), QStringLiteral("-0")}, ".xz"}};
    QStringList passing{empty};
    QStringList failing{zeros, justOver};
    for (const auto& compressor : compressors) {
        for (const QString& source : {empty, justOver, zeros}) {
            ASSERT_TRUE(runTool(QString::fromLatin1(compressor.program),
                                compressor.switches + QStringList{source}, scratch_.root()));
            (source == empty ? passing : failing) << source + QLatin1String(compressor.suffix);
        }
    }
    // compress, which libarchive's filter decodes: the zeros shrink below one record, so only
    // the decoded length tells.
    for (const QString& source : {empty, justOver, zeros}) {
        const QString target = source + QStringLiteral(".Z");
        ASSERT_TRUE(
            runTool(QStringLiteral("bsdtar"),
                    {QStringLiteral("-c"), QStringLiteral("-Z"), QStringLiteral("--format=raw"),
                     QStringLiteral("-f"), target, QFileInfo(source).fileName()},
                    scratch_.root()));
        (source == empty ? passing : failing) << target;
    }
    ASSERT_LT(QFileInfo(justOver + QStringLiteral(".Z")).size(), 10240);

    for (const QString& file : passing) {
        SCOPED_TRACE(file.toStdString());
        EXPECT_TRUE(passes(file));
        EXPECT_EQ(tar_.count(file), 0);
    }
    for (const QString& file : failing) {
        SCOPED_TRACE(file.toStdString());
        EXPECT_FALSE(passes(file));
        EXPECT_LT(tar_.count(file), 0);
        EXPECT_FALSE(tar_.firstName(file).has_value());
    }
}

TEST_F(TarLibrary, ArchiveWithEntriesPassesWithItsPadding) {
    const QString staging = stageEntries(scratch_.path(QStringLiteral("pad.in")), entries_);
    const QStringList names{QStringLiteral("docs"), QStringLiteral("docs/a.txt"),
                            QStringLiteral("b.txt")};
    // GNU tar with records of 126 blocks, and bsdtar with its own.
    const QString gnu = scratch_.path(QStringLiteral("gnu.tar"));
    const QString bsd = scratch_.path(QStringLiteral("bsd.tar"));
    ASSERT_TRUE(runTool(QStringLiteral("tar"),
                        QStringList{QStringLiteral("--no-recursion"), QStringLiteral("-b"),
                                    QStringLiteral("126"), QStringLiteral("-cf"), gnu} +
                            names,
                        staging));
    ASSERT_TRUE(runTool(QStringLiteral("bsdtar"),
                        QStringList{QStringLiteral("-n"), QStringLiteral("-cf"), bsd} + names,
                        staging));
    ASSERT_EQ(QFileInfo(gnu).size() % (126 * 512), 0);
    for (const QString& archive : {gnu, bsd}) {
        SCOPED_TRACE(archive.toStdString());
        EXPECT_TRUE(passes(archive));
        EXPECT_EQ(tar_.count(archive), 3);
        ASSERT_TRUE(
            runTool(QStringLiteral("gzip"), {QStringLiteral("-k"), archive}, scratch_.root()));
        EXPECT_TRUE(passes(archive + QStringLiteral(".gz")));
    }
}

TEST_F(TarLibrary, CompressedNonTarAndOtherArchivesAreRefused) {
    const QString text = scratch_.path(QStringLiteral("notes.txt"));
    writeFile(text, sampleContent(20000, 4));
    ASSERT_TRUE(runTool(QStringLiteral("gzip"), {QStringLiteral("-k"), text}, scratch_.root()));
    ASSERT_TRUE(runTool(QStringLiteral("xz"), {QStringLiteral("-k"), text}, scratch_.root()));
    const QString zip = make(QStringLiteral("a.zip"), &makeZip, entries_);
    const QString sevenZip = make(QStringLiteral("a.7z"), &makeSevenZip, entries_);
    for (const QString& file :
         {text + QStringLiteral(".gz"), text + QStringLiteral(".xz"), zip, sevenZip}) {
        SCOPED_TRACE(file.toStdString());
        EXPECT_FALSE(passes(file));
        EXPECT_LT(tar_.count(file), 0);
        EXPECT_FALSE(tar_.firstName(file).has_value());
    }
}

}  // namespace
}  // namespace varnelt::test
