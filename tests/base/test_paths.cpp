// The path and name helpers, row by row, with "/" as the separator.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include "base/paths.h"
#include "tests/support/scratch.h"

namespace varnelt {
namespace {

struct Row {
    const char* input;
    const char* expected;
};

TEST(StripExtension, CutsAtTheLastDotOfTheWholeText) {
    const Row rows[] = {
        {"report.lzh", "report"}, {"a.tar.gz", "a.tar"},   {".profile", ""}, {"name.", "name"},
        {"README", "README"},     {"old.d/readme", "old"}, {"", ""},         {"表.zip", "表"}};
    for (const Row& row : rows) {
        EXPECT_EQ(StripExtension(QString::fromUtf8(row.input)), QString::fromUtf8(row.expected))
            << row.input;
    }
}

TEST(GetExtension, StopsAtTheLastFolderSeparator) {
    const Row rows[] = {
        {"report.LZH", "LZH"},   {"a.tar.gz", "gz"}, {"name.", ""}, {".profile", "profile"},
        {"/dir.old/README", ""}, {"README", ""},     {"", ""},      {"/x/日本語.ＺＩＰ", "ＺＩＰ"}};
    for (const Row& row : rows) {
        EXPECT_EQ(GetExtension(QString::fromUtf8(row.input)), QString::fromUtf8(row.expected))
            << row.input;
    }
}

TEST(StripAndGetExtension, DisagreeOnADotInsideAFolderName) {
    EXPECT_EQ(StripExtension(QStringLiteral("old.d/readme")), QStringLiteral("old"));
    EXPECT_EQ(GetExtension(QStringLiteral("old.d/readme")), QString());
}

TEST(GetFileName, SplitsAtSlashOnly) {
    struct FileRow {
        const char* input;
        bool withoutExtension;
        const char* expected;
    };
    const FileRow rows[] = {
        {"/data/report.lzh", false, "report.lzh"},
        {"/data/report.lzh", true, "report"},
        {"/data/", false, ""},
        {"/data/", true, ""},
        {"report.lzh", false, ""},
        {"report.lzh", true, ""},
        // ":" is an ordinary character here, not a drive separator.
        {"C:report.lzh", false, ""},
        {"/data/C:report.lzh", false, "C:report.lzh"},
        {"/my docs/say \"hi\".zip", true, "say \"hi\""},
        {"/書庫/日本語 の 名前.tar.gz", true, "日本語 の 名前.tar"},
    };
    for (const FileRow& row : rows) {
        EXPECT_EQ(GetFileName(QString::fromUtf8(row.input), row.withoutExtension),
                  QString::fromUtf8(row.expected))
            << row.input << " " << row.withoutExtension;
    }
}

TEST(GetParentFolder, KeepsEveryComponentButTheLast) {
    const Row rows[] = {{"/data/report.lzh", "/data/"},
                        {"/data/", "/data/"},
                        {"//server/share/a.zip", "//server/share/"},
                        {"report.lzh", ""},
                        {"", ""},
                        {"/", "/"},
                        {"/a:b/c d/\"q\".zip", "/a:b/c d/"},
                        {"/日本/語.zip", "/日本/"}};
    for (const Row& row : rows) {
        EXPECT_EQ(GetParentFolder(QString::fromUtf8(row.input)), QString::fromUtf8(row.expected))
            << row.input;
    }
}

TEST(NameHelpers, WorkAlikeOnBytes) {
    // "." and "/" are never part of a CP932 double-byte character.
    EXPECT_EQ(StripExtension(QByteArray("\x93\xfa\x96\x7b.zip")), QByteArray("\x93\xfa\x96\x7b"));
    EXPECT_EQ(GetExtension(QByteArray("/\x8f\x91.d/\x93\xfa")), QByteArray());
    EXPECT_EQ(GetFileName(QByteArray("/\x8f\x91/\x93\xfa.zip"), false), QByteArray("\x93\xfa.zip"));
    EXPECT_EQ(GetParentFolder(QByteArray("/\x8f\x91/\x93\xfa.zip")), QByteArray("/\x8f\x91/"));
}

TEST(AbsoluteNativePath, JoinsTheCurrentFolderAndResolvesDotsByName) {
    const test::ScratchDir scratch;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(scratch.root()));
    const QByteArray here = QDir::currentPath().toUtf8();
    const struct {
        QByteArray argument;
        QByteArray expected;
    } rows[] = {
        {"a.zip", here + "/a.zip"},
        {"./sub/../a.zip", here + "/a.zip"},
        {"sub/", here + "/sub/"},
        {".", here},
        {"\x93\xfa\x96\x7b.zip", here + "/\x93\xfa\x96\x7b.zip"},
        {"/x//y/./z/", "/x/y/z/"},
        {"/../a", "/a"},
        {"/", "/"},
        {"", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(AbsoluteNativePath(row.argument), row.expected) << row.argument.constData();
    }
    QDir::setCurrent(previous);
}

TEST(ArgumentBytes, SkipsTheProgramNameAndKeepsEveryByte) {
    const char* const argv[] = {"varnelt", "-r", "\x93\xfa\x96\x7b.zip", ""};
    EXPECT_EQ(ArgumentBytes(4, argv), (QByteArrayList{"-r", "\x93\xfa\x96\x7b.zip", ""}));
    EXPECT_TRUE(ArgumentBytes(1, argv).isEmpty());
}

TEST(FindOnPath, FindsExistingFilesAndFoldersByPath) {
    const test::ScratchDir scratch;
    const QString file = scratch.path(QStringLiteral("a \"quoted\" 名前:x.zip"));
    test::writeFile(file, "x");
    EXPECT_GT(FindOnPath(file), 0);
    EXPECT_EQ(LocateOnPath(file), file);
    // A folder is found with or without its trailing slash.
    const QString folder = scratch.root();
    EXPECT_GT(FindOnPath(folder), 0);
    EXPECT_GT(FindOnPath(folder.chopped(1)), 0);
    EXPECT_EQ(FindOnPath(scratch.path(QStringLiteral("missing.zip"))), 0);
    EXPECT_EQ(FindOnPath(QString()), 0);
    EXPECT_GT(FindOnPath(QStringLiteral("/")), 0);
}

TEST(FindOnPath, NeverSearchesTheCurrentFolderForABareName) {
    const test::ScratchDir scratch;
    const QString planted = QStringLiteral("libplanted-varnelt-test.so");
    test::writeFile(scratch.path(planted), "not a library");
    const QString previous = QDir::currentPath();
    QDir::setCurrent(scratch.root());
    qputenv("LD_LIBRARY_PATH", ":.:relative/lib");
    EXPECT_EQ(FindOnPath(planted), 0);
    for (const QString& folder : LibrarySearchFolders()) {
        EXPECT_TRUE(folder.startsWith(u'/')) << folder.toStdString();
    }
    qunsetenv("LD_LIBRARY_PATH");
    QDir::setCurrent(previous);
}

TEST(FindOnPath, SearchesTheLibraryPathAfterTheProgramFolder) {
    const test::ScratchDir scratch;
    const QString name = QStringLiteral("libvarnelt-search-test.so");
    test::writeFile(scratch.path(name), "x");
    EXPECT_EQ(FindOnPath(name), 0);
    qputenv("LD_LIBRARY_PATH", scratch.root().toUtf8());
    EXPECT_EQ(LocateOnPath(name), scratch.path(name));
    qunsetenv("LD_LIBRARY_PATH");
    const QStringList folders = LibrarySearchFolders();
    ASSERT_GE(folders.size(), 2);
    EXPECT_TRUE(folders[1].endsWith(QStringLiteral("/lib/varnelt")));
}

}  // namespace
}  // namespace varnelt
