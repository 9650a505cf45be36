// The checkers end to end over the substitute libraries, on archives made at test time.
#include <gtest/gtest.h>

#include <QDir>

#include "base/paths.h"
#include "checkers/archiver_set.h"
#include "checkers/file_decision.h"
#include "tests/support/archive_makers.h"
#include "tests/support/scratch.h"

namespace varnelt {
namespace {

using test::EntryList;
using test::ScratchDir;

class RealCheckers : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        archivers_ = std::make_unique<ArchiverSet>();
        archivers_->DetectArchivers();
    }
    static void TearDownTestSuite() { archivers_.reset(); }
    FileOutcome decide(const QString& path, const std::vector<ArchiveFormat>& formats) {
        const auto checkers = archivers_->checkersFor(formats, rules_);
        EXPECT_EQ(checkers.size(), formats.size()) << "a library is not installed";
        return DecideFile(path.toUtf8(), GetFileName(path, false), checkers, rules_);
    }
    QString zip(const QString& name, const EntryList& entries) {
        const QString path = scratch_.path(name);
        EXPECT_TRUE(test::makeZip(path, entries));
        return path;
    }

    static inline std::unique_ptr<ArchiverSet> archivers_;
    ScratchDir scratch_;
    CheckRules rules_;
};

const EntryList kOne{{QStringLiteral("a.txt"), "alpha"}};

TEST_F(RealCheckers, EveryShippedLibraryIsDetectedWithItsVersion) {
    for (const ArchiveFormat format :
         {ArchiveFormat::LZH, ArchiveFormat::ZIP, ArchiveFormat::CAB, ArchiveFormat::TAR,
          ArchiveFormat::RAR, ArchiveFormat::BGA, ArchiveFormat::SevenZip}) {
        EXPECT_TRUE(archivers_->installed(format)) << TraitsOf(format).name;
        EXPECT_TRUE(archivers_->caption(format).endsWith(QStringLiteral(" v1.00)")));
    }
    EXPECT_FALSE(archivers_->installed(ArchiveFormat::YZ1));
    EXPECT_FALSE(archivers_->installed(ArchiveFormat::GCA));
}

TEST_F(RealCheckers, GoodAndDamagedZip) {
    const QString good = zip(QStringLiteral("good.zip"),
                             {{QStringLiteral("big.txt"), test::sampleContent(100000, 4)}});
    EXPECT_EQ(decide(good, {ArchiveFormat::ZIP}).verdict, kGoodVerdict);
    test::flipByte(good, test::readFile(good).size() / 2);
    const FileOutcome damaged = decide(good, {ArchiveFormat::ZIP});
    EXPECT_EQ(damaged.kind, OutcomeKind::Bad);
    EXPECT_EQ(damaged.verdict, kBadFileCaption);
}

TEST_F(RealCheckers, EncryptedZipFollowsThePasswordRule) {
    const QString staging = scratch_.path(QStringLiteral("stage"));
    test::stageEntries(staging, kOne);
    const QString path = scratch_.path(QStringLiteral("secret.zip"));
    ASSERT_TRUE(
        test::runTool(QStringLiteral("zip"), {"-q", "-P", "secret", path, "a.txt"}, staging));
    EXPECT_EQ(decide(path, {ArchiveFormat::ZIP}).verdict, kGoodVerdict);
    rules_.badNoPassword = true;
    const FileOutcome locked = decide(path, {ArchiveFormat::ZIP});
    EXPECT_EQ(locked.kind, OutcomeKind::Bad);
    EXPECT_EQ(locked.verdict, kBadNoPasswordCaption);
}

TEST_F(RealCheckers, WrongExtension) {
    rules_.badNoExt = true;
    const QString named = zip(QStringLiteral("named.lzh"), kOne);
    EXPECT_EQ(decide(named, {ArchiveFormat::ZIP}).verdict, kBadNoExtCaption);
    EXPECT_EQ(decide(zip(QStringLiteral("upper.ZIP"), kOne), {ArchiveFormat::ZIP}).verdict,
              kGoodVerdict);
    // The 7z library reads ZIP too; its extension rule then wants .zip.
    EXPECT_EQ(decide(zip(QStringLiteral("seven.zip"), kOne), {ArchiveFormat::SevenZip}).verdict,
              kGoodVerdict);
    EXPECT_EQ(decide(named, {ArchiveFormat::SevenZip}).verdict, kBadNoExtCaption);
}

