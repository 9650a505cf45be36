// Names as bytes and as text: what the list and the log show for each.
#include <gtest/gtest.h>

#include "base/name_decoding.h"

namespace varnelt {
namespace {

struct Row {
    const char* bytes;
    const char* text;  // UTF-8
};

TEST(DecodeName, Utf8ThenCp932ThenReplacement) {
    const Row rows[] = {
        {"plain.zip", "plain.zip"},
        {"日本.zip", "日本.zip"},                          // UTF-8 as it is
        {"\x93\xfa\x96\x7b.zip", "日本.zip"},              // CP932, a "{" as second byte
        {"\x95\x5c.txt", "表.txt"},                        // CP932, a "\" as second byte
        {"\xb1\xb2\xb3", "ｱｲｳ"},                           // half-width kana, one byte each
        {"a\xff.zip", "a\xef\xbf\xbd.zip"},                // neither: U+FFFD
        {"\x93", "\xef\xbf\xbd"},                          // a lead byte without its second
        {"\xe6\x97\xa5\xff", "\xe6\x97\xa5\xef\xbf\xbd"},  // UTF-8 with a stray byte
        {"", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(DecodeName(row.bytes), QString::fromUtf8(row.text)) << row.text;
    }
}

TEST(DecodePath, EachComponentIsDecodedOnItsOwn) {
    const Row rows[] = {
        {"/data/a.zip", "/data/a.zip"},
        {"/\x8f\x91\x8c\xc9/\x93\xfa\x96\x7b.zip", "/書庫/日本.zip"},
        // A UTF-8 folder beside a CP932 name, and the other way round: neither garbles the
        // other.
        {"/日本/\x93\xfa.zip", "/日本/日.zip"},
        {"/\x93\xfa/日本/", "/日/日本/"},
        {"relative/\xb1", "relative/ｱ"},
        {"/", "/"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(DecodePath(row.bytes), QString::fromUtf8(row.text)) << row.text;
    }
}

}  // namespace
}  // namespace varnelt
