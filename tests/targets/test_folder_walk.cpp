// Listing folders: what is registered, in which order, and how odd trees are walked.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "targets/folder_walk.h"
#include "targets/registrar.h"
#include "tests/support/child_report.h"
#include "tests/support/scratch.h"

namespace varnelt {
namespace {

using test::ScratchDir;
using test::writeFile;

QStringList names(const std::vector<TargetRow>& rows) {
    QStringList out;
    for (const TargetRow& row : rows) {
        out << row.name;
    }
    return out;
}

TEST(ListRegularFiles, KeepsVisibleRegularFilesOnly) {
    const ScratchDir scratch;
    writeFile(scratch.path(QStringLiteral("a.zip")), "12345");
    writeFile(scratch.path(QStringLiteral("b.txt")), "");
    writeFile(scratch.path(QStringLiteral(".hidden.zip")), "x");
    QDir().mkdir(scratch.path(QStringLiteral("folder")));
    ASSERT_EQ(mkfifo(scratch.path(QStringLiteral("pipe.zip")).toUtf8().constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(scratch.path(QStringLiteral("a.zip")),
                            scratch.path(QStringLiteral("link.zip"))));
    ASSERT_TRUE(QFile::link(scratch.path(QStringLiteral("gone")),
                            scratch.path(QStringLiteral("dangling.zip"))));
    ASSERT_TRUE(QFile::link(scratch.path(QStringLiteral("folder")),
                            scratch.path(QStringLiteral("dirlink"))));

    const FolderListing listing = ListRegularFiles(scratch.root().toUtf8());
    EXPECT_FALSE(listing.error.has_value());
    EXPECT_EQ(names(listing.rows), (QStringList{"a.zip", "b.txt", "link.zip"}));
    const TargetRow& first = listing.rows.front();
    EXPECT_EQ(first.folder, scratch.root());
    EXPECT_EQ(first.nativePath(), scratch.nativePath("a.zip"));
    EXPECT_EQ(first.size, 5);
    EXPECT_EQ(first.sizeText(), QStringLiteral("5"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d$"))
                    .match(first.modified)
                    .hasMatch())
        << first.modified.toStdString();
}

TEST(ListRegularFiles, MissingFolderListsNothing) {
    const ScratchDir scratch;
    const FolderListing listing = ListRegularFiles(scratch.nativePath("nothing/"));
    EXPECT_TRUE(listing.rows.empty());
    EXPECT_FALSE(listing.error.has_value());
}

void makeTree(const ScratchDir& scratch) {
    for (const char* folder : {"top/A/A1/A1x", "top/A/A2", "top/B"}) {
        QDir().mkpath(scratch.path(QString::fromLatin1(folder)));
    }
}

TEST(GetFolders, DepthFirstParentsBeforeChildren) {
    const ScratchDir scratch;
    makeTree(scratch);
    const QByteArray top = scratch.nativePath("top");
    EXPECT_EQ(GetFolders(top), (QByteArrayList{top + "/A", top + "/A/A1", top + "/A/A1/A1x",
                                               top + "/A/A2", top + "/B"}));
    EXPECT_TRUE(GetFolders(top + "/B").isEmpty());
    EXPECT_TRUE(GetFolders(scratch.nativePath("missing")).isEmpty());
}

TEST(GetFolders, NeverFollowsLinksToFolders) {
    const ScratchDir scratch;
    makeTree(scratch);
    const QByteArray top = scratch.nativePath("top");
    // A loop back to the top would never end if links were followed.
    ASSERT_EQ(symlink(top.constData(), (top + "/A/loop").constData()), 0);
    EXPECT_EQ(GetFolders(top).size(), 5);
}

TEST(GetFolders, SkipsAFolderItCannotListAndGoesOnWithItsSiblings) {
    const ScratchDir scratch;
    makeTree(scratch);
    const QString top = scratch.path(QStringLiteral("top"));
    QDir().mkpath(top + "/A/A1/A1x/deep");
    chmod(scratch.root().toUtf8().constData(), 0755);
    chmod(top.toUtf8().constData(), 0755);
    chmod((top + "/A").toUtf8().constData(), 0755);
    chmod((top + "/A/A1").toUtf8().constData(), 0);
    // The walk runs as an unprivileged user, for whom the mode really forbids listing.
    const std::optional<QByteArray> result =
        test::reportFromChild([&]() -> std::optional<QByteArray> {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
                return std::nullopt;
            }
            return GetFolders(top.toUtf8()).join('|');
        });
    chmod((top + "/A/A1").toUtf8().constData(), 0755);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(QString::fromUtf8(*result),
              QStringList({top + "/A", top + "/A/A1", top + "/A/A2", top + "/B"}).join(u'|'));
}

TEST(Registrar, FolderFilesFirstThenSubfoldersThroughTheFilter) {
    const ScratchDir scratch;
    makeTree(scratch);
    const QString top = scratch.path(QStringLiteral("top"));
    writeFile(top + "/z.zip", "z");
    writeFile(top + "/readme", "r");
    writeFile(top + "/A/A1/one.ZIP", "1");
    writeFile(top + "/A/two.zip", "2");
    writeFile(top + "/B/.three.zip", "3");
    std::vector<TargetRow> rows;
    Registrar registrar({.addRow = [&rows](TargetRow&& row) { rows.push_back(std::move(row)); },
                         .filter = [] { return ExtensionFilter::fromList(QStringLiteral("zip;")); },
                         .reportError = [](const RuntimeError&) { FAIL(); }});
    EXPECT_FALSE(registrar.AddPath(top.toUtf8(), true).has_value());
    EXPECT_EQ(names(rows), (QStringList{"z.zip", "two.zip", "one.ZIP"}));
    EXPECT_EQ(rows[1].folder, top + "/A/");
    rows.clear();
    EXPECT_FALSE(registrar.AddPath(top.toUtf8() + "/", false).has_value());
    EXPECT_EQ(names(rows), QStringList{"z.zip"});
    rows.clear();
    EXPECT_FALSE(registrar.AddPath(top.toUtf8() + "/A/two.zip", false).has_value());
    EXPECT_EQ(names(rows), QStringList{"two.zip"});
    const MaybeError missing = registrar.AddPath(top.toUtf8() + "/nothing/", false);
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->number, ENOENT);
}

TEST(Registrar, StopEndsAfterTheFileInHand) {
    const ScratchDir scratch;
    for (int i = 0; i < 10; ++i) {
        writeFile(scratch.path(QStringLiteral("f%1.zip").arg(i)), "x");
    }
    std::vector<TargetRow> rows;
    Registrar registrar({.addRow = [&rows](TargetRow&& row) { rows.push_back(std::move(row)); },
                         .filter = [] { return std::optional(ExtensionFilter()); },
                         .stopRequested = [&rows] { return rows.size() >= 3; },
                         .reportError = [](const RuntimeError&) {}});
    registrar.AddFolder(scratch.root().toUtf8(), true);
    EXPECT_EQ(rows.size(), 3u);
}

TEST(Registrar, InvalidFilterIsReportedOnce) {
    const ScratchDir scratch;
    writeFile(scratch.path(QStringLiteral("a.zip")), "x");
    int reports = 0;
    Registrar registrar({.addRow = [](TargetRow&&) { FAIL(); },
                         .filter = [] { return ExtensionFilter::fromList(QStringLiteral("[zip")); },
                         .reportError = [&reports](const RuntimeError&) { ++reports; }});
    registrar.AddFolder(scratch.root().toUtf8(), false);
    EXPECT_EQ(reports, 1);
}

// Names that are not UTF-8, as unpacking old Japanese archives leaves them: each row keeps the
// system's bytes and shows them decoded.
TEST(Registrar, NamesThatAreNotUtf8KeepTheirBytesAndShowDecoded) {
    const ScratchDir scratch;
    const QByteArray folder = scratch.nativePath("\x8f\x91\x8c\xc9");  // 書庫
    ASSERT_EQ(mkdir(folder.constData(), 0755), 0);
    test::writeNativeFile(folder + "/\x93\xfa\x96\x7b.zip", "x");  // 日本
    test::writeNativeFile(folder + "/\xb1\xb2.zip", "y");          // ｱｲ
    test::writeNativeFile(folder + "/bad\xff\xfe.zip", "z");       // neither
    std::vector<TargetRow> rows;
    Registrar registrar({.addRow = [&rows](TargetRow&& row) { rows.push_back(std::move(row)); },
                         .filter = [] { return ExtensionFilter::fromList(QStringLiteral("zip")); },
                         .reportError = [](const RuntimeError&) { FAIL(); }});
    registrar.AddFolder(scratch.root().toUtf8(), true);
    EXPECT_EQ(names(rows), (QStringList{QStringLiteral("bad\uFFFD\uFFFD.zip"),
                                        QStringLiteral("日本.zip"), QStringLiteral("ｱｲ.zip")}));
    ASSERT_EQ(rows.size(), 3u);
    for (const TargetRow& row : rows) {
        EXPECT_EQ(row.folder, scratch.root() + QStringLiteral("書庫/"));
        EXPECT_EQ(row.nativeFolder, folder + '/');
        EXPECT_TRUE(test::nativeExists(row.nativePath())) << row.name.toStdString();
    }
    EXPECT_EQ(rows[1].nativeName, QByteArray("\x93\xfa\x96\x7b.zip"));
    // A single file by its path, as a command line gives it.
    rows.clear();
    EXPECT_FALSE(registrar.AddPath(folder + "/\x93\xfa\x96\x7b.zip", false).has_value());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, QStringLiteral("日本.zip"));
    EXPECT_EQ(rows[0].nativePath(), folder + "/\x93\xfa\x96\x7b.zip");
    // A path that names nothing is reported decoded.
    const MaybeError missing = registrar.AddPath(folder + "/\x96\x7b.zip", false);
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->path, scratch.root() + QStringLiteral("書庫/本.zip"));
}

}  // namespace
}  // namespace varnelt
