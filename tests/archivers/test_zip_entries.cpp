// libunzip32's test of entry data: every method it decodes, against every way the data can
// disagree with its headers; data descriptors; the methods left to libarchive or to nobody;
// encryption; and the names of entries.
#include <gtest/gtest.h>

#include <lzma.h>

#include <QRandomGenerator>

#include <functional>

#include "tests/archivers/zip_library_test.h"
#include "tests/support/bga_writer.h"
#include "tests/support/zip_tools.h"
#include "tests/support/zip_writer.h"

namespace varnelt::test {
namespace {

using zip::get32;
using zip::set32;

QByteArray xz(const QByteArray& data) {
    QByteArray out(data.size() + 4096, '\0');
    size_t written = 0;
    if (lzma_easy_buffer_encode(
            6, LZMA_CHECK_CRC64, nullptr, reinterpret_cast<const uint8_t*>(data.constData()),
            static_cast<size_t>(data.size()), reinterpret_cast<uint8_t*>(out.data()), &written,
            static_cast<size_t>(out.size())) != LZMA_OK) {
        return {};
    }
    out.truncate(static_cast<qsizetype>(written));
    return out;
}

// LZMA as ZIP stores it: version 9.20, the properties' size and properties, then the stream,
// with an end marker or stopping at the size.
QByteArray zipLzma(const QByteArray& data, bool endMarker) {
    lzma_options_lzma options{};
    lzma_lzma_preset(&options, 6);
    options.ext_flags = endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    QByteArray out(data.size() + 4096, '\0');
    out[0] = 9;
    out[1] = 20;
    out[2] = 5;
    out[3] = 0;
    uint8_t properties[5] = {};
    lzma_filter plain{LZMA_FILTER_LZMA1, &options};
    size_t written = 9;
    if (lzma_properties_encode(&plain, properties) != LZMA_OK ||
        lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const uint8_t*>(data.constData()),
                               static_cast<size_t>(data.size()),
                               reinterpret_cast<uint8_t*>(out.data()), &written,
                               static_cast<size_t>(out.size())) != LZMA_OK) {
        return {};
    }
    std::copy_n(properties, 5, out.begin() + 4);
    out.truncate(static_cast<qsizetype>(written));
    return out;
}

QByteArray repeatsBeyondDeflateWindow() {
    QRandomGenerator generator(7);
    QByteArray block(20000, '\0');
    for (char& byte : block) {
        byte = static_cast<char>(generator.bounded(256));
    }
    return block + sampleContent(40000, 8) + block + sampleContent(150000, 9);
}

class ZipEntries : public ZipLibraryTest {
protected:
    QString sevenZip(const QString& base, const EntryList& entries, const QStringList& switches) {
        const QString archive = scratch_.path(base + QStringLiteral(".zip"));
        EXPECT_TRUE(makeSevenZipZip(archive, entries, switches));
        return archive;
    }
};

TEST_F(ZipEntries, Deflate64ArchivesOfSevenZipPassAndFailDamaged) {
    const EntryList entries{{QStringLiteral("far.bin"), repeatsBeyondDeflateWindow()},
                            {QStringLiteral("docs/"), {}},
                            {QStringLiteral("docs/small.txt"), "small"}};
    const QString archive = sevenZip(QStringLiteral("d64"), entries,
                                     {QStringLiteral("-mm=Deflate64"), QStringLiteral("-mx=9")});
    const QByteArray intact = readFile(archive);
    const qsizetype local = intact.indexOf("far.bin") - 30;  // 7-Zip puts folders first
    ASSERT_EQ(zip::get16(intact, local + 8), 9) << "far.bin should be Deflate64";
    EXPECT_EQ(unzip_.test(archive), VARNELT_ARC_OK);
    EXPECT_EQ(unzip_.count(archive), 3);
    const qsizetype data = local + 30 + 7 + zip::get16(intact, local + 28);
    for (const qsizetype at :
         {qsizetype{100}, qsizetype{30000}, qsizetype{get32(intact, local + 18) - 10}}) {
        SCOPED_TRACE(at);
        writeFile(archive, intact);
        flipByte(archive, data + at);
        EXPECT_EQ(unzip_.test(archive), VARNELT_ARC_ERROR_FILE_CRC);
    }
}

// Each decoded method against data that does not end where the headers say, or does not
// decode to the size and CRC-32 they give.
TEST_F(ZipEntries, EveryDecodedMethodFailsDataThatDisagreesWithItsHeaders) {
    const QByteArray content = repeatsBeyondDeflateWindow();
    const QString deflate64Archive = sevenZip(
        QStringLiteral("d64"), {{QStringLiteral("c"), content}}, {QStringLiteral("-mm=Deflate64")});
    const struct {
        const char* label;
        uint16_t method;
        uint16_t flags;
        QByteArray packed;
    } methods[] = {
        {"stored", 0, 0, content},
        {"deflate", 8, 0, zip::rawDeflate(content)},
        {"deflate64", 9, 0, zip::entryBytes(readFile(deflate64Archive), 0)},
        {"bzip2", 12, 0, bga::bzip2Stream(content)},
        {"lzma with end marker", 14, 0x0002, zipLzma(content, true)},
        {"lzma without end marker", 14, 0, zipLzma(content, false)},
        {"xz", 95, 0, xz(content)},
    };
    // Offsets of the fields in the first local header and the central header of an entry named
    // "c" (one byte).
    const auto both = [](qsizetype localField, const std::function<uint32_t(uint32_t)>& change) {
        return [=](QByteArray& bytes, qsizetype central) {
            set32(bytes, localField, change(get32(bytes, localField)));
            set32(bytes, central + localField + 2, change(get32(bytes, central + localField + 2)));
        };
    };
    const struct {
        const char* label;
        std::function<QByteArray(const QByteArray&)> repack;
        std::function<void(QByteArray&, qsizetype)> patch;
    } variants[] = {
        {"bytes after the stream", [](const QByteArray& p) { return p + "zz"; }, nullptr},
        {"stream cut short", [](const QByteArray& p) { return p.left(p.size() * 3 / 4); }, nullptr},
        {"stated size one more", nullptr, both(22, [](uint32_t size) { return size + 1; })},
        {"stated size one less", nullptr, both(22, [](uint32_t size) { return size - 1; })},
        {"CRC-32 changed", nullptr, both(14, [](uint32_t crc) { return crc ^ 0x100; })},
    };
    for (const auto& method : methods) {
        SCOPED_TRACE(method.label);
        ASSERT_FALSE(method.packed.isEmpty());
        const auto entry = [&](const QByteArray& packed) {
            return zip::writeZip({zip::HandEntry("c", content, method.method)
                                      .withPacked(packed)
                                      .withFlags(method.flags),
                                  {"d.txt", "after"}});
        };
        EXPECT_EQ(unzip_.test(save(QStringLiteral("intact.zip"), entry(method.packed).bytes)),
                  VARNELT_ARC_OK);
        for (const auto& variant : variants) {
            SCOPED_TRACE(variant.label);
            zip::HandZip hand =
                entry(variant.repack ? variant.repack(method.packed) : method.packed);
            if (variant.patch) {
                variant.patch(hand.bytes, hand.centralOffsets[0]);
            }
            EXPECT_EQ(unzip_.test(save(QStringLiteral("variant.zip"), hand.bytes)),
                      VARNELT_ARC_ERROR_FILE_CRC);
        }
    }
}

TEST_F(ZipEntries, DataDescriptorsOfEveryFormPassAndMustMatch) {
    const QByteArray data = sampleContent(20000, 12);
    for (const zip::Descriptor form : {zip::Descriptor::Signed32, zip::Descriptor::Unsigned32,
                                       zip::Descriptor::Signed64, zip::Descriptor::Unsigned64}) {
        for (const bool zip64 : {false, true}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(form) << " zip64 " << zip64);
            zip::HandEntry entry("a.txt", data, 8);
            entry.withDescriptor(form);
            if (zip64) {
                entry.withZip64();
            }
            const zip::HandZip hand = zip::writeZip({entry, {"b.txt", "b"}});
            EXPECT_EQ(unzip_.test(save(QStringLiteral("form.zip"), hand.bytes)), VARNELT_ARC_OK);

            // The descriptor's CRC-32 and compressed size, wherever its form puts them.
            const qsizetype descriptor =
                hand.localOffsets[1] - (form == zip::Descriptor::Signed32     ? 16
                                        : form == zip::Descriptor::Unsigned32 ? 12
                                        : form == zip::Descriptor::Signed64   ? 24
                                                                              : 20);
            const qsizetype crc =
                descriptor +
                (form == zip::Descriptor::Signed32 || form == zip::Descriptor::Signed64 ? 4 : 0);
            for (const qsizetype field : {crc, crc + 4}) {
                QByteArray damaged = hand.bytes;
                set32(damaged, field, get32(damaged, field) ^ 0x10);
                EXPECT_EQ(unzip_.test(save(QStringLiteral("mismatch.zip"), damaged)),
                          VARNELT_ARC_ERROR_HEADER_BROKEN);
            }
        }
    }
    const QString bsdtar = scratch_.path(QStringLiteral("bsdtar.zip"));
    ASSERT_TRUE(
        makeBsdtarZip(bsdtar, {{QStringLiteral("a.txt"), data}, {QStringLiteral("b.txt"), "b"}}));
    ASSERT_NE(zip::get16(readFile(bsdtar), 6) & 0x0008, 0) << "bsdtar should write a descriptor";
    EXPECT_EQ(unzip_.test(bsdtar), VARNELT_ARC_OK);
}

