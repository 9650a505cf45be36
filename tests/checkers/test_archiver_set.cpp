// Library detection and the captions of the format boxes.
#include <gtest/gtest.h>

#include <QFile>

#include "checkers/archiver_set.h"
#include "tests/support/fake_library.h"
#include "tests/support/scratch.h"

namespace varnelt {
namespace {

TEST(FormatArchiverCaption, PadsPrefixAndFileAndFormatsTheVersion) {
    EXPECT_EQ(FormatArchiverCaption(QStringLiteral("&LZH"), QStringLiteral("libunlha32.so"), 267),
              QStringLiteral("&LZH(libunlha32.so v2.67)"));
    EXPECT_EQ(
        FormatArchiverCaption(QStringLiteral("&LZH"), QStringLiteral("libunlha32.so"), 267).size(),
        25);
    EXPECT_EQ(FormatArchiverCaption(QStringLiteral("&CAB"), QStringLiteral("libcab32.so"), 100),
              QStringLiteral("&CAB(libcab32.so   v1.00)"));
    EXPECT_EQ(FormatArchiverCaption(QStringLiteral("&7z"), QStringLiteral("lib7-zip32.so"), 5),
              QStringLiteral("&7z (lib7-zip32.so v0.05)"));
    EXPECT_EQ(FormatArchiverCaption(QStringLiteral("&YZ1"), QStringLiteral("libyz1.so"), 1000),
              QStringLiteral("&YZ1(libyz1.so     v10.00)"));
    EXPECT_EQ(FormatArchiverCaption(QStringLiteral("&ZIP"), QStringLiteral("libunzip32.so"), 0),
              QStringLiteral("&ZIP(libunzip32.so vX.XX)"));
    EXPECT_EQ(FormatArchiverCaption(QStringLiteral("&GCA"), QStringLiteral("libungca32.so"), -1),
              QStringLiteral("&GCA(libungca32.so未導入)"));
    EXPECT_EQ(FormatArchiverCaption(QStringLiteral("&GCA"), QStringLiteral("libungca32.so"), -2),
              QString());
    EXPECT_EQ(FormatArchiverCaption(QStringLiteral("&GCA"), QStringLiteral("libungca32.so"), 32767),
              QStringLiteral("&GCA(libungca32.so v327.67)"));
}

class Detection : public ::testing::Test {
protected:
    Detection()
        : set_([this](const QString& name) {
              const QString path = scratch_.path(name);
              return QFile::exists(path) ? path : QString();
          }) {}
    void install(ArchiveFormat format) {
        ASSERT_TRUE(QFile::copy(test::fakeLibraryPath(),
                                scratch_.path(QLatin1String(TraitsOf(format).libraryFile))));
    }
    void remove(ArchiveFormat format) {
        ASSERT_TRUE(QFile::remove(scratch_.path(QLatin1String(TraitsOf(format).libraryFile))));
    }
    test::ScratchDir scratch_;
    ArchiverSet set_;
};

TEST_F(Detection, NothingInstalledMarksEveryFormat) {
    set_.DetectArchivers();
    for (const ArchiveFormat format : kAllFormats) {
        EXPECT_FALSE(set_.installed(format));
        EXPECT_EQ(set_.library(format), nullptr);
        EXPECT_TRUE(set_.caption(format).endsWith(QStringLiteral("未導入)")));
    }
}

TEST_F(Detection, SeesALibraryRemovedAndPutBack) {
    install(ArchiveFormat::ZIP);
    set_.DetectArchivers();
    EXPECT_TRUE(set_.installed(ArchiveFormat::ZIP));
    EXPECT_EQ(set_.caption(ArchiveFormat::ZIP), QStringLiteral("&ZIP(libunzip32.so v1.23)"));
    EXPECT_FALSE(set_.installed(ArchiveFormat::LZH));

    remove(ArchiveFormat::ZIP);
    set_.DetectArchivers();
    EXPECT_FALSE(set_.installed(ArchiveFormat::ZIP));
    EXPECT_EQ(set_.library(ArchiveFormat::ZIP), nullptr);
    EXPECT_TRUE(set_.checkersFor({ArchiveFormat::ZIP}, CheckRules{}).empty());

    install(ArchiveFormat::ZIP);
    set_.DetectArchivers();
    EXPECT_TRUE(set_.installed(ArchiveFormat::ZIP));
    EXPECT_EQ(set_.checkersFor({ArchiveFormat::ZIP, ArchiveFormat::LZH}, CheckRules{}).size(), 1u);
}

TEST_F(Detection, AFileThatIsNoLibraryIsNotInstalled) {
    test::writeFile(scratch_.path(QStringLiteral("libcab32.so")), "not a shared object");
    set_.DetectArchivers();
    EXPECT_FALSE(set_.installed(ArchiveFormat::CAB));
    EXPECT_EQ(set_.version(ArchiveFormat::CAB), -1);
}

TEST_F(Detection, VersionIsTheLowSixteenBitsSigned) {
    install(ArchiveFormat::RAR);
    qputenv("FAKE_ARCHIVER_VERSION", "0x10005");
    set_.DetectArchivers();
    EXPECT_EQ(set_.version(ArchiveFormat::RAR), 5);
    EXPECT_EQ(set_.caption(ArchiveFormat::RAR), QStringLiteral("&RAR(libunrar32.so v0.05)"));
    qputenv("FAKE_ARCHIVER_VERSION", "0xFFFE");
    set_.DetectArchivers();
    EXPECT_EQ(set_.version(ArchiveFormat::RAR), -2);
    EXPECT_EQ(set_.caption(ArchiveFormat::RAR), QString());
    qunsetenv("FAKE_ARCHIVER_VERSION");
}

TEST_F(Detection, CheckersFollowTheChainOrder) {
    for (const ArchiveFormat format : kAllFormats) {
        install(format);
    }
    set_.DetectArchivers();
    const auto checkers = set_.checkersFor(
        {ArchiveFormat::SevenZip, ArchiveFormat::ZIP, ArchiveFormat::LZH}, CheckRules{});
    ASSERT_EQ(checkers.size(), 3u);
    EXPECT_EQ(checkers[0].format(), ArchiveFormat::LZH);
    EXPECT_EQ(checkers[1].format(), ArchiveFormat::ZIP);
    EXPECT_EQ(checkers[2].format(), ArchiveFormat::SevenZip);
}

}  // namespace
}  // namespace varnelt
