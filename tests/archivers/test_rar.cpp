// libunrar32 over RAR 4 archives from the test writer (stored entries): header and data
// checksums, the block chain to its end, symbolic links, folder names, self-extractors, and
// foreign formats.
#include <gtest/gtest.h>

#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
#include "tests/support/rar4_writer.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

const LibraryUnderTest kUnrar{"libunrar32.so", "Unrar", nullptr};

// The writer's layout: the 7-byte marker, the 13-byte main header, then each file header of
// 32 bytes plus the name, followed by the entry's data.
constexpr qint64 kMainHeader = 7;
constexpr qint64 kFirstFileHeader = 20;
qint64 fileHeaderSize(const QString& storedName) {
    return 32 + storedName.toUtf8().size();
}

class RarLibrary : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(unrar_.loaded()); }

    QString make(const QString& name, const EntryList& entries) {
        const QString archive = scratch_.path(name);
        EXPECT_TRUE(makeRar4(archive, entries)) << name.toStdString();
        return archive;
    }
    bool passes(const QString& archive) const { return unrar_.test(archive) == 0; }

    const EntryList entries_{{QStringLiteral("first.txt"), sampleContent(40000, 41)},
                             {QStringLiteral("docs/"), ""},
                             {QStringLiteral("docs/second.txt"), sampleContent(3000, 42)}};
    ScratchDir scratch_;
    BoundLibrary unrar_{kUnrar};
};

TEST_F(RarLibrary, IntactArchivePassesWithFoldersAndNames) {
    const QString archive = make(QStringLiteral("intact.rar"), entries_);
    EXPECT_TRUE(passes(archive));
    EXPECT_EQ(unrar_.count(archive), 3);
    EXPECT_EQ(unrar_.firstName(archive), std::optional<std::string>("first.txt"));

    // Folders are stored with the format's "\" and come back with "/".
    const QString nested =
        make(QStringLiteral("nested.rar"), {{QStringLiteral("docs/deeper/readme.txt"), "r"}});
    EXPECT_TRUE(passes(nested));
    EXPECT_EQ(unrar_.firstName(nested), std::optional<std::string>("docs/deeper/readme.txt"));

    const QString empty = make(QStringLiteral("empty-entry.rar"), {{QStringLiteral("zero"), ""}});
    EXPECT_TRUE(passes(empty));
}

TEST_F(RarLibrary, DamagedHeaderCrcFails) {
    const QString archive = make(QStringLiteral("header.rar"), entries_);
    const QByteArray intact = readFile(archive);
    const qint64 secondHeader =
        kFirstFileHeader + fileHeaderSize(QStringLiteral("first.txt")) + entries_[0].data.size();
    const struct {
        const char* what;
        qint64 offset;
    } places[] = {{"main header reserved field", kMainHeader + 8},
                  {"first HEAD_CRC", kFirstFileHeader},
                  {"first name", kFirstFileHeader + 32},
                  {"first FILE_CRC", kFirstFileHeader + 16},
                  {"second header's flags", secondHeader + 3}};
    for (const auto& place : places) {
        SCOPED_TRACE(place.what);
        writeFile(archive, intact);
        flipByte(archive, place.offset);
        EXPECT_FALSE(passes(archive));
    }
    writeFile(archive, intact);
    flipByte(archive, kFirstFileHeader + 32);
    EXPECT_LT(unrar_.count(archive), 0) << "a listing stops at a broken header";
}

TEST_F(RarLibrary, DamagedStoredDataFails) {
    const QString archive = make(QStringLiteral("data.rar"), entries_);
    const QByteArray intact = readFile(archive);
    const qint64 firstData = kFirstFileHeader + fileHeaderSize(QStringLiteral("first.txt"));
    for (const qint64 offset : {firstData, firstData + 39999, intact.size() - 7 - 1}) {
        SCOPED_TRACE(offset);
        writeFile(archive, intact);
        flipByte(archive, offset);
        EXPECT_FALSE(passes(archive));
        EXPECT_EQ(unrar_.count(archive), 3) << "the headers are still intact";
    }
}

// Cut anywhere, an archive fails, unless the cut falls right after a complete file block: RAR
// itself writes archives without the end-of-archive block when asked to.
TEST_F(RarLibrary, EveryCutFailsUnlessACompleteBlockEndsThere) {
    const QList<rar4::Item> items{{QStringLiteral("a.txt"), "alpha"},
                                  {QStringLiteral("docs/"), {}, rar4::Kind::Folder},
                                  {QStringLiteral("docs/b.txt"), sampleContent(60, 3)}};
    const QByteArray intact = rar4::archive(items);
    QList<qsizetype> blockEnds;
    qsizetype at = rar4::kMarkerSize + rar4::kMainHeaderSize;
    for (const rar4::Item& item : items) {
        at += rar4::fileHeaderSize(item) + item.data.size();
        blockEnds << at;
    }
    ASSERT_EQ(at + rar4::kEndBlockSize, intact.size());
    const QString archive = scratch_.path(QStringLiteral("cut.rar"));
    writeFile(archive, intact);
    ASSERT_TRUE(passes(archive));
    for (qsizetype length = 1; length < intact.size(); ++length) {
        SCOPED_TRACE("cut to " + std::to_string(length) + " bytes");
        writeFile(archive, intact.left(length));
        EXPECT_EQ(passes(archive), blockEnds.contains(length));
    }
}

