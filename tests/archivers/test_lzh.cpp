// What only the LZH library does: LHA methods and header levels, Shift-JIS names read from the
// raw header, self-extracting archives, and the codes its command function answers.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
#include "tests/support/call_in_process.h"
#include "tests/support/lzh_writer.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

class LzhLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        library_ =
            std::make_unique<BoundLibrary>(LibraryUnderTest{"libunlha32.so", "Unlha", "t -ngm"});
        ASSERT_TRUE(library_->loaded());
    }
    QString jlha(const QString& base, const EntryList& entries, const QString& switches = {}) {
        const QString archive = scratch_.path(base + QStringLiteral(".lzh"));
        EXPECT_TRUE(makeLzhWith(archive, entries, switches)) << archive.toStdString();
        return archive;
    }
    QString write(const QString& name, const QByteArray& bytes) {
        writeFile(scratch_.path(name), bytes);
        return scratch_.path(name);
    }
    ScratchDir scratch_;
    std::unique_ptr<BoundLibrary> library_;
};

// "MZ", then bytes that hold what looks like an LZH header but fails its checksum.
QByteArray executableStub(int size) {
    QByteArray stub = "MZ" + sampleContent(size - 2, 11);
    const QByteArray decoy = QByteArray("\x20\x00-lh5-", 7) + QByteArray(15, '\x01');
    stub.replace(size / 2, decoy.size(), decoy);
    return stub;
}

TEST_F(LzhLibrary, EveryMethodJlhaWritesIsDecodedAndChecked) {
    const struct {
        const char* switches;
        const char* method;
    } kMethods[] = {{"z", "-lh0-"}, {"o5", "-lh5-"}, {"o6", "-lh6-"}, {"o7", "-lh7-"}};
    for (const auto& m : kMethods) {
        SCOPED_TRACE(m.method);
        const QString archive = jlha(QString::fromLatin1(m.method),
                                     {{QStringLiteral("big.txt"), sampleContent(120000, 5)},
                                      {QStringLiteral("small.txt"), "small"}},
                                     QString::fromLatin1(m.switches));
        ASSERT_EQ(readFile(archive).mid(2, 5), QByteArray(m.method)) << "jlha chose another method";
        EXPECT_EQ(library_->test(archive), VARNELT_ARC_OK);
        EXPECT_EQ(library_->count(archive), 2);
        flipByte(archive, readFile(archive).size() / 2);  // inside the large entry's data
        EXPECT_EQ(library_->test(archive), VARNELT_ARC_ERROR_FILE_CRC);
    }
}

TEST_F(LzhLibrary, StoredMethodsOfOtherToolsPassAndUnknownOnesAreNamed) {
    const QByteArray data = sampleContent(3000, 2);
    const QString stored = write(
        QStringLiteral("stored.lzh"),
        storedLzh(
            {{"-lh0-", "lh0.txt", data}, {"-lz4-", "lz4.txt", data}, {"-pm0-", "pm0.txt", data}}));
    EXPECT_EQ(library_->test(stored), VARNELT_ARC_OK);
    EXPECT_EQ(library_->count(stored), 3);

    const QString unknown = write(QStringLiteral("unknown.lzh"),
                                  storedLzh({{"-lh0-", "a.txt", data}, {"-lh9-", "b.txt", data}}));
    EXPECT_EQ(library_->test(unknown), VARNELT_ARC_ERROR_METHOD);
    EXPECT_EQ(library_->count(unknown), 2) << "counting reads headers only";
}

// A header may claim gigabytes for a few compressed bytes. Some decoders go on making output
// from nothing once the data has run out, so the test stops there, not at the claimed size.
TEST_F(LzhLibrary, DecodingStopsWhereTheDataRunsOut) {
    for (const char* method :
         {"-lh1-", "-lh4-", "-lh5-", "-lh6-", "-lh7-", "-lzs-", "-lz5-", "-pm1-", "-pm2-"}) {
        SCOPED_TRACE(method);
        const QString archive =
            write(QStringLiteral("claims.lzh"),
                  storedLzh({{method, "big.bin", QByteArray(1, '\xff'), 0xFFFFFFFFu}}));
        const auto answers =
            callInProcess({"libunlha32.so", "Unlha", "t -ngm"}, archive, {.timeoutMs = 60000});
        ASSERT_TRUE(answers.has_value());
        EXPECT_EQ(answers->command, VARNELT_ARC_ERROR_FILE_CRC);
    }
}

