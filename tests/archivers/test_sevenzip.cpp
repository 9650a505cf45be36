// lib7-zip32 beyond the common checks: every coder and filter 7zz writes, solid and one folder
// per file, damage in any folder, encryption of data and of headers, stored names, archives
// behind a self-extractor's stub, and ZIP through the same library.
#include <gtest/gtest.h>

#include <QFile>

#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
#include "tests/support/scratch.h"
#include "tests/support/sevenzip_writer.h"

namespace varnelt::test {
namespace {

const LibraryUnderTest kSevenZip{"lib7-zip32.so", "SevenZip", "t"};

// Machine code, so that the branch converters find calls and jumps to convert.
QByteArray machineCode() {
    QFile self(QStringLiteral("/proc/self/exe"));
    return self.open(QIODevice::ReadOnly) ? self.read(300000) : QByteArray();
}

class SevenZipLibrary : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sevenZip_.loaded()); }

    // One `7zz a` call over the staged entries, in 7-Zip's order.
    QString sevenZipWith(const QString& base, const QStringList& switches,
                         const EntryList& entries) {
        const QString staging = stageEntries(scratch_.path(base + QStringLiteral(".in")), entries);
        const QString archive = scratch_.path(base + QStringLiteral(".7z"));
        QStringList arguments{QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-y")};
        arguments << switches << archive;
        for (const Entry& entry : entries) {
            arguments << entry.name;
        }
        EXPECT_TRUE(runTool(QStringLiteral("7zz"), arguments, staging)) << base.toStdString();
        return archive;
    }

    // The archive's answer with one byte changed, the archive left intact afterwards.
    int32_t testWithByteFlipped(const QString& archive, qint64 offset) {
        const QByteArray intact = readFile(archive);
        flipByte(archive, offset);
        const int32_t answer = sevenZip_.test(archive);
        writeFile(archive, intact);
        return answer;
    }

    const EntryList files_{{QStringLiteral("a.txt"), sampleContent(120000, 1)},
                           {QStringLiteral("b.txt"), sampleContent(80000, 2)},
                           {QStringLiteral("c.txt"), "third"}};
    ScratchDir scratch_;
    BoundLibrary sevenZip_{kSevenZip};
};

TEST_F(SevenZipLibrary, SolidLzma2PassesAndDamageAnywhereInTheBlockFails) {
    const QString archive = sevenZipWith(
        QStringLiteral("solid"), {QStringLiteral("-m0=lzma2"), QStringLiteral("-ms=on")}, files_);
    EXPECT_EQ(sevenZip_.test(archive), VARNELT_ARC_OK);
    EXPECT_EQ(sevenZip_.count(archive), 3);
    EXPECT_EQ(sevenZip_.firstName(archive), std::optional<std::string>("a.txt"));

    const qint64 size = readFile(archive).size();
    // The packed block follows the 32-byte signature header; the headers close the file.
    for (const qint64 offset : {qint64(40), size / 3, size - 10}) {
        SCOPED_TRACE(offset);
        EXPECT_NE(testWithByteFlipped(archive, offset), VARNELT_ARC_OK);
    }
}

// Every coder and filter chain 7zz writes, in one solid folder and in a folder per file:
// intact they pass and are counted, and a byte changed inside any packed stream fails them.
TEST_F(SevenZipLibrary, EveryCoderAndFilterPassesAndNoticesDamage) {
    const char* const kMethods[] = {
        "-m0=LZMA",
        "-m0=LZMA2",
        "-m0=BZip2",
        "-m0=Deflate",
        "-m0=Copy",
        "-m0=PPMd",
        "-mf=BCJ",
        "-mf=BCJ2",
        "-mf=ARM",
        "-mf=ARMT",
        "-mf=ARM64",
        "-mf=PPC",
        "-mf=SPARC",
        "-mf=IA64",
        "-mf=Delta:4",
        "-m0=LZMA -mf=BCJ",
        "-m0=LZMA -mf=Delta:2",
        "-m0=BZip2 -mf=ARM64",
        "-m0=Deflate -mf=BCJ2",
        "-m0=Copy -mf=BCJ",
    };
    EntryList entries = files_;
    entries.append({QStringLiteral("program"), machineCode()});
    entries.append({QStringLiteral("empty.txt"), QByteArray()});
    int made = 0;
    for (const char* method : kMethods) {
        for (const char* solid : {"-ms=on", "-ms=off"}) {
            SCOPED_TRACE(std::string(method) + " " + solid);
            QStringList switches = QString::fromLatin1(method).split(u' ');
            switches << QString::fromLatin1(solid) << QStringLiteral("-mhc=off");
            const QString archive =
                sevenZipWith(QStringLiteral("coder%1").arg(++made), switches, entries);
            ASSERT_EQ(sevenZip_.test(archive), VARNELT_ARC_OK);
            EXPECT_EQ(sevenZip_.count(archive), 5);
            const auto ranges = sevenzip::packedRanges(readFile(archive));
            ASSERT_FALSE(ranges.isEmpty());
            for (const sevenzip::PackedRange& range : ranges) {
                SCOPED_TRACE(range.offset);
                EXPECT_NE(testWithByteFlipped(archive, range.offset + range.size / 2),
                          VARNELT_ARC_OK);
            }
        }
    }
}

