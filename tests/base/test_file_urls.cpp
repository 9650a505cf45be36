// Local files as addresses: the bytes of the path survive the trip, whatever they decode to.
#include <gtest/gtest.h>

#include "base/file_urls.h"

namespace varnelt {
namespace {

TEST(FileUrl, PercentEncodesTheBytesAndComesBackWhole) {
    struct Row {
        QByteArray path;
        const char* address;
    };
    const Row rows[] = {
        {"/data/a.zip", "file:///data/a.zip"},
        {"/data/日本.zip", "file:///data/%E6%97%A5%E6%9C%AC.zip"},
        // CP932 bytes, not UTF-8: they stay bytes, not U+FFFD.
        {"/data/\x93\xfa\x96\x7b.zip", "file:///data/%93%FA%96%7B.zip"},
        // Characters that mean something in an address.
        {"/a b/#1?.zip", "file:///a%20b/%231%3F.zip"},
        {"/100%/x;y", "file:///100%25/x%3By"},
        {"/data/folder/", "file:///data/folder/"},
    };
    for (const Row& row : rows) {
        const QUrl url = FileUrl(row.path);
        EXPECT_TRUE(url.isLocalFile()) << row.address;
        EXPECT_EQ(url.toString(QUrl::FullyEncoded), QString::fromLatin1(row.address));
        EXPECT_EQ(NativePathOf(url), row.path) << row.address;
        // As another program hands it back, parsed from its text.
        EXPECT_EQ(NativePathOf(QUrl(QString::fromLatin1(row.address))), row.path) << row.address;
    }
    EXPECT_EQ(FileUrl(QByteArray("/data/日本.zip")).toLocalFile(),
              QStringLiteral("/data/日本.zip"));
}

}  // namespace
}  // namespace varnelt
