// Every classification of the check, pinned against the scriptable fake library.
#include <gtest/gtest.h>

#include "tests/checkers/fake_library.h"

namespace varnelt {
namespace {

using test::ScratchDir;
using test::writeFakeArchive;

class RuleChain : public ::testing::Test {
protected:
    // The outcome of one format's CheckFile on a fake archive.
    CheckOutcome check(ArchiveFormat format, const QString& name, const QByteArray& head,
                       const QByteArray& script) {
        lastPath_ = writeFakeArchive(scratch_, name, head, script);
        const auto library = test::loadFake(format);
        EXPECT_NE(library, nullptr);
        const ArchiveChecker checker(TraitsOf(format), *library, rules_);
        return checker.CheckFile(lastPath_);
    }
    QByteArray calls() const { return test::recordedCalls(lastPath_); }

    ScratchDir scratch_;
    CheckRules rules_;
    QString lastPath_;
};

TEST_F(RuleChain, FailedTestTakesTheBrokenPathWhateverTheCode) {
    for (const QByteArray answer : {"0x8005", "0x8019", "-1", "1"}) {
        const CheckOutcome outcome =
            check(ArchiveFormat::ZIP, QStringLiteral("a.zip"), "PK", "command=" + answer);
        EXPECT_EQ(outcome.result, 0) << answer.constData();
        EXPECT_EQ(outcome.verdict, kBadFileCaption);
    }
    rules_.badFile = false;
    const CheckOutcome lenient =
        check(ArchiveFormat::ZIP, QStringLiteral("a.zip"), "PK", "command=0x8005");
    EXPECT_EQ(lenient.result, 1);
    EXPECT_EQ(lenient.verdict, kGoodVerdict);
}

TEST_F(RuleChain, OnlyZipHasThePasswordPath) {
    rules_.badNoPassword = true;
    const CheckOutcome zip =
        check(ArchiveFormat::ZIP, QStringLiteral("a.zip"), "PK", "command=0x800A");
    EXPECT_EQ(zip.result, -1);
    EXPECT_EQ(zip.verdict, kBadNoPasswordCaption);
    for (const ArchiveFormat format : {ArchiveFormat::LZH, ArchiveFormat::SevenZip}) {
        const CheckOutcome other = check(format, QStringLiteral("a.bin"), "PK", "command=0x800A");
        EXPECT_EQ(other.result, 0);
        EXPECT_EQ(other.verdict, kBadFileCaption);
    }
    // With the password rule off, a password answer goes through the other rules.
    rules_.badNoPassword = false;
    rules_.badNoExt = true;
    EXPECT_EQ(check(ArchiveFormat::ZIP, QStringLiteral("a.zip"), "PK", "command=0x800A").verdict,
              kGoodVerdict);
    EXPECT_EQ(check(ArchiveFormat::ZIP, QStringLiteral("a.lzh"), "PK", "command=0x800A").verdict,
              kBadNoExtCaption);
}

TEST_F(RuleChain, SecondCheckAnswerPassesOnlyForBgaAndYz1) {
    for (const ArchiveFormat format : {ArchiveFormat::BGA, ArchiveFormat::YZ1}) {
        EXPECT_EQ(check(format, QStringLiteral("a.bin"), "x", "check=2").result, 1);
    }
    for (const ArchiveFormat format :
         {ArchiveFormat::CAB, ArchiveFormat::TAR, ArchiveFormat::RAR, ArchiveFormat::GCA}) {
        const CheckOutcome outcome = check(format, QStringLiteral("a.bin"), "x", "check=2");
        EXPECT_EQ(outcome.result, 0) << TraitsOf(format).name;
        EXPECT_EQ(outcome.verdict, kBadFileCaption);
    }
}

TEST_F(RuleChain, CheckArchiveModesPerFormat) {
    check(ArchiveFormat::CAB, QStringLiteral("a.cab"), "MS", "check=1");
    EXPECT_EQ(calls(), "check 2\n");
    check(ArchiveFormat::BGA, QStringLiteral("a.gza"), "x", "check=1");
    EXPECT_EQ(calls(), "check 1\n");
    check(ArchiveFormat::YZ1, QStringLiteral("a.yz1"), "x", "check=1");
    EXPECT_EQ(calls(), "check 16\n");
}

TEST_F(RuleChain, GcaTriesFurtherModesOnlyWhileTheAnswerIsZero) {
    EXPECT_EQ(check(ArchiveFormat::GCA, QStringLiteral("a.gca"), "GC", "check1=0\ncheck8=1").result,
              1);
    EXPECT_EQ(calls(), "check 1\ncheck 8\n");
    EXPECT_EQ(
        check(ArchiveFormat::GCA, QStringLiteral("b.gca"), "GC", "check1=0\ncheck8=0\ncheck16=1")
            .result,
        1);
    EXPECT_EQ(calls(), "check 1\ncheck 8\ncheck 16\n");
    EXPECT_EQ(check(ArchiveFormat::GCA, QStringLiteral("c.gca"), "GC", "check1=3\ncheck8=1").result,
              0);
    EXPECT_EQ(calls(), "check 1\n");
    EXPECT_EQ(check(ArchiveFormat::GCA, QStringLiteral("d.gca"), "GC", "check=0").result, 0);
}

TEST_F(RuleChain, CommandLinesCarryTheQuotedPath) {
    check(ArchiveFormat::LZH, QStringLiteral("a b.lzh"), "x", "command=0");
    EXPECT_EQ(calls(), "command t -ngm \"" + lastPath_.toUtf8() + "\"\n");
    check(ArchiveFormat::ZIP, QStringLiteral("a.zip"), "PK", "command=0");
    EXPECT_EQ(calls(), "command -t -qq \"" + lastPath_.toUtf8() + "\"\n");
    check(ArchiveFormat::SevenZip, QStringLiteral("a.7z"), "x", "command=0");
    EXPECT_EQ(calls(), "command t \"" + lastPath_.toUtf8() + "\"\n");
}

TEST_F(RuleChain, CountRuleAndItsThreshold) {
    rules_.badNoFileSum = true;
    rules_.fileCountVerdict = FormatFileCountVerdict(2, kBadNoFileSumCaption);
    EXPECT_EQ(rules_.fileCountVerdict, QStringLiteral("2つ以上の格納ﾌｧｲﾙを持つ書庫ﾌｧｲﾙ"));
    const CheckOutcome two =
        check(ArchiveFormat::ZIP, QStringLiteral("a.zip"), "PK", "command=0\ncount=2");
    EXPECT_EQ(two.result, -1);
    EXPECT_EQ(two.verdict, rules_.fileCountVerdict);
    rules_.fileCountLimit = 3;
    EXPECT_EQ(check(ArchiveFormat::ZIP, QStringLiteral("a.zip"), "PK", "command=0\ncount=2").result,
              1);
    // A negative count is the library's error value, never a broken rule.
    rules_.fileCountLimit = 2;
    EXPECT_EQ(
        check(ArchiveFormat::ZIP, QStringLiteral("a.zip"), "PK", "command=0\ncount=-5\nname=a.txt")
            .result,
        1);
}

TEST_F(RuleChain, StoredNameRuleOnlyWithCountRuleAtTwo) {
    rules_.badNoFileName = true;
    const QByteArray mismatch = "command=0\ncount=1\nname=other.txt";
    EXPECT_EQ(check(ArchiveFormat::ZIP, QStringLiteral("readme.zip"), "PK", mismatch).result, 1);
    rules_.badNoFileSum = true;
    rules_.fileCountLimit = 3;
    EXPECT_EQ(check(ArchiveFormat::ZIP, QStringLiteral("readme.zip"), "PK", mismatch).result, 1);
    rules_.fileCountLimit = 2;
    const CheckOutcome broken =
        check(ArchiveFormat::ZIP, QStringLiteral("readme.zip"), "PK", mismatch);
    EXPECT_EQ(broken.result, -1);
    EXPECT_EQ(broken.verdict, kBadNoFileNameCaption);
}

TEST_F(RuleChain, StoredNameComparesWithoutExtensionAndCase) {
    rules_.badNoFileSum = true;
    rules_.badNoFileName = true;
    const auto verdictFor = [&](const QByteArray& script) {
        return check(ArchiveFormat::ZIP, QStringLiteral("readme.zip"), "PK",
                     "command=0\ncount=1\n" + script)
            .verdict;
    };
    EXPECT_EQ(verdictFor("name=readme.txt"), kGoodVerdict);
    EXPECT_EQ(verdictFor("name=readme"), kGoodVerdict);
    EXPECT_EQ(verdictFor("name=README.TXT"), kBadNoFileNameCaption);
    EXPECT_EQ(verdictFor("name=docs/readme.txt"), kBadNoFileNameCaption);
    // No entry at all, or an archive that does not open, breaks the rule.
    EXPECT_EQ(verdictFor(""), kBadNoFileNameCaption);
    EXPECT_EQ(verdictFor("open=0\nname=readme.txt"), kBadNoFileNameCaption);
    // The handle opened for the name is closed again.
    EXPECT_FALSE(calls().contains("findfirst"));
    verdictFor("name=readme.txt");
    EXPECT_TRUE(calls().endsWith("open\nfindfirst\nclose\n")) << calls().constData();
}

TEST_F(RuleChain, RulePrecedenceIsExtensionThenCountThenName) {
    rules_.badNoExt = true;
    rules_.badNoFileSum = true;
    rules_.badNoFileName = true;
    const QByteArray everythingWrong = "command=0\ncount=1\nname=other.txt";
    EXPECT_EQ(check(ArchiveFormat::ZIP, QStringLiteral("a.lzh"), "PK", everythingWrong).verdict,
              kBadNoExtCaption);
    EXPECT_EQ(check(ArchiveFormat::ZIP, QStringLiteral("a.zip"), "PK", "command=0\ncount=9\nname=x")
                  .verdict,
              rules_.fileCountVerdict);
    EXPECT_EQ(check(ArchiveFormat::ZIP, QStringLiteral("a.zip"), "PK", everythingWrong).verdict,
              kBadNoFileNameCaption);
    // A failed test outranks every rule.
    EXPECT_EQ(
        check(ArchiveFormat::ZIP, QStringLiteral("a.lzh"), "PK", "command=0x800C\ncount=9").verdict,
        kBadFileCaption);
}

TEST_F(RuleChain, ExtensionByLeadingBytes) {
    rules_.badNoExt = true;
    const auto zipVerdict = [&](const QString& name, const QByteArray& head) {
        return check(ArchiveFormat::ZIP, name, head, "command=0").verdict;
    };
    EXPECT_EQ(zipVerdict(QStringLiteral("a.ZIP"), "PK"), kGoodVerdict);
    EXPECT_EQ(zipVerdict(QStringLiteral("a.exe"), "MZ"), kGoodVerdict);
    EXPECT_EQ(zipVerdict(QStringLiteral("a.zip"), "MZ"), kBadNoExtCaption);
    EXPECT_EQ(zipVerdict(QStringLiteral("azip"), "PK"), kBadNoExtCaption);
    EXPECT_EQ(zipVerdict(QStringLiteral("a.zip"), "pk"), kBadNoExtCaption);

    const auto sevenVerdict = [&](const QString& name, const QByteArray& head) {
        return check(ArchiveFormat::SevenZip, name, head, "command=0").verdict;
    };
    EXPECT_EQ(sevenVerdict(QStringLiteral("a.7z"), "\x37\x7A\xBC"), kGoodVerdict);
    EXPECT_EQ(sevenVerdict(QStringLiteral("a.zip"), "PK\x03"), kGoodVerdict);
    EXPECT_EQ(sevenVerdict(QStringLiteral("a.7z"), "PK\x03"), kBadNoExtCaption);
    EXPECT_EQ(sevenVerdict(QStringLiteral("a.exe"), "MZP"), kGoodVerdict);
    EXPECT_EQ(sevenVerdict(QStringLiteral("a.exe"), "MZ\x90"), kGoodVerdict);

    const auto cabVerdict = [&](const QString& name, const QByteArray& head) {
        return check(ArchiveFormat::CAB, name, head, "check=1").verdict;
    };
    EXPECT_EQ(cabVerdict(QStringLiteral("a.cab"), "MSCF"), kGoodVerdict);
    EXPECT_EQ(cabVerdict(QStringLiteral("a.exe"), "MZ"), kGoodVerdict);
    EXPECT_EQ(cabVerdict(QStringLiteral("a.cab"), "PK"), kBadNoExtCaption);
    EXPECT_EQ(check(ArchiveFormat::GCA, QStringLiteral("a.gca"), "GC", "check=1").verdict,
              kGoodVerdict);
}

TEST_F(RuleChain, TarExtensionFollowsCompression) {
    rules_.badNoExt = true;
    const auto tarVerdict = [&](const QString& name, const QByteArray& head) {
        return check(ArchiveFormat::TAR, name, head, "check=1").verdict;
    };
    EXPECT_EQ(tarVerdict(QStringLiteral("a.tgz"), "\x1F\x8B"), kGoodVerdict);
    EXPECT_EQ(tarVerdict(QStringLiteral("a.tar"), "\x1F\x8B"), kBadNoExtCaption);
    EXPECT_EQ(tarVerdict(QStringLiteral("a.tar.gz"), "\x1F\x8B"), kBadNoExtCaption);
    EXPECT_EQ(tarVerdict(QStringLiteral("a.tbz"), "BZh"), kGoodVerdict);
    EXPECT_EQ(tarVerdict(QStringLiteral("a.tar"), "usr"), kGoodVerdict);
    EXPECT_EQ(tarVerdict(QStringLiteral("a.tgz"), "usr"), kBadNoExtCaption);
}

TEST_F(RuleChain, ExtensionBySelfExtractingState) {
    rules_.badNoExt = true;
    const auto lzhVerdict = [&](const QString& name, const QByteArray& script) {
        return check(ArchiveFormat::LZH, name, "x", "command=0\n" + script).verdict;
    };
    EXPECT_EQ(lzhVerdict(QStringLiteral("a.lzh"), "sfx=0"), kGoodVerdict);
    EXPECT_EQ(lzhVerdict(QStringLiteral("a.exe"), "sfx=9921"), kGoodVerdict);
    EXPECT_EQ(lzhVerdict(QStringLiteral("a.lzh"), "sfx=9921"), kBadNoExtCaption);
    EXPECT_EQ(lzhVerdict(QStringLiteral("a.exe"), "sfx=0"), kBadNoExtCaption);
    EXPECT_EQ(lzhVerdict(QStringLiteral("a.lzh"), "sfx=-1"), kBadNoExtCaption);
    EXPECT_EQ(lzhVerdict(QStringLiteral("a.lzh"), "open=0"), kBadNoExtCaption);
    EXPECT_EQ(check(ArchiveFormat::RAR, QStringLiteral("a.rar"), "x", "check=1\nsfx=0").verdict,
              kGoodVerdict);
    EXPECT_EQ(check(ArchiveFormat::YZ1, QStringLiteral("a.yz1"), "x", "check=2\nsfx=0").verdict,
              kGoodVerdict);
}

TEST_F(RuleChain, BgaExtensionFollowsTheTestResult) {
    rules_.badNoExt = true;
    EXPECT_EQ(check(ArchiveFormat::BGA, QStringLiteral("a.gza"), "x", "check=1").verdict,
              kGoodVerdict);
    EXPECT_EQ(check(ArchiveFormat::BGA, QStringLiteral("a.bza"), "x", "check=2").verdict,
              kGoodVerdict);
    EXPECT_EQ(check(ArchiveFormat::BGA, QStringLiteral("a.bza"), "x", "check=1").verdict,
              kBadNoExtCaption);
    EXPECT_EQ(check(ArchiveFormat::BGA, QStringLiteral("a.exe"), "MZ", "check=2").verdict,
              kGoodVerdict);
    EXPECT_EQ(check(ArchiveFormat::BGA, QStringLiteral("a.exe"), "PK", "check=1").verdict,
              kBadNoExtCaption);
}

TEST_F(RuleChain, UnreadableLeadingBytesAreAnErrorWithoutVerdict) {
    rules_.badNoExt = true;
    const CheckOutcome outcome =
        check(ArchiveFormat::CAB, QStringLiteral("gone.cab"), "MS", "check=1\nunlink=1");
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_EQ(outcome.error->number, 2);
    EXPECT_EQ(outcome.error->path, lastPath_);
    EXPECT_TRUE(outcome.verdict.isEmpty());
}

TEST_F(RuleChain, DecisionOffersTheFileToEachFormatInTurn) {
    const auto lzh = test::loadFake(ArchiveFormat::LZH);
    const auto zip = test::loadFake(ArchiveFormat::ZIP);
    const std::vector<ArchiveChecker> checkers{{TraitsOf(ArchiveFormat::LZH), *lzh, rules_},
                                               {TraitsOf(ArchiveFormat::ZIP), *zip, rules_}};
    const QString accepted = writeFakeArchive(scratch_, QStringLiteral("a.zip"), "PK",
                                              "Unlha.command=0x8019\nUnZip.command=0");
    const CheckOutcome good = DecideFile(accepted, checkers);
    EXPECT_EQ(good.result, 1);
    EXPECT_EQ(good.verdict, kGoodVerdict);
    EXPECT_EQ(test::recordedCalls(accepted).count("command"), 2);
    // The first format that accepts decides; later ones are not asked.
    const QString plain = writeFakeArchive(scratch_, QStringLiteral("a.lzh"), "x", "command=0");
    EXPECT_EQ(DecideFile(plain, checkers).result, 1);
    EXPECT_EQ(test::recordedCalls(plain).count("command"), 1);

    const QString rejected =
        writeFakeArchive(scratch_, QStringLiteral("b.zip"), "PK", "command=0x8019");
    const CheckOutcome bad = DecideFile(rejected, checkers);
    EXPECT_EQ(bad.result, 0);
    EXPECT_EQ(bad.verdict, kBadFileCaption);

    // With the broken-archive rule off the first format decides alone.
    rules_.badFile = false;
    const QString alone =
        writeFakeArchive(scratch_, QStringLiteral("c.zip"), "PK", "command=0x8019");
    EXPECT_EQ(DecideFile(alone, checkers).result, 1);
    EXPECT_EQ(test::recordedCalls(alone).count("command"), 1);
}

}  // namespace
}  // namespace varnelt