TEST_F(SevenZipLibrary, DamageInAnyOneFolderFailsWithDataCrc) {
    const QString archive = sevenZipWith(
        QStringLiteral("folders"),
        {QStringLiteral("-m0=lzma2"), QStringLiteral("-ms=off"), QStringLiteral("-mhc=off")},
        files_);
    ASSERT_EQ(sevenZip_.test(archive), VARNELT_ARC_OK);
    const auto ranges = sevenzip::packedRanges(readFile(archive));
    ASSERT_EQ(ranges.size(), 3);  // first, middle and last folder
    for (const sevenzip::PackedRange& range : ranges) {
        SCOPED_TRACE(range.offset);
        EXPECT_EQ(testWithByteFlipped(archive, range.offset + range.size / 2),
                  VARNELT_ARC_ERROR_FILE_CRC);
    }
}

TEST_F(SevenZipLibrary, MethodsNobodyHereDecodesAnswerMethodNotSupported) {
    // Deflate64 and RISC-V have no decoder here or in libarchive; liblzma takes at most four
    // literal context and position bits together.
    int made = 0;
    for (const char* method : {"-m0=Deflate64", "-mf=RISCV", "-m0=LZMA:lc8"}) {
        SCOPED_TRACE(method);
        const QString archive = sevenZipWith(QStringLiteral("method%1").arg(++made),
                                             {QString::fromLatin1(method)}, files_);
        EXPECT_EQ(sevenZip_.test(archive), VARNELT_ARC_ERROR_METHOD);
        EXPECT_EQ(sevenZip_.count(archive), 3);
    }
}

TEST_F(SevenZipLibrary, EncryptedDataAnswersPassword) {
    const QString archive = sevenZipWith(
        QStringLiteral("data"), {QStringLiteral("-psecret"), QStringLiteral("-mhe=off")}, files_);
    EXPECT_EQ(sevenZip_.test(archive), VARNELT_ARC_ERROR_PASSWORD);
    EXPECT_EQ(sevenZip_.count(archive), 3);  // names are in the clear
}

TEST_F(SevenZipLibrary, EncryptedHeadersAnswerPasswordAndCannotBeListed) {
    const QString archive = sevenZipWith(
        QStringLiteral("headers"), {QStringLiteral("-psecret"), QStringLiteral("-mhe=on")}, files_);
    EXPECT_EQ(sevenZip_.test(archive), VARNELT_ARC_ERROR_PASSWORD);
    EXPECT_LT(sevenZip_.count(archive), 0);
    EXPECT_FALSE(sevenZip_.firstName(archive).has_value());
}

// Files added without a password to an encrypted archive get a plain folder of their own:
// it is still verified, and its damage outranks the password answer.
TEST_F(SevenZipLibrary, DamageBesideAnEncryptedFolderWins) {
    const QString archive =
        sevenZipWith(QStringLiteral("mixed"),
                     {QStringLiteral("-psecret"), QStringLiteral("-mhc=off")}, {files_[0]});
    const QString staging = stageEntries(scratch_.path(QStringLiteral("plain.in")), {files_[1]});
    ASSERT_TRUE(runTool(QStringLiteral("7zz"),
                        {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-mhc=off"),
                         archive, files_[1].name},
                        staging));
    ASSERT_EQ(sevenZip_.test(archive), VARNELT_ARC_ERROR_PASSWORD);
    const auto ranges = sevenzip::packedRanges(readFile(archive));
    ASSERT_EQ(ranges.size(), 2);
    // 7-Zip writes the new plain folder first.
    EXPECT_EQ(testWithByteFlipped(archive, ranges[0].offset + ranges[0].size / 2),
              VARNELT_ARC_ERROR_FILE_CRC);
}

TEST_F(SevenZipLibrary, EmptyFilesFoldersAndManyFilesAreCounted) {
    EntryList entries{{QStringLiteral("sub/"), {}},
                      {QStringLiteral("sub/empty.txt"), {}},
                      {QStringLiteral("sub/deeper/"), {}}};
    for (int i = 0; i < 300; ++i) {
        entries.append({QStringLiteral("sub/f%1.txt").arg(i), sampleContent(50 + i, i)});
    }
    for (const char* solid : {"-ms=on", "-ms=off"}) {
        SCOPED_TRACE(solid);
        const QString archive =
            sevenZipWith(QStringLiteral("many") + solid, {QString::fromLatin1(solid)}, entries);
        EXPECT_EQ(sevenZip_.test(archive), VARNELT_ARC_OK);
        EXPECT_EQ(sevenZip_.count(archive), entries.size());
    }
}