TEST_F(LzhLibrary, NamesAreTakenFromTheRawHeader) {
    // Kept as stored, not lowered as MS-DOS names often are.
    const QString upper =
        write(QStringLiteral("upper.lzh"), storedLzh({{"-lh0-", "DOCS\\README.TXT", "r"}}));
    EXPECT_EQ(library_->firstName(upper), std::optional<std::string>("DOCS/README.TXT"));

    // "表" is 0x95 0x5C in Shift-JIS: its second byte is no folder separator, in any level.
    const QString name = QStringLiteral("表示/表.txt");
    for (const char* level : {"0", "1", "2"}) {
        SCOPED_TRACE(level);
        const QString archive = jlha(QStringLiteral("sjis") + QLatin1String(level), {{name, "x"}},
                                     QString::fromLatin1(level));
        ASSERT_TRUE(readFile(archive).contains("\x95\x5C.txt")) << "not stored in Shift-JIS";
        EXPECT_EQ(library_->firstName(archive), name.toStdString());
        EXPECT_EQ(library_->test(archive), VARNELT_ARC_OK);
    }
    ASSERT_TRUE(readFile(scratch_.path(QStringLiteral("sjis0.lzh"))).contains("\x8E\xA6\\\x95\\"))
        << "level 0 separates folders with \"\\\"";
}

TEST_F(LzhLibrary, CrcFieldIsCheckedAgainstTheData) {
    const QByteArray content = sampleContent(4000, 9);
    // Level 0: the header has a byte checksum and nothing else.
    const QString level0 =
        jlha(QStringLiteral("level0"), {{QStringLiteral("a.txt"), content}}, QStringLiteral("0"));
    QByteArray bytes = readFile(level0);
    ASSERT_EQ(bytes[20], '\x00');
    const int crcAt = 22 + static_cast<uint8_t>(bytes[21]);
    ASSERT_EQ(static_cast<uint8_t>(bytes[crcAt]), lzhCrc16(content) & 0xFF);

    // A changed CRC byte alone breaks the header's checksum, which covers it.
    bytes[crcAt] = static_cast<char>(bytes[crcAt] ^ 0x01);
    const QString changed = write(QStringLiteral("changed.lzh"), bytes);
    EXPECT_EQ(library_->test(changed), VARNELT_ARC_ERROR_HEADER_BROKEN);
    EXPECT_LT(library_->count(changed), 0);
    // With the checksum mended, only the data can tell.
    unsigned sum = 0;
    for (int i = 2; i < static_cast<uint8_t>(bytes[0]) + 2; ++i) {
        sum += static_cast<uint8_t>(bytes[i]);
    }
    bytes[1] = static_cast<char>(sum & 0xFF);
    EXPECT_EQ(library_->test(write(QStringLiteral("mended.lzh"), bytes)),
              VARNELT_ARC_ERROR_FILE_CRC);

    // Levels 1 and 2 as jlha writes them carry a CRC of the whole header as well.
    for (const char level : {'1', '2'}) {
        const QString archive =
            jlha(QStringLiteral("level") + QLatin1Char(level), {{QStringLiteral("a.txt"), content}},
                 QString(QLatin1Char(level)));
        const QByteArray header = readFile(archive);
        ASSERT_EQ(header[20], level - '0');
        flipByte(archive, level == '1' ? 22 + static_cast<uint8_t>(header[21]) : 21);
        EXPECT_EQ(library_->test(archive), VARNELT_ARC_ERROR_HEADER_BROKEN) << "level " << level;
    }
}

