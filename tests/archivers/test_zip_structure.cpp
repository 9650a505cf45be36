// libunzip32's reading of the ZIP container: the end records, ZIP64, the central directory,
// local headers and the bytes each entry takes, on archives of the tools and on hand-built
// variants of them.
#include <gtest/gtest.h>

#include <QFile>

#include <functional>

#include "archivers/core/input_file.h"
#include "archivers/zip_backend.h"
#include "tests/archivers/zip_library_test.h"
#include "tests/support/zip_tools.h"
#include "tests/support/zip_writer.h"

namespace varnelt::test {
namespace {

using zip::get16;
using zip::get32;
using zip::set16;
using zip::set32;
using zip::set64;

constexpr uint64_t kHuge = uint64_t{1} << 60;

struct Damage {
    const char* label;
    std::function<void(QByteArray&)> apply;
};

class ZipStructure : public ZipLibraryTest {
protected:
    QByteArray toolZip(const QString& base, const QStringList& switches) {
        const QString archive = scratch_.path(base + QStringLiteral(".zip"));
        EXPECT_TRUE(makeZipWith(archive, entries_, switches));
        return readFile(archive);
    }
    // A verdict of damage: a failure, and not for want of a password or a method.
    void expectDamaged(const QString& path) {
        const int32_t answer = unzip_.test(path);
        EXPECT_NE(answer, VARNELT_ARC_OK);
        EXPECT_NE(answer, VARNELT_ARC_ERROR_PASSWORD);
        EXPECT_NE(answer, VARNELT_ARC_ERROR_METHOD);
    }
    void expectUnlistable(const QString& path) {
        EXPECT_LT(unzip_.count(path), 0);
        EXPECT_FALSE(unzip_.firstName(path).has_value());
    }
    // Each damage applied to its own copy of intact, which must pass first.
    void forEachDamage(const QByteArray& intact, std::initializer_list<Damage> damages,
                       const std::function<void(const QString&)>& check) {
        ASSERT_EQ(unzip_.test(save(QStringLiteral("intact.zip"), intact)), VARNELT_ARC_OK);
        int made = 0;
        for (const Damage& damage : damages) {
            SCOPED_TRACE(damage.label);
            QByteArray bytes = intact;
            damage.apply(bytes);
            ASSERT_NE(bytes, intact);
            check(save(QStringLiteral("damaged%1.zip").arg(++made), bytes));
        }
    }