// 7z names use "/" between folders, whatever system wrote them, so "\" is part of a name.
// A folder's name comes back with a "/" after it.
TEST_F(SevenZipLibrary, NamesKeepBackslashesAndFoldersEndInSlash) {
    const QString backslash =
        sevenZipWith(QStringLiteral("backslash"), {}, {{QStringLiteral("a\\b.txt"), "x"}});
    EXPECT_EQ(sevenZip_.firstName(backslash), std::optional<std::string>("a\\b.txt"));
    const QString folder =
        sevenZipWith(QStringLiteral("folder"), {}, {{QStringLiteral("docs/"), {}}});
    EXPECT_EQ(sevenZip_.firstName(folder), std::optional<std::string>("docs/"));
    EXPECT_EQ(sevenZip_.count(folder), 1);
}

TEST_F(SevenZipLibrary, ArchiveBehindAnExecutableStubIsFound) {
    const QByteArray plain = readFile(sevenZipWith(QStringLiteral("payload"), {}, files_));
    const struct {
        QByteArray magic;
        int stubSize;
        bool found;
    } cases[] = {{"MZ", 0x27000, true},
                 {"MZ", 0x31234, true},
                 {"\x7F"
                  "ELF",
                  0x40000, true},
                 {"MZ", 0x61000, false},  // beyond where self-extractor stubs end
                 {"PK", 0x30000, false}};
    int made = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stubSize);
        const QString sfx = scratch_.path(QStringLiteral("sfx%1.exe").arg(++made));
        QByteArray stub = c.magic;
        stub.append(c.stubSize - stub.size(), '\0');
        writeFile(sfx, stub + plain);
        if (c.found) {
            EXPECT_EQ(sevenZip_.test(sfx), VARNELT_ARC_OK);
            EXPECT_EQ(sevenZip_.count(sfx), 3);
            EXPECT_EQ(sevenZip_.firstName(sfx), std::optional<std::string>("a.txt"));
            EXPECT_NE(testWithByteFlipped(sfx, c.stubSize + 100), VARNELT_ARC_OK);
        } else {
            EXPECT_EQ(sevenZip_.test(sfx), VARNELT_ARC_ERROR_NOT_ARC_FILE);
            EXPECT_LT(sevenZip_.count(sfx), 0);
        }
    }
}

TEST_F(SevenZipLibrary, ReadsZipToo) {
    const QString archive = scratch_.path(QStringLiteral("also.zip"));
    ASSERT_TRUE(makeZip(archive, files_));
    EXPECT_EQ(sevenZip_.test(archive), VARNELT_ARC_OK);
    EXPECT_EQ(sevenZip_.count(archive), 3);
    EXPECT_EQ(sevenZip_.firstName(archive), std::optional<std::string>("a.txt"));
    flipByte(archive, 30 + 5 + 1000);  // inside a.txt's data
    EXPECT_EQ(sevenZip_.test(archive), VARNELT_ARC_ERROR_FILE_CRC);
}

TEST_F(SevenZipLibrary, RarAndTarAreRefused) {
    const EntryList entries{{QStringLiteral("a.txt"), "alpha"}};
    const QString rar = scratch_.path(QStringLiteral("other.rar"));
    const QString tgz = scratch_.path(QStringLiteral("other.tgz"));
    ASSERT_TRUE(makeRar4(rar, entries));
    ASSERT_TRUE(makeTgz(tgz, entries));
    for (const QString& archive : {rar, tgz}) {
        SCOPED_TRACE(archive.toStdString());
        EXPECT_EQ(sevenZip_.test(archive), VARNELT_ARC_ERROR_NOT_ARC_FILE);
        EXPECT_LT(sevenZip_.count(archive), 0);
    }
}

// Counting and naming read the headers only: damage to the packed data, which the test
// finds, does not disturb them.
TEST_F(SevenZipLibrary, CountAndNameComeFromHeadersOnly) {
    EntryList entries;
    for (int i = 0; i < 24; ++i) {
        entries.append({QStringLiteral("piece%1.txt").arg(i, 2, 10, QLatin1Char('0')),
                        sampleContent(150000, 100 + i)});
    }
    const QString archive = sevenZipWith(
        QStringLiteral("big"), {QStringLiteral("-mx=1"), QStringLiteral("-ms=on")}, entries);
    ASSERT_EQ(sevenZip_.test(archive), VARNELT_ARC_OK);
    flipByte(archive, readFile(archive).size() / 2);
    EXPECT_NE(sevenZip_.test(archive), VARNELT_ARC_OK);
    EXPECT_EQ(sevenZip_.count(archive), 24);
    EXPECT_EQ(sevenZip_.firstName(archive), std::optional<std::string>("piece00.txt"));
}

}  // namespace
}  // namespace varnelt::test