TEST_F(LzhLibrary, SelfExtractingArchiveIsFoundBehindItsStub) {
    const QString plain = jlha(QStringLiteral("plain"), {{QStringLiteral("docs/"), {}},
                                                         {QStringLiteral("docs/a.txt"), "alpha"},
                                                         {QStringLiteral("b.txt"), "beta"}});
    const QString sfx = write(QStringLiteral("setup.exe"), executableStub(6000) + readFile(plain));
    EXPECT_EQ(library_->test(sfx), VARNELT_ARC_OK);
    EXPECT_EQ(library_->count(sfx), 3);
    EXPECT_EQ(library_->firstName(sfx), std::optional<std::string>("docs/"));
    EXPECT_EQ(library_->sfxState(sfx), std::optional<int32_t>(VARNELT_SFX_EXECUTABLE));
    EXPECT_EQ(library_->sfxState(plain), std::optional<int32_t>(0));

    const QString bare = write(QStringLiteral("tool.exe"), executableStub(6000));
    EXPECT_EQ(library_->test(bare), VARNELT_ARC_ERROR_NOT_ARC_FILE);
    EXPECT_FALSE(library_->sfxState(bare).has_value());
    // Only an executable is searched: other bytes before an archive make it no archive.
    const QString prefixed = write(QStringLiteral("prefixed.lzh"), "notes\n" + readFile(plain));
    EXPECT_EQ(library_->test(prefixed), VARNELT_ARC_ERROR_NOT_ARC_FILE);
    EXPECT_LT(library_->count(prefixed), 0);
}

TEST_F(LzhLibrary, EndOfTheArchiveIsChecked) {
    const QString intact =
        jlha(QStringLiteral("intact"), {{QStringLiteral("a.txt"), sampleContent(30000, 4)},
                                        {QStringLiteral("b.txt"), sampleContent(30000, 6)}});
    const QByteArray bytes = readFile(intact);
    ASSERT_EQ(bytes.back(), '\0') << "jlha ends an archive with a zero byte";
    const QByteArray entries = bytes.chopped(1);

    for (const int percent : {30, 60}) {  // inside the first entry, inside the second
        const QString cut = write(QStringLiteral("cut%1.lzh").arg(percent),
                                  bytes.left(bytes.size() * percent / 100));
        EXPECT_EQ(library_->test(cut), VARNELT_ARC_ERROR_EOF) << percent;
        EXPECT_LT(library_->count(cut), 0) << percent;
    }
    const QString unmarked = write(QStringLiteral("unmarked.lzh"), entries);
    EXPECT_EQ(library_->test(unmarked), VARNELT_ARC_ERROR_EOF);
    EXPECT_LT(library_->count(unmarked), 0);
    EXPECT_EQ(library_->test(write(QStringLiteral("garbage.lzh"), entries + sampleContent(200, 3))),
              VARNELT_ARC_ERROR_HEADER_BROKEN);
    // What follows the end mark is no part of the archive, as with padded transfers.
    EXPECT_EQ(library_->test(write(QStringLiteral("padded.lzh"), bytes + QByteArray(100, '\x1A'))),
              VARNELT_ARC_OK);
    EXPECT_EQ(library_->test(write(QStringLiteral("mark.lzh"), QByteArray(1, '\0'))),
              VARNELT_ARC_ERROR_NOT_ARC_FILE);
}

TEST_F(LzhLibrary, OtherFormatsAreRefused) {
    const EntryList entries{{QStringLiteral("a.txt"), "alpha"}};
    const QString zip = scratch_.path(QStringLiteral("a.zip"));
    const QString cab = scratch_.path(QStringLiteral("a.cab"));
    ASSERT_TRUE(makeZip(zip, entries));
    ASSERT_TRUE(makeCab(cab, entries));
    for (const QString& foreign : {zip, cab}) {
        SCOPED_TRACE(foreign.toStdString());
        EXPECT_EQ(library_->test(foreign), VARNELT_ARC_ERROR_NOT_ARC_FILE);
        EXPECT_LT(library_->count(foreign), 0);
        EXPECT_FALSE(library_->sfxState(foreign).has_value());
    }
    EXPECT_EQ(library_->test(scratch_.path(QStringLiteral("missing.lzh"))),
              VARNELT_ARC_ERROR_ARC_FILE_OPEN);
}

}  // namespace
}  // namespace varnelt::test
