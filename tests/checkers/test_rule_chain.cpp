// Every classification of the check, pinned against the scriptable fake library.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "base/error_catalogue.h"
#include "checkers/file_decision.h"
#include "tests/support/fake_library.h"
#include "tests/support/scratch.h"

namespace varnelt {
namespace {

using test::ScratchDir;
using test::writeFakeArchive;

class RuleChain : public ::testing::Test {
protected:
    // The outcome of one format's CheckFile on a fake archive at a path of any bytes, its
    // first bytes read as the decision reads them.
    CheckOutcome checkAt(ArchiveFormat format, const QByteArray& path, const QString& name,
                         const QByteArray& head, const QByteArray& script) {
        lastPath_ = writeFakeArchive(path, head, script);
        const auto library = test::loadFake(format);
        EXPECT_NE(library, nullptr);
        const ArchiveChecker checker(TraitsOf(format), *library, rules_);
        CheckedFile file{path, name, {}};
        const QByteArray first = test::readNativeFile(path).left(file.head.size());
        std::copy(first.begin(), first.end(), file.head.begin());
        return checker.CheckFile(file);
    }
    CheckOutcome check(ArchiveFormat format, const QString& name, const QByteArray& head,
                       const QByteArray& script) {
        return checkAt(format, scratch_.nativePath(name.toUtf8()), name, head, script);
    }
    QByteArray calls() const { return test::recordedCalls(lastPath_); }

