// libunrar32 over RAR 4 archives from the test writer (stored entries): header and data
// checksums, folder names, self-extractors, and foreign formats.
#include <gtest/gtest.h>

#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
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
