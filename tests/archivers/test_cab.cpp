// What only the CAB library does: MSZIP blocks checked through their CFDATA checksums and the
// decoder, cabinets inside executables, and names flagged UTF-8 or stored in CP932.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

uint32_t le32(const QByteArray& bytes, qsizetype at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    }
    return value;
}

// Offsets in a cabinet without reserved areas, as gcab writes them.
constexpr qsizetype kFirstFolder = 36;
constexpr qsizetype kCompressionType = kFirstFolder + 6;

class CabLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        library_ = std::make_unique<BoundLibrary>(LibraryUnderTest{"libcab32.so", "Cab", nullptr});
        ASSERT_TRUE(library_->loaded());
    }
    QString gcab(const QString& base, const EntryList& entries) {
        const QString archive = scratch_.path(base + QStringLiteral(".cab"));
        EXPECT_TRUE(makeCab(archive, entries)) << archive.toStdString();
        return archive;
    }
    QString write(const QString& name, const QByteArray& bytes) {
        writeFile(scratch_.path(name), bytes);
        return scratch_.path(name);
    }
    bool passes(const QString& path) const { return library_->test(path) == 0; }
    ScratchDir scratch_;
    std::unique_ptr<BoundLibrary> library_;
};

TEST_F(CabLibrary, MszipCabinetPassesAndChangedDataFails) {
    const QString archive =
        gcab(QStringLiteral("mszip"), {{QStringLiteral("big.txt"), sampleContent(150000, 8)},
                                       {QStringLiteral("docs/small.txt"), "small"},
                                       {QStringLiteral("empty.txt"), {}}});
    const QByteArray bytes = readFile(archive);
    ASSERT_EQ(bytes[kCompressionType], '\x01') << "not MSZIP";
    EXPECT_TRUE(passes(archive));
    EXPECT_EQ(library_->count(archive), 3);
    EXPECT_EQ(library_->firstName(archive), std::optional<std::string>("big.txt"));

    // The first data block: checksum, compressed and plain sizes, then the deflated bytes.
    const qsizetype block = le32(bytes, kFirstFolder);
    const qsizetype blockData = block + 8;
    ASSERT_NE(le32(bytes, block), 0u) << "gcab writes CFDATA checksums";
    const qsizetype middle =
        blockData +
        (static_cast<uint8_t>(bytes[block + 4]) | static_cast<uint8_t>(bytes[block + 5]) << 8) / 2;

    QByteArray damaged = bytes;
    damaged[middle] = static_cast<char>(~damaged[middle]);
    EXPECT_FALSE(passes(write(QStringLiteral("damaged.cab"), damaged)));

    // A zero checksum means "none": then only the decoder can notice the damage.
    QByteArray unchecked = bytes;
    unchecked.replace(block, 4, QByteArray(4, '\0'));
    EXPECT_TRUE(passes(write(QStringLiteral("unchecked.cab"), unchecked)));
    unchecked[middle] = static_cast<char>(~unchecked[middle]);
    EXPECT_FALSE(passes(write(QStringLiteral("unchecked-damaged.cab"), unchecked)));
}

TEST_F(CabLibrary, CabinetInsideAnExecutablePasses) {
    const QString plain =
        gcab(QStringLiteral("plain"), {{QStringLiteral("setup.ini"), "[setup]"},
                                       {QStringLiteral("data.bin"), sampleContent(9000, 3)}});
    // A stub holding a stray signature that is no cabinet header.
    QByteArray stub = "MZ" + sampleContent(5000, 12);
    stub.replace(2500, 8, QByteArray("MSCF\0\0\0\0", 8));
    const QString sfx = write(QStringLiteral("setup.exe"), stub + readFile(plain));
    EXPECT_TRUE(passes(sfx));
    EXPECT_EQ(library_->count(sfx), 2);
    EXPECT_EQ(library_->firstName(sfx), std::optional<std::string>("setup.ini"));

    EXPECT_FALSE(passes(write(QStringLiteral("tool.exe"), stub)));
    EXPECT_LT(library_->count(scratch_.path(QStringLiteral("tool.exe"))), 0);
    // Only an executable is searched.
    const QString prefixed = write(QStringLiteral("prefixed.cab"), "notes\n" + readFile(plain));
    EXPECT_FALSE(passes(prefixed));
    EXPECT_LT(library_->count(prefixed), 0);
}

TEST_F(CabLibrary, NamesFlaggedUtf8OrStoredInCp932) {
    const QString name = QStringLiteral("表示/表.txt");
    const QString utf8 = gcab(QStringLiteral("utf8"), {{name, "x"}});
    QByteArray bytes = readFile(utf8);
    const qsizetype utf8At = bytes.indexOf(QByteArray("\xE8\xA1\xA8\xE7\xA4\xBA\\"));
    ASSERT_GT(utf8At, 2);
    ASSERT_TRUE(static_cast<uint8_t>(bytes[utf8At - 2]) & 0x80) << "gcab flags UTF-8 names";
    EXPECT_EQ(library_->firstName(utf8), name.toStdString());

    // An unflagged name written by a Japanese tool: 表 is 0x95 0x5C, its 0x5C no separator.
    const QString ascii = gcab(QStringLiteral("ascii"), {{QStringLiteral("1234567.txt"), "x"}});
    bytes = readFile(ascii);
    const qsizetype asciiAt = bytes.indexOf("1234567.txt");
    ASSERT_GT(asciiAt, 2);
    ASSERT_FALSE(static_cast<uint8_t>(bytes[asciiAt - 2]) & 0x80);
    bytes.replace(asciiAt, 7, QByteArray("\x95\x5C\x8E\xA6\x5C\x95\x5C", 7));
    const QString cp932 = write(QStringLiteral("cp932.cab"), bytes);
    EXPECT_EQ(library_->firstName(cp932), name.toStdString());
    EXPECT_TRUE(passes(cp932));
}

TEST_F(CabLibrary, OtherFormatsAndCutCabinetsAreRefused) {
    const QString zip = scratch_.path(QStringLiteral("a.zip"));
    ASSERT_TRUE(makeZip(zip, {{QStringLiteral("a.txt"), "alpha"}}));
    EXPECT_FALSE(passes(zip));
    EXPECT_LT(library_->count(zip), 0);
    EXPECT_FALSE(library_->firstName(zip).has_value());

    // Cut inside the data, the headers still read, but the cabinet is shorter than it says.
    const QString cut =
        gcab(QStringLiteral("cut"), {{QStringLiteral("a.txt"), sampleContent(80000, 1)}});
    truncateToPercent(cut, 90);
    EXPECT_FALSE(passes(cut));
    EXPECT_LT(library_->count(cut), 0);
    EXPECT_FALSE(library_->firstName(cut).has_value());
}

}  // namespace
}  // namespace varnelt::test
