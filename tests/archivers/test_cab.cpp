// What only the CAB library does: MSZIP blocks checked through their CFDATA checksums and the
// decoder, each folder decoded once whatever its files' offsets, files inside their folders,
// cabinets inside executables, and names flagged UTF-8 or stored in CP932.
#include <gtest/gtest.h>

#include <vector>

#include "archivers/cab_cabinet.h"
#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
#include "tests/support/cab_layout.h"
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

// Counts the bytes that the library's full test decodes.
class CountingSink final : public archiver::cab::DecodedSink {
public:
    void write(const void* /*data*/, size_t size) override { bytes += size; }
    uint64_t bytes = 0;
};

// The full test's verdict on path, and how many bytes it decoded on the way.
std::pair<int32_t, uint64_t> decodedByTest(const QString& path) {
    archiver::InputFile file;
    if (file.open(path.toUtf8().constData()) != VARNELT_ARC_OK) {
        return {VARNELT_ARC_ERROR_ARC_FILE_OPEN, 0};
    }
    archiver::cab::Cabinet cabinet(file);
    if (const int32_t opened = cabinet.open(); opened != VARNELT_ARC_OK) {
        return {opened, 0};
    }
    CountingSink sink;
    const int32_t verdict = cabinet.verify(sink);
    return {verdict, sink.bytes};
}

QList<cab::FileRecord> recordsAt(int count, uint32_t offset, uint32_t length) {
    QList<cab::FileRecord> records;
    for (int i = 0; i < count; ++i) {
        records.append({QByteArray("file") + QByteArray::number(i) + ".txt", offset, length, 0});
    }
    return records;
}

// Files of one folder may all start at its beginning; decoding the folder again for each file
// took minutes for a cabinet of a few hundred kilobytes.
TEST_F(CabLibrary, EachFolderIsDecodedOnceWhateverItsFilesOffsets) {
    const QByteArray content = sampleContent(300000, 9);
    const QByteArray single = readFile(gcab(QStringLiteral("single"), {{"big.txt", content}}));
    const auto size = static_cast<uint32_t>(content.size());
    const QString shared =
        write(QStringLiteral("shared.cab"), cab::withFiles(single, recordsAt(1000, 0, size)));
    EXPECT_TRUE(passes(shared));
    EXPECT_EQ(library_->count(shared), 1000);
    EXPECT_EQ(decodedByTest(shared), std::make_pair(int32_t{VARNELT_ARC_OK}, uint64_t{size}));

    QList<cab::FileRecord> scattered = recordsAt(500, size / 2, size / 2);
    scattered += recordsAt(500, 0, size / 3);
    const QString mixed = write(QStringLiteral("mixed.cab"), cab::withFiles(single, scattered));
    EXPECT_EQ(decodedByTest(mixed), std::make_pair(int32_t{VARNELT_ARC_OK}, uint64_t{size}));
}

TEST_F(CabLibrary, FilesMustLieInsideTheirFoldersDecodedData) {
    const QByteArray content = sampleContent(100000, 4);
    const QByteArray single = readFile(gcab(QStringLiteral("single"), {{"data.bin", content}}));
    const auto size = static_cast<uint32_t>(content.size());
    const struct {
        uint32_t offset;
        uint32_t length;
        bool inside;
    } cases[] = {{0, size, true},          {size - 1, 1, true},    {size, 0, true},
                 {0, size + 1, false},     {size, 1, false},       {size + 40000, 10, false},
                 {0xFFFFFFF0u, 32, false}, {1, 0xFFFFFFFFu, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.length));
        const QString archive =
            write(QStringLiteral("bounds.cab"),
                  cab::withFiles(single,
                                 {{"first.txt", 0, 10, 0}, {"second.txt", c.offset, c.length, 0}}));
        EXPECT_EQ(passes(archive), c.inside);
    }
}

TEST_F(CabLibrary, BlocksThatNoFileUsesAreCheckedToo) {
    // Long enough that the decoder's read-ahead for the first file stops short of the end.
    QByteArray content;
    for (int seed = 0; content.size() < 3000000; ++seed) {
        content += qCompress(sampleContent(4096, seed));
    }
    const QByteArray single = readFile(gcab(QStringLiteral("single"), {{"big.bin", content}}));
    ASSERT_GT(single.size(), 2000000);
    const QByteArray head = cab::withFiles(single, {{"head.txt", 0, 100, 0}});
    EXPECT_TRUE(passes(write(QStringLiteral("head.cab"), head)));
    QByteArray damaged = head;
    damaged[damaged.size() - 100] = static_cast<char>(~damaged[damaged.size() - 100]);
    EXPECT_FALSE(passes(write(QStringLiteral("tail-damaged.cab"), damaged)))
        << "the last block lies past every file but is still decoded and checked";
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