TEST_F(RealCheckers, GzipTarNamesByCompression) {
    rules_.badNoExt = true;
    for (const auto& [name, verdict] :
         {std::pair{"a.tgz", kGoodVerdict}, std::pair{"a.tar", kBadNoExtCaption},
          std::pair{"a.tar.gz", kBadNoExtCaption}}) {
        const QString path = scratch_.path(QString::fromLatin1(name));
        ASSERT_TRUE(test::makeTgz(path, kOne));
        EXPECT_EQ(decide(path, {ArchiveFormat::TAR}).verdict, verdict) << name;
    }
}

TEST_F(RealCheckers, SelfExtractingZipKeepsTheRuleUnderExe) {
    rules_.badNoExt = true;
    const QString plain = zip(QStringLiteral("plain.zip"), kOne);
    QByteArray stub("MZ");
    stub.append(4094, '\0');
    for (const char* name : {"sfx.exe", "sfx.zip"}) {
        const QString path = scratch_.path(QString::fromLatin1(name));
        test::writeFile(path, stub + test::readFile(plain));
        ASSERT_TRUE(test::runTool(QStringLiteral("zip"), {"-q", "-A", path}, scratch_.root()));
    }
    EXPECT_EQ(decide(scratch_.path(QStringLiteral("sfx.exe")), {ArchiveFormat::ZIP}).verdict,
              kGoodVerdict);
    EXPECT_EQ(decide(scratch_.path(QStringLiteral("sfx.zip")), {ArchiveFormat::ZIP}).verdict,
              kBadNoExtCaption);
}

TEST_F(RealCheckers, CountRule) {
    rules_.badNoFileSum = true;
    const QString two = zip(QStringLiteral("two.zip"),
                            {{QStringLiteral("a.txt"), "a"}, {QStringLiteral("b.txt"), "b"}});
    EXPECT_EQ(decide(two, {ArchiveFormat::ZIP}).verdict,
              QStringLiteral("2つ以上の格納ﾌｧｲﾙを持つ書庫ﾌｧｲﾙ"));
    rules_.fileCountLimit = 3;
    rules_.fileCountVerdict = FormatFileCountVerdict(3, kBadNoFileSumCaption);
    EXPECT_EQ(decide(two, {ArchiveFormat::ZIP}).verdict, kGoodVerdict);
    const QString three = zip(QStringLiteral("three.zip"), {{QStringLiteral("a.txt"), "a"},
                                                            {QStringLiteral("b.txt"), "b"},
                                                            {QStringLiteral("c.txt"), "c"}});
    EXPECT_EQ(decide(three, {ArchiveFormat::ZIP}).verdict,
              QStringLiteral("3つ以上の格納ﾌｧｲﾙを持つ書庫ﾌｧｲﾙ"));
}

TEST_F(RealCheckers, StoredNameRule) {
    rules_.badNoFileSum = true;
    rules_.badNoFileName = true;
    const auto verdictFor = [&](const QString& folder, const EntryList& entries) {
        const QString path = scratch_.path(folder) + QStringLiteral("/readme.zip");
        QDir().mkpath(scratch_.path(folder));
        EXPECT_TRUE(test::makeZip(path, entries));
        return decide(path, {ArchiveFormat::ZIP}).verdict;
    };
    EXPECT_EQ(verdictFor(QStringLiteral("same"), {{QStringLiteral("readme.txt"), "r"}}),
              kGoodVerdict);
    EXPECT_EQ(verdictFor(QStringLiteral("upper"), {{QStringLiteral("README.TXT"), "r"}}),
              kBadNoFileNameCaption);
    EXPECT_EQ(verdictFor(QStringLiteral("nested"), {{QStringLiteral("docs/readme.txt"), "r"}}),
              kBadNoFileNameCaption);
}

