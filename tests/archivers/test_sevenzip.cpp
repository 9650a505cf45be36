// lib7-zip32 beyond the common checks: solid LZMA2, encryption of data and of headers, ZIP
// through the same library, and counting a large solid archive from its headers only.
#include <gtest/gtest.h>

#include <zlib.h>

#include <chrono>

#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

const LibraryUnderTest kSevenZip{"lib7-zip32.so", "SevenZip", "t"};

class SevenZipLibrary : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sevenZip_.loaded()); }

    // One `7zz a` call over the staged entries: a single solid block, in 7-Zip's order.
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

    const QByteArray intact = readFile(archive);
    // The packed block follows the 32-byte signature header; the headers close the file.
    for (const qint64 offset : {qint64(40), intact.size() / 3, intact.size() - 10}) {
        SCOPED_TRACE(offset);
        writeFile(archive, intact);
        flipByte(archive, offset);
        EXPECT_NE(sevenZip_.test(archive), VARNELT_ARC_OK);
    }
}

TEST_F(SevenZipLibrary, OtherCodersPassOrAnswerMethodNotSupported) {
    const struct {
        const char* switches;
        int32_t expected;
    } cases[] = {{"-m0=PPMd", VARNELT_ARC_OK},
                 {"-m0=BZip2", VARNELT_ARC_OK},
                 {"-m0=Deflate", VARNELT_ARC_OK},
                 {"-m0=Deflate64", VARNELT_ARC_ERROR_METHOD},
                 {"-mf=ARM64", VARNELT_ARC_ERROR_METHOD}};
    int made = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.switches);
        const QString archive = sevenZipWith(QStringLiteral("coder%1").arg(++made),
                                             {QString::fromLatin1(c.switches)}, files_);
        EXPECT_EQ(sevenZip_.test(archive), c.expected);
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

TEST_F(SevenZipLibrary, LargeSolidArchiveIsCountedFromHeadersOnly) {
    EntryList entries;
    for (int i = 0; i < 24; ++i) {
        entries.append({QStringLiteral("piece%1.txt").arg(i, 2, 10, QLatin1Char('0')),
                        sampleContent(1500000, 100 + i)});
    }
    const QString archive = sevenZipWith(
        QStringLiteral("big"), {QStringLiteral("-mx=1"), QStringLiteral("-ms=on")}, entries);
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    ASSERT_EQ(sevenZip_.test(archive), VARNELT_ARC_OK);
    const auto tested = Clock::now();
    EXPECT_EQ(sevenZip_.count(archive), 24);
    EXPECT_EQ(sevenZip_.firstName(archive), std::optional<std::string>("piece00.txt"));
    const auto counted = Clock::now();
    // Decoding the block is what the full test spends its time on; listing must not do it.
    EXPECT_LT((counted - tested) * 5, tested - started);
}

}  // namespace
}  // namespace varnelt::test

namespace varnelt::test {
namespace {

// A start header whose header lies beyond the file is refused before libarchive allocates the
// size it names (the fuzzer met one asking for a terabyte in a 123-byte file).
TEST(SevenZipStartHeader, HeaderBeyondTheFileIsRefusedUpFront) {
    const ScratchDir scratch;
    const QString path = scratch.path(QStringLiteral("huge.7z"));
    ASSERT_TRUE(makeSevenZip(path, {{QStringLiteral("a.txt"), "alpha"}}));
    QByteArray bytes = readFile(path);
    const quint64 claimed = 1ULL << 40;
    for (int i = 0; i < 8; ++i) {
        bytes[20 + i] = static_cast<char>(claimed >> (8 * i));
    }
    // A correct start-header CRC, so that only the size is wrong.
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.constData() + 12), 20);
    for (int i = 0; i < 4; ++i) {
        bytes[8 + i] = static_cast<char>(crc >> (8 * i));
    }
    writeFile(path, bytes);
    const BoundLibrary sevenZip({"lib7-zip32.so", "SevenZip", "t"});
    EXPECT_EQ(sevenZip.test(path), VARNELT_ARC_ERROR_EOF);
    EXPECT_LT(sevenZip.count(path), 0);
}

}  // namespace
}  // namespace varnelt::test
