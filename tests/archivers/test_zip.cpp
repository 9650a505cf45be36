// libunzip32 beyond the common checks: compression methods, encryption, self-extractors, names
// stored in other encodings, and the command line.
#include <gtest/gtest.h>

#include "tests/archivers/zip_library_test.h"
#include "tests/support/archive_makers.h"
#include "tests/support/zip_tools.h"

namespace varnelt::test {
namespace {

const LibraryUnderTest kSevenZip{"lib7-zip32.so", "SevenZip", "t"};

// Offsets in a ZIP made by `zip -X` (no extra fields): the first local header's method and the
// first entry's data.
constexpr int kMethodOffset = 8;
int firstDataOffset(const QString& firstName) {
    return 30 + firstName.toUtf8().size();
}

class ZipLibrary : public ZipLibraryTest {
protected:
    // `zip` with extra switches, the entries staged and added in order.
    QString zipWith(const QString& base, const QStringList& switches, const EntryList& entries) {
        const QString archive = scratch_.path(base + QStringLiteral(".zip"));
        EXPECT_TRUE(makeZipWith(archive, entries, switches)) << base.toStdString();
        return archive;
    }

    const EntryList largeAndSmall_{{QStringLiteral("large.txt"), sampleContent(300000, 11)},
                                   {QStringLiteral("small.txt"), "small"}};
};

TEST_F(ZipLibrary, EveryPackagedMethodPassesIntactAndFailsDamaged) {
    struct Method {
        const char* label;
        QStringList switches;
        char storedMethod;
    };
    const Method methods[] = {{"stored", {QStringLiteral("-0")}, 0},
                              {"deflate", {QStringLiteral("-9")}, 8},
                              {"bzip2", {QStringLiteral("-Z"), QStringLiteral("bzip2")}, 12}};
    for (const Method& method : methods) {
        SCOPED_TRACE(method.label);
        const QString archive =
            zipWith(QString::fromLatin1(method.label), method.switches, largeAndSmall_);
        ASSERT_EQ(readFile(archive).at(kMethodOffset), method.storedMethod);
        EXPECT_EQ(unzip_.test(archive), VARNELT_ARC_OK);
        EXPECT_EQ(unzip_.count(archive), 2);

        flipByte(archive, firstDataOffset(QStringLiteral("large.txt")) + 2000);
        const int32_t damaged = unzip_.test(archive);
        EXPECT_NE(damaged, VARNELT_ARC_OK);
        EXPECT_NE(damaged, VARNELT_ARC_ERROR_PASSWORD);
    }
}

// lib7-zip32 reads ZIP files too, and must judge them exactly as libunzip32 does: the same
// reader, not a second opinion.
TEST_F(ZipLibrary, SevenZipLibraryJudgesZipFilesAsTheZipLibraryDoes) {
    const BoundLibrary sevenZip(kSevenZip);
    ASSERT_TRUE(sevenZip.loaded());
    const QString deflate64 = scratch_.path(QStringLiteral("d64.zip"));
    ASSERT_TRUE(
        makeSevenZipZip(deflate64, {largeAndSmall_.first()}, {QStringLiteral("-mm=Deflate64")}));
    const QString empty = scratch_.path(QStringLiteral("empty.zip"));
    writeFile(empty, QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    const QString damaged = zipWith(QStringLiteral("damaged"), {}, largeAndSmall_);
    flipByte(damaged, firstDataOffset(QStringLiteral("large.txt")) + 2000);
    const QString encrypted = zipWith(QStringLiteral("encrypted"),
                                      {QStringLiteral("-P"), QStringLiteral("x")}, largeAndSmall_);
    const struct {
        QString archive;
        int32_t answer;
        int32_t count;
    } cases[] = {{deflate64, VARNELT_ARC_OK, 1},
                 {empty, VARNELT_ARC_OK, 0},
                 {damaged, VARNELT_ARC_ERROR_FILE_CRC, 2},
                 {encrypted, VARNELT_ARC_ERROR_PASSWORD, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive.toStdString());
        EXPECT_EQ(unzip_.test(c.archive), c.answer);
        EXPECT_EQ(sevenZip.test(c.archive), c.answer);
        EXPECT_EQ(sevenZip.count(c.archive), c.count);
        EXPECT_EQ(sevenZip.firstName(c.archive), unzip_.firstName(c.archive));
    }
}

TEST_F(ZipLibrary, StoredDataDamageIsReportedAsCrcError) {
    const QString archive = zipWith(QStringLiteral("crc"), {QStringLiteral("-0")}, largeAndSmall_);
    flipByte(archive, firstDataOffset(QStringLiteral("large.txt")) + 100);
    EXPECT_EQ(unzip_.test(archive), VARNELT_ARC_ERROR_FILE_CRC);
}

TEST_F(ZipLibrary, MethodsOfOtherToolsPassIntactAndFailDamaged) {
    for (const char* method : {"LZMA", "PPMd", "Xz", "Deflate64"}) {
        SCOPED_TRACE(method);
        const QString archive = scratch_.path(QLatin1String(method) + QStringLiteral(".zip"));
        ASSERT_TRUE(makeSevenZipZip(archive, {largeAndSmall_.first()},
                                    {QStringLiteral("-mm=") + QLatin1String(method)}));
        EXPECT_EQ(unzip_.test(archive), VARNELT_ARC_OK);
        EXPECT_EQ(unzip_.count(archive), 1);

        flipByte(archive, firstDataOffset(QStringLiteral("large.txt")) + 3000);
        const int32_t damaged = unzip_.test(archive);
        EXPECT_NE(damaged, VARNELT_ARC_OK);
        EXPECT_NE(damaged, VARNELT_ARC_ERROR_METHOD);
    }
}

TEST_F(ZipLibrary, EncryptedEntriesAnswerPasswordUnlessSomethingElseIsBroken) {
    const QString encrypted = zipWith(
        QStringLiteral("secret"), {QStringLiteral("-P"), QStringLiteral("secret")}, largeAndSmall_);
    EXPECT_EQ(unzip_.test(encrypted), VARNELT_ARC_ERROR_PASSWORD);
    EXPECT_EQ(unzip_.count(encrypted), 2);  // the headers are readable without the password
    EXPECT_EQ(unzip_.firstName(encrypted), std::optional<std::string>("large.txt"));

    // An encrypted entry first, then a plain stored one added to the same archive: the plain
    // one is still verified after the encrypted one was skipped.
    const QString mixed =
        zipWith(QStringLiteral("mixed"), {QStringLiteral("-P"), QStringLiteral("secret")},
                {{QStringLiteral("hidden.txt"), "hidden"}});
    const QByteArray plain = sampleContent(50000, 3);
    const QString staging = stageEntries(scratch_.path(QStringLiteral("extra")),
                                         {{QStringLiteral("plain.txt"), plain}});
    ASSERT_TRUE(runTool(QStringLiteral("zip"),
                        {QStringLiteral("-q"), QStringLiteral("-X"), QStringLiteral("-0"), mixed,
                         QStringLiteral("plain.txt")},
                        staging));
    EXPECT_EQ(unzip_.test(mixed), VARNELT_ARC_ERROR_PASSWORD);
    EXPECT_EQ(unzip_.count(mixed), 2);

    const qint64 plainData = readFile(mixed).indexOf(plain.left(64));
    ASSERT_GT(plainData, 0);
    flipByte(mixed, plainData + 1000);
    EXPECT_EQ(unzip_.test(mixed), VARNELT_ARC_ERROR_FILE_CRC) << "a real fault wins";
}

TEST_F(ZipLibrary, SelfExtractorBehindExecutableStubIsRead) {
    const QString plain = zipWith(QStringLiteral("plain"), {}, largeAndSmall_);
    QByteArray stub("MZ");
    stub.append(sampleContent(20000, 5));
    const QString sfx = scratch_.path(QStringLiteral("setup.exe"));
    writeFile(sfx, stub + readFile(plain));
    // zip -A corrects the offsets for the stub, as self-extractor makers do; the plain
    // concatenation leaves them relative to the archive's own start.
    const QString adjusted = scratch_.path(QStringLiteral("adjusted.exe"));
    writeFile(adjusted, stub + readFile(plain));
    ASSERT_TRUE(runTool(QStringLiteral("zip"),
                        {QStringLiteral("-q"), QStringLiteral("-A"), adjusted}, scratch_.root()));
    for (const QString& archive : {sfx, adjusted}) {
        SCOPED_TRACE(archive.toStdString());
        EXPECT_EQ(unzip_.test(archive), VARNELT_ARC_OK);
        EXPECT_EQ(unzip_.count(archive), 2);
        EXPECT_EQ(unzip_.firstName(archive), std::optional<std::string>("large.txt"));
    }
    flipByte(sfx, stub.size() + firstDataOffset(QStringLiteral("large.txt")) + 5000);
    EXPECT_NE(unzip_.test(sfx), VARNELT_ARC_OK);
}

TEST_F(ZipLibrary, NamesInUtf8OrCp932ComeBackAsUtf8) {
    // 7-Zip marks a non-ASCII name as UTF-8 in the entry's flags, which libarchive converts to
    // the locale's charset; the conversion must not fail whatever the program's locale.
    const QString name = QStringLiteral("資料/日本語.txt");
    const QString staging =
        stageEntries(scratch_.path(QStringLiteral("utf8.in")), {{name, "contents"}});
    const QString flagged = scratch_.path(QStringLiteral("flagged.zip"));
    ASSERT_TRUE(runTool(
        QStringLiteral("7zz"),
        {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-tzip"), flagged, name},
        staging));
    ASSERT_NE(readFile(flagged).at(7) & 0x08, 0) << "the UTF-8 flag should be set";
    EXPECT_EQ(unzip_.test(flagged), VARNELT_ARC_OK);
    EXPECT_EQ(unzip_.firstName(flagged), std::optional<std::string>(name.toStdString()));

    // A name from a Japanese system: CP932 bytes, no flag, "\" between folders. The second
    // byte of 表 (0x95 0x5C) must not be taken for a separator.
    const QString placeholder = QStringLiteral("abcd.txt");
    const QString archive = zipWith(QStringLiteral("cp932"), {}, {{placeholder, "x"}});
    QByteArray bytes = readFile(archive);
    bytes.replace(placeholder.toLatin1(), QByteArray("\x95\x5C\x5C"
                                                     "a.txt"));
    writeFile(archive, bytes);
    EXPECT_EQ(unzip_.test(archive), VARNELT_ARC_OK);
    EXPECT_EQ(unzip_.firstName(archive), std::optional<std::string>("表/a.txt"));
}

TEST_F(ZipLibrary, OtherFormatsAreRefused) {
    const EntryList entries{{QStringLiteral("a.txt"), "alpha"}};
    const QString sevenZip = scratch_.path(QStringLiteral("other.7z"));
    const QString rar = scratch_.path(QStringLiteral("other.rar"));
    const QString tar = scratch_.path(QStringLiteral("other.tar"));
    ASSERT_TRUE(makeSevenZip(sevenZip, entries));
    ASSERT_TRUE(makeRar4(rar, entries));
    ASSERT_TRUE(makeTar(tar, entries));
    for (const QString& archive : {sevenZip, rar, tar}) {
        SCOPED_TRACE(archive.toStdString());
        EXPECT_EQ(unzip_.test(archive), VARNELT_ARC_ERROR_NOT_ARC_FILE);
        EXPECT_LT(unzip_.count(archive), 0);
        EXPECT_FALSE(unzip_.firstName(archive).has_value());
    }
}

TEST_F(ZipLibrary, CommandFunctionRunsOnlyTheTestCommand) {
    const QString archive = zipWith(QStringLiteral("command"), {}, largeAndSmall_);
    const QByteArray path = archive.toUtf8();
    for (const LibraryUnderTest& candidate : {kUnzip, kSevenZip}) {
        const BoundLibrary library(candidate);
        ASSERT_TRUE(library.loaded());
        ASSERT_NE(library.functions().command, nullptr);
        const auto run = [&](const QByteArray& line) {
            char output[64] = "unchanged";
            return library.functions().command(nullptr, line.constData(), output, sizeof output);
        };
        SCOPED_TRACE(candidate.fileName);
        EXPECT_EQ(run("t \"" + path + '"'), VARNELT_ARC_OK);
        EXPECT_NE(run("x \"" + path + '"'), VARNELT_ARC_OK);
        EXPECT_NE(run("a \"" + path + '"'), VARNELT_ARC_OK);
        EXPECT_NE(run("t " + path), VARNELT_ARC_OK) << "the path must be quoted";
        EXPECT_NE(run("t \"" + path + ".missing\""), VARNELT_ARC_OK);
    }
}

}  // namespace
}  // namespace varnelt::test