TEST_F(RealCheckers, ChainHandsAZipFromTheLzhCheckerToTheZipChecker) {
    const QString path = zip(QStringLiteral("chain.zip"), kOne);
    const FileOutcome outcome = decide(path, {ArchiveFormat::LZH, ArchiveFormat::ZIP});
    EXPECT_EQ(outcome.kind, OutcomeKind::Good);
    EXPECT_EQ(outcome.verdict, kGoodVerdict);
    // A file every format rejects gets the broken verdict of the last checker.
    const QString text = scratch_.path(QStringLiteral("notes.txt"));
    test::writeFile(text, "plain text");
    const auto everything = std::vector<ArchiveFormat>{
        ArchiveFormat::LZH, ArchiveFormat::ZIP, ArchiveFormat::CAB,     ArchiveFormat::TAR,
        ArchiveFormat::RAR, ArchiveFormat::BGA, ArchiveFormat::SevenZip};
    const FileOutcome rejected = decide(text, everything);
    EXPECT_EQ(rejected.kind, OutcomeKind::Bad);
    EXPECT_EQ(rejected.verdict, kBadFileCaption);
}

const auto kEveryShippedFormat = std::vector<ArchiveFormat>{
    ArchiveFormat::LZH, ArchiveFormat::ZIP, ArchiveFormat::CAB,     ArchiveFormat::TAR,
    ArchiveFormat::RAR, ArchiveFormat::BGA, ArchiveFormat::SevenZip};

const struct {
    const char* name;
    bool (*make)(const QString&, const EntryList&);
    ArchiveFormat format;
} kArchiveOfEachFormat[] = {{"a.lzh", &test::makeLzh, ArchiveFormat::LZH},
                            {"a.zip", &test::makeZip, ArchiveFormat::ZIP},
                            {"a.cab", &test::makeCab, ArchiveFormat::CAB},
                            {"a.tar", &test::makeTar, ArchiveFormat::TAR},
                            {"a.tbz", &test::makeTbz, ArchiveFormat::TAR},
                            {"a.rar", &test::makeRar4, ArchiveFormat::RAR},
                            {"a.gza", &test::makeGza, ArchiveFormat::BGA},
                            {"a.bza", &test::makeBza, ArchiveFormat::BGA},
                            {"a.7z", &test::makeSevenZip, ArchiveFormat::SevenZip}};

TEST_F(RealCheckers, EachFormatIsDecidedByItsOwnChecker) {
    rules_.badNoExt = true;
    for (const auto& archive : kArchiveOfEachFormat) {
        const QString path = scratch_.path(QString::fromLatin1(archive.name));
        ASSERT_TRUE(archive.make(path, kOne)) << archive.name;
        const FileOutcome outcome = decide(path, kEveryShippedFormat);
        EXPECT_EQ(outcome.verdict, kGoodVerdict) << archive.name;
        EXPECT_EQ(outcome.format, archive.format) << archive.name;
        EXPECT_TRUE(outcome.reason.isEmpty()) << outcome.reason.toStdString();
    }
}

// Every other library merely finds a file of another format and says nothing, so the reason
// of a damaged archive is its own library's, whatever comes first in the chain.
TEST_F(RealCheckers, DamagedArchiveIsExplainedByItsOwnLibrary) {
    const EntryList large{{QStringLiteral("payload.txt"), test::sampleContent(200000, 3)}};
    for (const auto& archive : kArchiveOfEachFormat) {
        const QString path = scratch_.path(QString::fromLatin1(archive.name));
        ASSERT_TRUE(archive.make(path, large)) << archive.name;
        test::truncateToPercent(path, 60);
        const FileOutcome outcome = decide(path, kEveryShippedFormat);
        EXPECT_EQ(outcome.kind, OutcomeKind::Bad) << archive.name;
        EXPECT_EQ(outcome.rule, VerdictRule::Broken) << archive.name;
        EXPECT_EQ(outcome.format, archive.format) << archive.name;
        EXPECT_FALSE(outcome.reason.isEmpty()) << archive.name;
    }
    const QString text = scratch_.path(QStringLiteral("text.zip"));
    test::writeFile(text, "no archive at all");
    const FileOutcome unknown = decide(text, kEveryShippedFormat);
    EXPECT_EQ(unknown.kind, OutcomeKind::Bad);
    EXPECT_FALSE(unknown.format);
    EXPECT_TRUE(unknown.reason.isEmpty()) << unknown.reason.toStdString();
}

}  // namespace
}  // namespace varnelt
