// The wildcard language and the extension filter built on it.
#include <gtest/gtest.h>

#include "targets/extension_filter.h"

namespace varnelt {
namespace {

bool matches(const char* pattern, const char* text) {
    const auto compiled = WildcardPattern::compile(QString::fromUtf8(pattern));
    EXPECT_TRUE(compiled.has_value()) << pattern;
    return compiled && compiled->matches(QString::fromUtf8(text));
}

TEST(WildcardPattern, MatchesItsLanguage) {
    EXPECT_TRUE(matches("*", ""));
    EXPECT_TRUE(matches("*.zip", "a.zip"));
    EXPECT_TRUE(matches("*.zip", ".zip"));
    EXPECT_FALSE(matches("*.zip", "a.zipx"));
    EXPECT_TRUE(matches("*.l?h", "x.lzh"));
    EXPECT_FALSE(matches("*.l?h", "x.lha"));
    EXPECT_TRUE(matches("*.r##", "x.r01"));
    EXPECT_FALSE(matches("*.r##", "x.r0a"));
    EXPECT_TRUE(matches("*.[a-c]x", "y.bx"));
    EXPECT_FALSE(matches("*.[a-c]x", "y.dx"));
    EXPECT_TRUE(matches("*.[!a-c]x", "y.dx"));
    EXPECT_FALSE(matches("*.[!a-c]x", "y.ax"));
    EXPECT_TRUE(matches("*.[xyz]", "y.z"));
    EXPECT_TRUE(matches("a*b*c", "a123b456c"));
    EXPECT_FALSE(matches("a*b*c", "a123b456"));
    EXPECT_TRUE(matches("*.日本", "名前.日本"));
    // Many stars never take exponential time.
    EXPECT_FALSE(matches("*a*a*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"));
}

TEST(WildcardPattern, UnclosedBracketIsInvalid) {
    EXPECT_FALSE(WildcardPattern::compile(QStringLiteral("*.[ab")).has_value());
    EXPECT_FALSE(ExtensionFilter::fromList(QStringLiteral("zip;[lzh")).has_value());
}

TEST(ExtensionFilter, ComparesLowerCasedNamesAfterADot) {
    const auto filter = ExtensionFilter::fromList(QStringLiteral("zip;"));
    ASSERT_TRUE(filter);
    EXPECT_TRUE(filter->accepts(QStringLiteral("ARCHIVE.ZIP")));
    EXPECT_FALSE(filter->accepts(QStringLiteral("b.txt")));
    EXPECT_FALSE(filter->accepts(QStringLiteral("zip")));
    const auto upper = ExtensionFilter::fromList(QStringLiteral("ZIP"));
    EXPECT_TRUE(upper->accepts(QStringLiteral("a.zip")));
}

TEST(ExtensionFilter, EntriesAreNotTrimmed) {
    const auto filter = ExtensionFilter::fromList(QStringLiteral("exe; lzh"));
    EXPECT_TRUE(filter->accepts(QStringLiteral("x.exe")));
    EXPECT_FALSE(filter->accepts(QStringLiteral("x.lzh")));
}

TEST(ExtensionFilter, MatchesAfterAnyDotOfTheName) {
    const auto filter = ExtensionFilter::fromList(QStringLiteral("tar.gz"));
    EXPECT_TRUE(filter->accepts(QStringLiteral("x.tar.gz")));
    EXPECT_TRUE(
        ExtensionFilter::fromList(QStringLiteral("gz"))->accepts(QStringLiteral("x.tar.gz")));
    EXPECT_FALSE(
        ExtensionFilter::fromList(QStringLiteral("gz;zip"))->accepts(QStringLiteral("README")));
    EXPECT_TRUE(ExtensionFilter().accepts(QStringLiteral("README")));
}

class AutoList : public ::testing::Test {
protected:
    void set(ArchiveFormat format, bool enabled, bool ticked) {
        boxes_[static_cast<int>(format)] = {enabled, ticked};
    }
    QString list() const { return BuildAutoFilterList(boxes_); }
    FormatBoxState boxes_[kFormatCount];
};

TEST_F(AutoList, FollowsTheBoxOrderAndEndsInExe) {
    set(ArchiveFormat::SevenZip, true, true);
    set(ArchiveFormat::ZIP, true, true);
    EXPECT_EQ(list(), QStringLiteral("zip;7z;exe;"));
    for (const ArchiveFormat format : kAllFormats) {
        set(format, true, true);
    }
    EXPECT_EQ(list(), QStringLiteral("lzh;zip;cab;7z;rar;tar;tbz;gca;yz1;gza;bza;exe;"));
}

TEST_F(AutoList, SevenZipBringsZipWhenTheZipBoxIsClear) {
    set(ArchiveFormat::SevenZip, true, true);
    EXPECT_EQ(list(), QStringLiteral("7z;zip;exe;"));
    // A ticked but disabled ZIP box still keeps zip out of the 7z entry.
    set(ArchiveFormat::ZIP, false, true);
    EXPECT_EQ(list(), QStringLiteral("7z;exe;"));
}

TEST_F(AutoList, EmptyWithoutAnEnabledTickedBox) {
    EXPECT_EQ(list(), QString());
    set(ArchiveFormat::LZH, false, true);
    set(ArchiveFormat::ZIP, true, false);
    EXPECT_EQ(list(), QString());
}

}  // namespace
}  // namespace varnelt