TEST_F(ZipEntries, MethodsNotDecodedHereAreLeftToLibarchiveOrAnswerMethod) {
    const QByteArray content = sampleContent(100000, 13);
    const QString raw = save(QStringLiteral("content.txt"), content);
    ASSERT_TRUE(runTool(QStringLiteral("zstd"),
                        {QStringLiteral("-q"), QStringLiteral("-f"), raw, QStringLiteral("-o"),
                         raw + QStringLiteral(".zst")},
                        scratch_.root()));
    const QByteArray zstd = readFile(raw + QStringLiteral(".zst"));
    const QByteArray ppmd =
        readFile(sevenZip(QStringLiteral("ppmd"), {{QStringLiteral("a.txt"), content}},
                          {QStringLiteral("-mm=PPMd")}));
    const struct {
        const char* label;
        uint16_t method;
        QByteArray packed;
        int32_t expected;
    } cases[] = {
        {"zstd", 93, zstd, VARNELT_ARC_OK},
        {"PPMd", 98, zip::entryBytes(ppmd, 0), VARNELT_ARC_OK},
        {"implode", 6, zip::rawDeflate(content), VARNELT_ARC_ERROR_METHOD},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const zip::HandZip intact =
            zip::writeZip({zip::HandEntry("a.txt", content, c.method).withPacked(c.packed),
                           {"b.txt", sampleContent(3000, 14)}});
        const QString intactPath = save(QStringLiteral("intact.zip"), intact.bytes);
        EXPECT_EQ(unzip_.test(intactPath), c.expected);
        EXPECT_EQ(unzip_.count(intactPath), 2);
        const auto damaged = [&](qsizetype at, uint16_t localMethod) {
            QByteArray bytes = intact.bytes;
            if (localMethod != 0) {
                zip::set16(bytes, at, localMethod);
            } else {
                bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
            }
            return unzip_.test(save(QStringLiteral("damaged.zip"), bytes));
        };
        if (c.expected == VARNELT_ARC_OK) {
            const int32_t answer = damaged(intact.dataOffsets[0] + c.packed.size() / 2, 0);
            EXPECT_NE(answer, VARNELT_ARC_OK);
            EXPECT_NE(answer, VARNELT_ARC_ERROR_METHOD);
        }
        // A fault in the other entry wins, whoever decodes the first; so does a local header
        // that disagrees with its central one.
        EXPECT_EQ(damaged(intact.dataOffsets[1] + 100, 0), VARNELT_ARC_ERROR_FILE_CRC);
        EXPECT_EQ(damaged(intact.localOffsets[1] + 8, 8), VARNELT_ARC_ERROR_HEADER_BROKEN);
    }
}