    ScratchDir scratch_;
    CheckRules rules_;
    QByteArray lastPath_;
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
    EXPECT_EQ(calls(), "command t -ngm \"" + lastPath_ + "\"\n");
    check(ArchiveFormat::ZIP, QStringLiteral("a.zip"), "PK", "command=0");
    EXPECT_EQ(calls(), "command -t -qq \"" + lastPath_ + "\"\n");
    check(ArchiveFormat::SevenZip, QStringLiteral("a.7z"), "x", "command=0");
    EXPECT_EQ(calls(), "command t \"" + lastPath_ + "\"\n");
    // A name that is not UTF-8 reaches the library as its very bytes.
    checkAt(ArchiveFormat::ZIP, scratch_.nativePath("\x93\xfa\x96\x7b.zip"),
            QStringLiteral("日本.zip"), "PK", "command=0");
    EXPECT_EQ(calls(), "command -t -qq \"" + scratch_.nativePath("\x93\xfa\x96\x7b.zip") + "\"\n");
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

// Captions can all read the same; the rule that was broken is still known, for the records
// that name it. The fake, like other makers' libraries, gives no reason.
TEST_F(RuleChain, EachOutcomeNamesTheRuleThatGaveIt) {
    rules_.badNoExt = rules_.badNoFileSum = rules_.badNoFileName = rules_.badNoPassword = true;
    rules_.badFileCaption = rules_.badNoExtCaption = rules_.badNoPasswordCaption =
        rules_.badNoFileNameCaption = rules_.fileCountVerdict = QStringLiteral("same");
    const struct {
        const char* name;
        const char* script;
        VerdictRule rule;
    } cases[] = {
        {"a.zip", "command=0\ncount=1\nname=a.txt", VerdictRule::None},
        {"a.zip", "command=0x800C", VerdictRule::Broken},
        {"a.zip", "command=0x800A", VerdictRule::Password},
        {"a.lzh", "command=0\ncount=1\nname=a.txt", VerdictRule::Extension},
        {"a.zip", "command=0\ncount=5", VerdictRule::Count},
        {"a.zip", "command=0\ncount=1\nname=b.txt", VerdictRule::Name},
    };
    for (const auto& each : cases) {
        const CheckOutcome outcome =
            check(ArchiveFormat::ZIP, QString::fromLatin1(each.name), "PK", each.script);
        EXPECT_EQ(outcome.rule, each.rule) << each.script;
        EXPECT_TRUE(outcome.reason.isEmpty());
    }
    EXPECT_EQ(test::loadFake(ArchiveFormat::ZIP)->getLastErrorText, nullptr);
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

TEST_F(RuleChain, StoredNameIsComparedWithTheDecodedName) {
    rules_.badNoFileSum = true;
    rules_.badNoFileName = true;
    const QByteArray cp932 = scratch_.nativePath("\x93\xfa\x96\x7b.zip");
    const auto verdictFor = [&](const QByteArray& stored) {
        return checkAt(ArchiveFormat::ZIP, cp932, QStringLiteral("日本.zip"), "PK",
                       "command=0\ncount=1\nname=" + stored)
            .verdict;
    };
    EXPECT_EQ(verdictFor("日本.txt"), kGoodVerdict);
    EXPECT_EQ(verdictFor("本日.txt"), kBadNoFileNameCaption);
    EXPECT_EQ(verdictFor("\x93\xfa\x96\x7b.txt"), kBadNoFileNameCaption)
        << "the library's names are UTF-8; the archive's bytes are not compared";
}

// Answers by which a library says it could not open or read the file.
constexpr int32_t kCouldNotRead[] = {VARNELT_ARC_ERROR_ARC_FILE_OPEN,
                                     VARNELT_ARC_ERROR_CANNOT_READ};

TEST_F(RuleChain, CouldNotReadOnAFileTheProgramReadsWholeIsAnOrdinaryFailure) {
    for (const int32_t code : kCouldNotRead) {
        const QByteArray answer = QByteArray::number(code);
        for (const auto& [format, script] : {std::pair{ArchiveFormat::ZIP, "command=" + answer},
                                             std::pair{ArchiveFormat::CAB, "check=" + answer}}) {
            const CheckOutcome outcome = check(format, QStringLiteral("a.bin"), "x", script);
            EXPECT_EQ(outcome.readError, 0) << code;
            EXPECT_EQ(outcome.result, 0) << code;
            EXPECT_EQ(outcome.verdict, kBadFileCaption) << code;
        }
    }
}

TEST_F(RuleChain, CouldNotReadOnAFileTheProgramCannotReadEitherIsNoVerdict) {
    for (const int32_t code : kCouldNotRead) {
        const QByteArray answer = QByteArray::number(code);
        for (const auto& [format, script] :
             {std::pair{ArchiveFormat::ZIP, "fifo=1\ncommand=" + answer},
              std::pair{ArchiveFormat::CAB, "fifo=1\ncheck=" + answer}}) {
            const CheckOutcome outcome = check(format, QStringLiteral("a.bin"), "x", script);
            EXPECT_EQ(outcome.readError, kErrorNotRegularFile) << code;
            EXPECT_TRUE(outcome.verdict.isEmpty()) << code;
        }
    }
    // Any other failure is the archive's, whatever became of the file.
    const CheckOutcome other =
        check(ArchiveFormat::ZIP, QStringLiteral("b.bin"), "x", "fifo=1\ncommand=0x8019");
    EXPECT_EQ(other.readError, 0);
    EXPECT_EQ(other.verdict, kBadFileCaption);
}

class FileDecisionTest : public RuleChain {
protected:
    FileOutcome decide(ArchiveFormat format, const QString& name, const QByteArray& head,
                       const QByteArray& script) {
        const QByteArray path = writeFakeArchive(scratch_.nativePath(name.toUtf8()), head, script);
        library_ = test::loadFake(format);
        const std::vector<ArchiveChecker> checkers{{TraitsOf(format), *library_, rules_}};
        return DecideFile(path, name, checkers, rules_);
    }
    std::unique_ptr<ArchiverLibrary> library_;
};

TEST_F(FileDecisionTest, KindFollowsWhatBecameOfTheFile) {
    const struct {
        const char* script;
        OutcomeKind kind;
        const QString& verdict;
        int readError;
    } rows[] = {
        {"command=0", OutcomeKind::Good, kGoodVerdict, 0},
        {"command=0x800C", OutcomeKind::Bad, kBadFileCaption, 0},
        {"command=0x801A", OutcomeKind::Bad, kBadFileCaption, 0},
        {"command=0x801A\nfifo=1", OutcomeKind::Unreadable, kUnreadableFileVerdict,
         kErrorNotRegularFile},
        {"command=0x8018\nunlink=1", OutcomeKind::Missing, kMissingFileVerdict, 0},
    };
    for (const auto& row : rows) {
        const FileOutcome outcome =
            decide(ArchiveFormat::ZIP, QStringLiteral("a.zip"), "PK", QByteArray(row.script));
        EXPECT_EQ(outcome.kind, row.kind) << row.script;
        EXPECT_EQ(outcome.verdict, row.verdict) << row.script;
        EXPECT_EQ(outcome.readError, row.readError) << row.script;
    }
}

TEST_F(FileDecisionTest, FileThatCannotBeOpenedNeverReachesALibrary) {
    const auto library = test::loadFake(ArchiveFormat::ZIP);
    const std::vector<ArchiveChecker> checkers{{TraitsOf(ArchiveFormat::ZIP), *library, rules_}};
    const QByteArray pipe = scratch_.nativePath("pipe.zip");
    ASSERT_EQ(mkfifo(pipe.constData(), 0600), 0);
    const FileOutcome swapped = DecideFile(pipe, QStringLiteral("pipe.zip"), checkers, rules_);
    EXPECT_EQ(swapped.kind, OutcomeKind::Unreadable);
    EXPECT_EQ(swapped.verdict, kUnreadableFileVerdict);
    EXPECT_TRUE(test::recordedCalls(pipe).isEmpty());

    const QByteArray gone = scratch_.nativePath("gone/a.zip");
    const FileOutcome missing = DecideFile(gone, QStringLiteral("a.zip"), checkers, rules_);
    EXPECT_EQ(missing.kind, OutcomeKind::Missing);
    EXPECT_EQ(missing.verdict, kMissingFileVerdict);
    EXPECT_EQ(missing.readError, 0);
}

TEST_F(FileDecisionTest, LeadingBytesAreReadBeforeTheLibraryTests) {
    rules_.badNoExt = true;
    // The file is gone once the library has tested it; its first bytes were read already.
    const FileOutcome outcome =
        decide(ArchiveFormat::CAB, QStringLiteral("gone.cab"), "MS", "check=1\nunlink=1");
    EXPECT_EQ(outcome.kind, OutcomeKind::Good);
    EXPECT_EQ(outcome.verdict, kGoodVerdict);
}

TEST_F(RuleChain, DecisionOffersTheFileToEachFormatInTurn) {
    const auto lzh = test::loadFake(ArchiveFormat::LZH);
    const auto zip = test::loadFake(ArchiveFormat::ZIP);
    const std::vector<ArchiveChecker> checkers{{TraitsOf(ArchiveFormat::LZH), *lzh, rules_},
                                               {TraitsOf(ArchiveFormat::ZIP), *zip, rules_}};
    const auto decide = [&](const char* name, const QByteArray& head, const QByteArray& script) {
        lastPath_ = writeFakeArchive(scratch_.nativePath(name), head, script);
        return DecideFile(lastPath_, QString::fromLatin1(name), checkers, rules_);
    };
    const FileOutcome good = decide("a.zip", "PK", "Unlha.command=0x8019\nUnZip.command=0");
    EXPECT_EQ(good.kind, OutcomeKind::Good);
    EXPECT_EQ(good.verdict, kGoodVerdict);
    EXPECT_EQ(calls().count("command"), 2);
    // The first format that accepts decides; later ones are not asked.
    EXPECT_EQ(decide("a.lzh", "x", "command=0").kind, OutcomeKind::Good);
    EXPECT_EQ(calls().count("command"), 1);

    const FileOutcome bad = decide("b.zip", "PK", "command=0x8019");
    EXPECT_EQ(bad.kind, OutcomeKind::Bad);
    EXPECT_EQ(bad.verdict, kBadFileCaption);

    // With the broken-archive rule off the first format decides alone.
    rules_.badFile = false;
    EXPECT_EQ(decide("c.zip", "PK", "command=0x8019").kind, OutcomeKind::Good);
    EXPECT_EQ(calls().count("command"), 1);
}

}  // namespace
}  // namespace varnelt