    const EntryList entries_{{QStringLiteral("large.txt"), sampleContent(120000, 11)},
                             {QStringLiteral("small.txt"), "small"}};
};

TEST_F(ZipStructure, DamagedOnlyCentralRecordFailsInsteadOfListingNothing) {
    const QString made = scratch_.path(QStringLiteral("one.zip"));
    ASSERT_TRUE(makeZipWith(made, {{QStringLiteral("only.txt"), sampleContent(5000, 2)}}, {}));
    const QByteArray intact = readFile(made);
    const zip::ZipParts parts = zip::findParts(intact);
    ASSERT_EQ(parts.centralOffsets.size(), 1);
    const qsizetype record = parts.centralOffsets[0];
    const qsizetype length = parts.endOffset - record;
    forEachDamage(
        intact,
        {{"signature", [=](QByteArray& b) { b[record + 1] = 'X'; }},
         {"name past the directory", [=](QByteArray& b) { set16(b, record + 28, 0xFFFF); }},
         {"extra past the directory", [=](QByteArray& b) { set16(b, record + 30, 0x8000); }},
         {"comment past the directory", [=](QByteArray& b) { set16(b, record + 32, 0x100); }},
         {"zeroed", [=](QByteArray& b) { b.replace(record, length, QByteArray(length, 0)); }}},
        [this](const QString& path) {
            expectDamaged(path);
            expectUnlistable(path);
        });
}

TEST_F(ZipStructure, EndRecordClaimingMoreThanTheFileHoldsFails) {
    const QByteArray intact = toolZip(QStringLiteral("two"), {});
    const qsizetype end = zip::findParts(intact).endOffset;
    const auto entries = [end](uint16_t count) {
        return [=](QByteArray& b) {
            set16(b, end + 8, count);
            set16(b, end + 10, count);
        };
    };
    const auto field32 = [end](qsizetype at, const std::function<uint32_t(uint32_t)>& change) {
        return [=](QByteArray& b) { set32(b, end + at, change(get32(b, end + at))); };
    };
    forEachDamage(
        intact,
        {{"one entry more", entries(3)},
         {"one entry fewer", entries(1)},
         {"65535 entries", entries(0xFFFF)},
         {"counts disagree", [end](QByteArray& b) { set16(b, end + 8, 1); }},
         {"larger directory", field32(12, [](uint32_t size) { return size + 46; })},
         {"directory larger than the file",
          field32(12, [end](uint32_t) { return static_cast<uint32_t>(end + 1000); })},
         {"directory starting at the end record",
          field32(16, [end](uint32_t) { return static_cast<uint32_t>(end); })},
         {"directory far beyond the file", field32(16, [](uint32_t) { return 0x7FFFFFF0u; })}},
        [this](const QString& path) {
            expectDamaged(path);
            expectUnlistable(path);
        });

    // A hundred bytes that claim 65535 entries.
    const QString tiny =
        save(QStringLiteral("tiny.zip"), QByteArray(78, '\0') + zip::endRecord(0xFFFF, 78, 0));
    expectDamaged(tiny);
    expectUnlistable(tiny);
}

TEST_F(ZipStructure, Zip64ValuesThatCannotFitTheFileFail) {
    const QByteArray forced = toolZip(QStringLiteral("forced"), {QStringLiteral("-fz")});
    const QString forcedPath = save(QStringLiteral("forced.zip"), forced);
    EXPECT_EQ(unzip_.test(forcedPath), VARNELT_ARC_OK);
    EXPECT_EQ(unzip_.count(forcedPath), 2);

    const zip::HandZip hand =
        zip::writeZip({zip::HandEntry("a.txt", sampleContent(3000, 1), 8).withZip64(),
                       zip::HandEntry("b.txt", "b").withZip64()},
                      zip::EndRecords::Zip64);
    ASSERT_EQ(unzip_.count(save(QStringLiteral("hand.zip"), hand.bytes)), 2);
    const qsizetype end64 = hand.zip64EndOffset;
    const qsizetype values = hand.centralOffsets[0] + 46 + 5 + 4;  // the first ZIP64 extra's
    const auto put64 = [](qsizetype at, uint64_t value) {
        return [=](QByteArray& b) { set64(b, at, value); };
    };
    forEachDamage(
        hand.bytes,
        {{"2^60 entries",
          [=](QByteArray& b) {
              set64(b, end64 + 24, kHuge);
              set64(b, end64 + 32, kHuge);
          }},
         {"2^60 directory size", put64(end64 + 40, kHuge)},
         {"2^60 directory offset", put64(end64 + 48, kHuge)},
         {"directory size past the end record",
          put64(end64 + 40, static_cast<uint64_t>(end64 + 1))},
         {"2^60 compressed size", put64(values + 8, kHuge)},
         {"2^60 local header offset", put64(values + 16, kHuge)},
         {"2^60 uncompressed size", put64(values, kHuge)},
         {"ZIP64 extra too short for its fields", [=](QByteArray& b) { set16(b, values - 2, 8); }},
         {"no ZIP64 end record where the locator points", [=](QByteArray& b) { b[end64] = 'X'; }}},
        [this](const QString& path) { expectDamaged(path); });
}

TEST_F(ZipStructure, EntriesSharingTheirDataFailAndAreEachCounted) {
    // Ten central records for one local header, as in a decompression bomb.
    const zip::HandZip one = zip::writeZip({{"f0.bin", QByteArray(2 << 20, '\0'), 8}});
    QByteArray record = one.bytes.mid(one.directoryOffset, one.endOffset - one.directoryOffset);
    QByteArray bomb = one.bytes.left(one.directoryOffset);
    for (char i = 0; i < 10; ++i) {
        record[46 + 1] = static_cast<char>('0' + i);
        bomb += record;
    }
    bomb += zip::endRecord(10, static_cast<uint32_t>(record.size() * 10),
                           static_cast<uint32_t>(one.directoryOffset));
    EXPECT_EQ(unzip_.test(save(QStringLiteral("one.zip"), one.bytes)), VARNELT_ARC_OK);
    const QString bombPath = save(QStringLiteral("bomb.zip"), bomb);
    expectDamaged(bombPath);
    EXPECT_EQ(unzip_.count(bombPath), 10);

    // The first entry's data holds the second entry's local header and data.
    const zip::HandZip inner = zip::writeZip({{"in.txt", sampleContent(4000, 3)}});
    const zip::HandZip outer =
        zip::writeZip({{"out.txt", inner.bytes.left(inner.directoryOffset)}});
    const QByteArray outerRecord =
        outer.bytes.mid(outer.directoryOffset, outer.endOffset - outer.directoryOffset);
    QByteArray innerRecord =
        inner.bytes.mid(inner.directoryOffset, inner.endOffset - inner.directoryOffset);
    set32(innerRecord, 42, static_cast<uint32_t>(outer.dataOffsets[0]));
    const QByteArray nested =
        outer.bytes.left(outer.directoryOffset) + outerRecord + innerRecord +
        zip::endRecord(2, static_cast<uint32_t>(outerRecord.size() + innerRecord.size()),
                       static_cast<uint32_t>(outer.directoryOffset));
    const QString nestedPath = save(QStringLiteral("nested.zip"), nested);
    expectDamaged(nestedPath);
    EXPECT_EQ(unzip_.count(nestedPath), 2);
}

TEST_F(ZipStructure, LocalHeaderDisagreeingWithCentralFails) {
    const auto field16 = [](qsizetype at, const std::function<uint16_t(uint16_t)>& change) {
        return [=](QByteArray& b) { set16(b, at, change(get16(b, at))); };
    };
    const auto field32 = [](qsizetype at, const std::function<uint32_t(uint32_t)>& change) {
        return [=](QByteArray& b) { set32(b, at, change(get32(b, at))); };
    };
    forEachDamage(toolZip(QStringLiteral("agree"), {QStringLiteral("-9")}),
                  {{"signature", [](QByteArray& b) { b[1] = 'X'; }},
                   {"method deflate to stored", field16(8, [](uint16_t) { return 0; })},
                   {"method deflate to bzip2", field16(8, [](uint16_t) { return 12; })},
                   {"CRC-32", field32(14, [](uint32_t crc) { return crc ^ 1; })},
                   {"compressed size", field32(18, [](uint32_t size) { return size + 1; })},
                   {"uncompressed size", field32(22, [](uint32_t size) { return size - 1; })},
                   {"name length", field16(26, [](uint16_t length) { return length + 1; })},
                   {"descriptor flag", field16(6, [](uint16_t flags) { return flags | 0x0008; })}},
                  [this](const QString& path) { expectDamaged(path); });

    // Headers whose local half alone would read as a sound entry.
    const zip::HandZip hand = zip::writeZip(
        {zip::HandEntry("a.txt", sampleContent(5000, 5)).withDescriptor(zip::Descriptor::Signed32),
         {"b.txt", "second"}});
    const qsizetype central = hand.centralOffsets[0];
    forEachDamage(
        hand.bytes,
        {{"stored data, central method deflate", field16(central + 10, [](uint16_t) { return 8; })},
         {"stored data, central method bzip2", field16(central + 10, [](uint16_t) { return 12; })},
         {"local size beside a descriptor", field32(22, [](uint32_t) { return 4999; })}},
        [this](const QString& path) { expectDamaged(path); });
}

TEST_F(ZipStructure, EmptyArchivesOfToolsPassWithNoEntries) {
    const QString sevenZip = scratch_.path(QStringLiteral("7zz.zip"));
    ASSERT_TRUE(makeSevenZipZip(sevenZip, {{QStringLiteral("a.txt"), "a"}}, {}));
    ASSERT_TRUE(
        runTool(QStringLiteral("7zz"),
                {QStringLiteral("d"), QStringLiteral("-bd"), sevenZip, QStringLiteral("a.txt")},
                scratch_.root()));
    const QString bsdtar = scratch_.path(QStringLiteral("bsdtar.zip"));
    ASSERT_TRUE(
        runTool(QStringLiteral("bsdtar"),
                {QStringLiteral("-c"), QStringLiteral("--format"), QStringLiteral("zip"),
                 QStringLiteral("-f"), bsdtar, QStringLiteral("-T"), QStringLiteral("/dev/null")},
                scratch_.root()));
    const QString commented =
        save(QStringLiteral("commented.zip"), zip::endRecord(0, 0, 0, "nothing in here"));
    const ArchiverLibrary& f = unzip_.functions();
    for (const QString& archive : {sevenZip, bsdtar, commented}) {
        SCOPED_TRACE(archive.toStdString());
        EXPECT_EQ(readFile(archive).left(4), QByteArray("PK\x05\x06"));
        EXPECT_EQ(unzip_.test(archive), VARNELT_ARC_OK);
        EXPECT_EQ(unzip_.count(archive), 0);
        VarneltArchive opened = f.openArchive(nullptr, archive.toUtf8().constData(), 0);
        ASSERT_NE(opened, nullptr);
        VarneltEntryInfo info{};
        EXPECT_NE(f.findFirst(opened, "*.*", &info), 0) << "there is no first entry";
        EXPECT_EQ(f.closeArchive(opened), 0);
    }
}

// An archive whose directory is encrypted: its one local header has its values masked (flag
// bit 13) and, in the first variant, the ZIP64 end record names the encryption.
QByteArray encryptedDirectory(bool withVersion2Record) {
    QByteArray out;
    zip::append32(out, 0x04034b50);
    zip::append16(out, 62);
    zip::append16(out, 0x2041);  // encrypted, strongly, values masked
    zip::append16(out, 8);
    zip::append32(out, 0);
    zip::append32(out, 0);  // CRC-32
    zip::append32(out, 64);
    zip::append32(out, 0);
    zip::append16(out, 8);
    zip::append16(out, 0);
    out += "00000001" + sampleContent(64, 9);
    const auto directoryOffset = static_cast<uint32_t>(out.size());
    out += sampleContent(120, 10);  // the directory, encrypted
    if (!withVersion2Record) {
        return out + zip::endRecord(1, 120, directoryOffset);
    }
    QByteArray version2;
    zip::append16(version2, 0);  // the directory is not compressed
    zip::append64(version2, 120);
    zip::append64(version2, 100);
    zip::append16(version2, 0x6610);  // AES-256
    zip::append16(version2, 256);
    zip::append16(version2, 1);
    zip::append32(version2, 0);  // no hash
    out +=
        zip::zip64EndRecords(1, 120, directoryOffset, static_cast<uint64_t>(out.size()), version2);
    return out + zip::endRecord(0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
}

TEST_F(ZipStructure, EncryptedCentralDirectoryAnswersPassword) {
    for (const bool version2 : {true, false}) {
        SCOPED_TRACE(version2);
        const QString path = save(QStringLiteral("strong.zip"), encryptedDirectory(version2));
        EXPECT_EQ(unzip_.test(path), VARNELT_ARC_ERROR_PASSWORD);
        expectUnlistable(path);
    }
}

TEST_F(ZipStructure, EndRecordIsFoundBehindCommentsAndPadding) {
    const QByteArray plain = toolZip(QStringLiteral("plain"), {});
    const zip::HandZip commented =
        zip::writeZip({{"a.txt", "alpha"}}, zip::EndRecords::Plain,
                      QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0') + "not an end record");
    // bsdtar pads an archive it writes to a stream with zeros up to a whole block.
    for (const QByteArray& archive :
         {plain + QByteArray(10240 - plain.size() % 10240, '\0'), commented.bytes}) {
        const QString path = save(QStringLiteral("tail.zip"), archive);
        EXPECT_EQ(unzip_.test(path), VARNELT_ARC_OK);
        EXPECT_GT(unzip_.count(path), 0);
    }
}

TEST_F(ZipStructure, Zip64ArchiveBehindAStubIsReadAndNamed) {
    const zip::HandZip hand =
        zip::writeZip({zip::HandEntry("first.txt", sampleContent(3000, 1), 8).withZip64()},
                      zip::EndRecords::Zip64);
    const QString sfx =
        save(QStringLiteral("setup.exe"), "MZ" + sampleContent(9000, 4) + hand.bytes);
    EXPECT_EQ(unzip_.test(sfx), VARNELT_ARC_OK);
    EXPECT_EQ(unzip_.count(sfx), 1);

    const QString plain = save(QStringLiteral("plain.zip"), hand.bytes);
    for (const auto& [path, state] :
         {std::pair{sfx, int32_t{VARNELT_SFX_EXECUTABLE}}, std::pair{plain, int32_t{0}}}) {
        archiver::InputFile file;
        ASSERT_EQ(file.open(path.toUtf8().constData()), VARNELT_ARC_OK);
        const auto session = archiver::zipBackend().open(file);
        ASSERT_NE(session, nullptr);
        EXPECT_EQ(session->sfxState(), state);
        EXPECT_EQ(session->firstEntryName(), std::optional<std::string>("first.txt"));
    }
}

TEST_F(ZipStructure, HostileFilesAreRefusedWithoutWork) {
    const QByteArray intact = toolZip(QStringLiteral("hostile"), {});
    const zip::ZipParts parts = zip::findParts(intact);
    const qsizetype offsetField = parts.centralOffsets[1] + 42;
    forEachDamage(
        intact,
        {{"local header beyond the file",
          [=](QByteArray& b) { set32(b, offsetField, static_cast<uint32_t>(b.size() + 1000)); }},
         {"local header in the directory",
          [=](QByteArray& b) {
              set32(b, offsetField, static_cast<uint32_t>(parts.directoryOffset));
          }}},
        [this](const QString& path) {
            expectDamaged(path);
            expectUnlistable(path);
        });

    // Far more data than the entry claims to hold, stopped once the stated size is passed.
    QByteArray flood = zip::writeZip({{"flood.bin", QByteArray(64 << 20, 'x'), 8}}).bytes;
    set32(flood, 22, 1000);
    set32(flood, zip::findParts(flood).centralOffsets[0] + 24, 1000);
    EXPECT_EQ(unzip_.test(save(QStringLiteral("flood.zip"), flood)), VARNELT_ARC_ERROR_FILE_CRC);

    const QString zeros = save(QStringLiteral("zeros.zip"), QByteArray(50 << 20, '\0'));
    EXPECT_EQ(unzip_.test(zeros), VARNELT_ARC_ERROR_NOT_ARC_FILE);
    expectUnlistable(zeros);

    // 64 GiB of holes whose ZIP64 end records claim a directory filling them, with as many
    // entries as it could hold; nothing may be sized from that claim.
    constexpr qint64 kSparseSize = qint64{64} << 30;
    const auto endStart = static_cast<uint64_t>(kSparseSize - 56 - 20 - 22);
    QByteArray ends = zip::zip64EndRecords(endStart / 46, endStart, 0, endStart);
    ends += zip::endRecord(0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
    QFile sparse(scratch_.path(QStringLiteral("sparse.zip")));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize(kSparseSize - ends.size()) &&
                sparse.seek(kSparseSize - ends.size()) && sparse.write(ends) == ends.size());
    sparse.close();
    expectDamaged(sparse.fileName());
    EXPECT_EQ(unzip_.test(sparse.fileName()), VARNELT_ARC_ERROR_HEADER_BROKEN);
}

}  // namespace
}  // namespace varnelt::test