TEST_F(ZipEntries, AesEntriesAreSkippedAndTheOthersStillChecked) {
    const QString archive =
        sevenZip(QStringLiteral("aes"), {{QStringLiteral("secret.txt"), sampleContent(30000, 15)}},
                 {QStringLiteral("-mem=AES256"), QStringLiteral("-psecret")});
    ASSERT_EQ(zip::get16(readFile(archive), 8), 99);
    EXPECT_EQ(unzip_.test(archive), VARNELT_ARC_ERROR_PASSWORD);
    EXPECT_EQ(unzip_.count(archive), 1);
    EXPECT_EQ(unzip_.firstName(archive), std::optional<std::string>("secret.txt"));

    const QByteArray plain = sampleContent(40000, 16);
    writeFile(scratch_.path(QStringLiteral("plain.txt")), plain);
    ASSERT_TRUE(runTool(QStringLiteral("7zz"),
                        {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-tzip"),
                         QStringLiteral("-mx=0"), archive, QStringLiteral("plain.txt")},
                        scratch_.root()));
    EXPECT_EQ(unzip_.test(archive), VARNELT_ARC_ERROR_PASSWORD);
    EXPECT_EQ(unzip_.count(archive), 2);
    flipByte(archive, readFile(archive).indexOf(plain.left(64)) + 1000);
    EXPECT_EQ(unzip_.test(archive), VARNELT_ARC_ERROR_FILE_CRC);
}

TEST_F(ZipEntries, NamesComeFromUnicodePathOrFlagOrCp932) {
    const QByteArray cp932(
        "\x95\x5C\x5C"
        "a.txt");  // 表\a.txt
    const QByteArray utf8 = QStringLiteral("資料/日本語.txt").toUtf8();
    const auto unicodePath = [&](uint32_t crc) {
        QByteArray data(1, '\x01');
        zip::append32(data, crc);
        return zip::extraField(0x7075, data + utf8);
    };
    const struct {
        const char* label;
        zip::HandEntry entry;
        std::string expected;
    } cases[] = {
        {"Unicode Path of this name",
         zip::HandEntry(cp932, "x").withCentralExtra(unicodePath(zip::crc32Of(cp932))),
         utf8.toStdString()},
        {"Unicode Path of another name",
         zip::HandEntry(cp932, "x").withCentralExtra(unicodePath(zip::crc32Of("other"))),
         "表/a.txt"},
        {"UTF-8 flag", zip::HandEntry("dir\\" + utf8, "x").withFlags(0x0800),
         "dir/" + utf8.toStdString()},
        {"CP932", zip::HandEntry(cp932, "x"), "表/a.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const QString path = save(QStringLiteral("named.zip"), zip::writeZip({c.entry}).bytes);
        EXPECT_EQ(unzip_.test(path), VARNELT_ARC_OK);
        EXPECT_EQ(unzip_.firstName(path), std::optional<std::string>(c.expected));
    }
}

}  // namespace
}  // namespace varnelt::test