TEST_F(RarLibrary, DamagedOrLongerEndBlockIsChecked) {
    const QList<rar4::Item> items{{QStringLiteral("a.txt"), "alpha"}};
    QByteArray bytes = rar4::archive(items);
    const qsizetype endBlock = bytes.size() - rar4::kEndBlockSize;
    const QString archive = scratch_.path(QStringLiteral("end.rar"));
    for (const qsizetype field : {0, 3, 5}) {  // HEAD_CRC, HEAD_FLAGS, HEAD_SIZE
        SCOPED_TRACE(field);
        QByteArray damaged = bytes;
        damaged[endBlock + field] = static_cast<char>(damaged[endBlock + field] ^ 0x01);
        writeFile(archive, damaged);
        EXPECT_FALSE(passes(archive));
    }
    // RAR 3 and later may store the data CRC and the volume number in the end block.
    QByteArray longer = bytes.left(endBlock);
    QByteArray body("\x7b\x0a\x40\x0d\x00", 5);  // EARC_DATACRC | EARC_VOLNUMBER, 13 bytes
    body += QByteArray("\x11\x22\x33\x44\x00\x00", 6);
    const uint32_t crc = rar4::crc32Of(body);
    longer += QByteArray(1, static_cast<char>(crc & 0xFF)) +
              QByteArray(1, static_cast<char>((crc >> 8) & 0xFF)) + body;
    writeFile(archive, longer);
    EXPECT_TRUE(passes(archive));
    for (qsizetype cut = 1; cut < 13; ++cut) {
        SCOPED_TRACE("end block cut to " + std::to_string(13 - cut) + " bytes");
        writeFile(archive, longer.chopped(cut));
        EXPECT_FALSE(passes(archive));
    }
}

// As the RAR program writes them on Unix: HOST_OS 3, S_IFLNK in the attributes, the target
// stored as the entry's data with its CRC.
TEST_F(RarLibrary, SymbolicLinksPassDamagedTargetsFail) {
    const QList<rar4::Item> items{
        {QStringLiteral("target.txt"), sampleContent(3000, 5)},
        {QStringLiteral("link"), "target.txt", rar4::Kind::Symlink},
        {QStringLiteral("docs/"), {}, rar4::Kind::Folder},
        {QStringLiteral("docs/inner"), "../target.txt", rar4::Kind::Symlink, 0x33},
        {QStringLiteral("after.txt"), sampleContent(500, 6)},
        {QStringLiteral("last"), "docs", rar4::Kind::Symlink}};
    const QByteArray intact = rar4::archive(items, {.unixHost = true});
    const QString archive = scratch_.path(QStringLiteral("links.rar"));
    writeFile(archive, intact);
    EXPECT_TRUE(passes(archive));
    EXPECT_EQ(unrar_.count(archive), 6);
    EXPECT_EQ(unrar_.firstName(archive), std::optional<std::string>("target.txt"));

    // The first byte of each entry's data: both links' targets, and the stored file after them.
    qsizetype at = rar4::kMarkerSize + rar4::kMainHeaderSize;
    for (const rar4::Item& item : items) {
        at += rar4::fileHeaderSize(item);
        if (!item.data.isEmpty()) {
            SCOPED_TRACE(item.name.toStdString());
            QByteArray damaged = intact;
            damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
            writeFile(archive, damaged);
            EXPECT_FALSE(passes(archive));
            EXPECT_EQ(unrar_.count(archive), 6) << "the headers are still intact";
        }
        at += item.data.size();
    }
}

TEST_F(RarLibrary, SelfExtractorIsRecognisedBehindExecutableStub) {
    const QString plain = make(QStringLiteral("plain.rar"), entries_);
    EXPECT_EQ(unrar_.sfxState(plain), std::optional<int32_t>(0));

    // Self-extractor modules are larger than 64 KiB, where libarchive starts looking.
    QByteArray stub("MZ");
    stub.append(QByteArray(0x10000 - 2 + 0x230, '\x90'));
    const QString sfx = scratch_.path(QStringLiteral("setup.exe"));
    writeFile(sfx, stub + readFile(plain));
    EXPECT_EQ(unrar_.sfxState(sfx), std::optional<int32_t>(VARNELT_SFX_EXECUTABLE));
    EXPECT_TRUE(passes(sfx));
    EXPECT_EQ(unrar_.count(sfx), 3);
    EXPECT_EQ(unrar_.firstName(sfx), std::optional<std::string>("first.txt"));

    flipByte(sfx, stub.size() + kFirstFileHeader + fileHeaderSize(QStringLiteral("first.txt")) + 9);
    EXPECT_FALSE(passes(sfx)) << "stored data behind a stub is checked too";

    const QString program = scratch_.path(QStringLiteral("program.exe"));
    writeFile(program, stub);
    EXPECT_FALSE(unrar_.sfxState(program).has_value());
}

TEST_F(RarLibrary, OtherFormatsAreRefused) {
    const EntryList entries{{QStringLiteral("a.txt"), "alpha"}};
    const QString zip = scratch_.path(QStringLiteral("a.zip"));
    const QString sevenZip = scratch_.path(QStringLiteral("a.7z"));
    const QString tar = scratch_.path(QStringLiteral("a.tar"));
    ASSERT_TRUE(makeZip(zip, entries));
    ASSERT_TRUE(makeSevenZip(sevenZip, entries));
    ASSERT_TRUE(makeTar(tar, entries));
    for (const QString& archive : {zip, sevenZip, tar}) {
        SCOPED_TRACE(archive.toStdString());
        EXPECT_FALSE(passes(archive));
        EXPECT_LT(unrar_.count(archive), 0);
        EXPECT_FALSE(unrar_.sfxState(archive).has_value());
    }
}

}  // namespace
}  // namespace varnelt::test
