// Why a substitute library failed a test, as GetLastErrorText tells it, format by format: the
// checksum and the entry for damaged data, the cut for a truncated archive, the method for one it
// lacks; nothing for an intact archive or a file of another format; one reason per thread; and a
// cut, NUL-ended copy in a small buffer.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include <cstring>
#include <latch>
#include <random>
#include <thread>
#include <vector>

#include "tests/support/archive_makers.h"
#include "tests/support/bga_writer.h"
#include "tests/support/bound_library.h"
#include "tests/support/format_cases.h"
#include "tests/support/lzh_writer.h"
#include "tests/support/rar4_writer.h"
#include "tests/support/scratch.h"
#include "tests/support/sevenzip_writer.h"
#include "tests/support/zip_writer.h"

namespace varnelt::test {
namespace {

// Bytes no compressor can shrink, so that every writer stores them as they are (deflate's stored
// blocks, LZMA2's uncompressed chunks, lh0): a flipped byte then reaches the checksum instead of
// upsetting a decoder.
QByteArray noise(int size) {
    std::mt19937 generator(1234);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

const QString kEntry = QStringLiteral("docs/payload.txt");

// An archive of one entry, kEntry, whose method is one the library does not decode, made by
// patching the method field of an archive made as usual; the name the reason gives the method
// (empty when the library's reason names none). False when it cannot be made.
using MethodPatch = bool (*)(const QString& path, const QByteArray& data, QString& method);

bool zipWithImplode(const QString& path, const QByteArray& data, QString& method) {
    if (!makeZip(path, {{kEntry, data}})) {
        return false;
    }
    QByteArray bytes = readFile(path);
    const zip::ZipParts parts = zip::findParts(bytes);
    if (parts.localOffsets.size() != 1 || parts.centralOffsets.size() != 1) {
        return false;
    }
    constexpr uint16_t kImplode = 6;
    zip::set16(bytes, parts.localOffsets[0] + 8, kImplode);
    zip::set16(bytes, parts.centralOffsets[0] + 10, kImplode);
    writeFile(path, bytes);
    method = QStringLiteral("Implode");
    return true;
}

// 7zz writes Deflate (04 01 08) into a plain header; 04 01 09 is Deflate64, which neither the
// library's own reader nor libarchive decodes.
bool sevenZipWithDeflate64(const QString& path, const QByteArray& data, QString& method) {
    const QString staging = stageEntries(path + QStringLiteral(".in"), {{kEntry, data}});
    if (!runTool(QStringLiteral("7zz"),
                 {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-mhc=off"),
                  QStringLiteral("-m0=Deflate"), path, kEntry},
                 staging)) {
        return false;
    }
    QByteArray bytes = readFile(path);
    const sevenzip::Split split = sevenzip::splitArchive(bytes);
    QByteArray header = split.header;
    const qsizetype coder = header.indexOf(QByteArray("\x03\x04\x01\x08", 4));
    if (coder < 0) {
        return false;
    }
    header[coder + 3] = '\x09';
    bytes = sevenzip::archive(split.packed, header);
    writeFile(path, bytes);
    method = QStringLiteral("Deflate64");
    return true;
}

bool lzhWithLh9(const QString& path, const QByteArray& data, QString& method) {
    writeFile(path, storedLzh({{"-lh9-", "docs\\payload.txt", data}}));
    method = QStringLiteral("lh9");
    return true;
}

// gcab writes no reserved areas, so the first folder entry follows the 36-byte header; its
// compression type is at offset 6. Type 15 is none that cabinets define.
bool cabWithType15(const QString& path, const QByteArray& data, QString& method) {
    if (!makeCab(path, {{kEntry, data}})) {
        return false;
    }
    QByteArray bytes = readFile(path);
    zip::set16(bytes, 36 + 6, 15);
    writeFile(path, bytes);
    method = QStringLiteral("15");
    return true;
}

// METHOD at offset 25 of the first file header, sealed again with its HEAD_CRC. libarchive
// decides, and its message names no method.
bool rar4WithMethod0x36(const QString& path, const QByteArray& data, QString& method) {
    if (!makeRar4(path, {{kEntry, data}})) {
        return false;
    }
    QByteArray bytes = readFile(path);
    const qsizetype header = rar4::kMarkerSize + rar4::kMainHeaderSize;
    bytes[header + 25] = '\x36';
    const uint16_t size = zip::get16(bytes, header + 5);
    zip::set16(bytes, header,
               static_cast<uint16_t>(rar4::crc32Of(bytes.mid(header + 2, size - 2)) & 0xFFFF));
    writeFile(path, bytes);
    method.clear();
    return true;
}

bool bgaWithLzma(const QString& path, const QByteArray& data, QString& method, bga::Method made) {
    const auto member = bga::memberFor({kEntry, data}, made);
    if (!member || !bga::writeArchive(path, {*member})) {
        return false;
    }
    QByteArray bytes = readFile(path);
    bytes.replace(4, 4, "LZMA");
    bga::resealHeader(bytes, 0);
    writeFile(path, bytes);
    method = QStringLiteral("LZMA");
    return true;
}

bool gzaWithLzma(const QString& path, const QByteArray& data, QString& method) {
    return bgaWithLzma(path, data, method, bga::Method::Gzip);
}

bool bzaWithLzma(const QString& path, const QByteArray& data, QString& method) {
    return bgaWithLzma(path, data, method, bga::Method::Bzip2);
}

// What sets the formats apart for their reasons.
struct ReasonTraits {
    const char* label;
    // The checksums cover each entry, so that a mismatch names it; a compressed tar's cover the
    // whole stream, which is often read to its end before the check fails.
    bool checksumPerEntry;
    MethodPatch unsupportedMethod;
    const char* noMethodField = nullptr;  // why there is no method to patch
};

const ReasonTraits kReasonTraits[] = {
    {"zip", true, &zipWithImplode},
    {"sevenzip", true, &sevenZipWithDeflate64},
    {"lzh", true, &lzhWithLh9},
    {"cab", true, &cabWithType15},
    {"tar", false, nullptr, "tar entries are stored, with no method field"},
    {"tgz", false, nullptr,
     "gzip knows deflate only; zlib answers any other method byte as damaged data"},
    {"tbz", false, nullptr, "bzip2 has no method field"},
    {"txz", false, nullptr, "liblzma does not say which xz filter it lacks"},
    {"rar4", true, &rar4WithMethod0x36},
    {"gza", true, &gzaWithLzma},
    {"bza", true, &bzaWithLzma},
};

const ReasonTraits& traitsOf(const FormatCase& format) {
    for (const ReasonTraits& traits : kReasonTraits) {
        if (std::strcmp(traits.label, format.label) == 0) {
            return traits;
        }
    }
    ADD_FAILURE() << "no reason traits for " << format.label;
    return kReasonTraits[0];
}

bool mentions(const QString& reason, const char* pattern) {
    return QRegularExpression(QString::fromLatin1(pattern),
                              QRegularExpression::CaseInsensitiveOption)
        .match(reason)
        .hasMatch();
}

class FailureReasons : public ::testing::TestWithParam<FormatCase> {
protected:
    void SetUp() override {
        library_ = std::make_unique<BoundLibrary>(GetParam().library);
        ASSERT_TRUE(library_->loaded()) << GetParam().library.fileName;
        ASSERT_NE(library_->functions().getLastErrorText, nullptr);
    }
    QString path(const QString& base) const {
        return scratch_.path(base + u'.' + QLatin1String(GetParam().extension));
    }
    QString make(const QString& base, const EntryList& entries) {
        const QString archive = path(base);
        EXPECT_TRUE(GetParam().make(archive, entries)) << "cannot make " << archive.toStdString();
        return archive;
    }
    QString intact() {
        return make(QStringLiteral("intact"),
                    {{QStringLiteral("a.txt"), "alpha"}, {kEntry, sampleContent(5000, 1)}});
    }
    // One large entry of noise with the byte in the middle of the file flipped.
    QString flipped(const QString& entryName) {
        const QString archive = make(QStringLiteral("flipped"), {{entryName, noise(200000)}});
        flipByte(archive, readFile(archive).size() / 2);
        return archive;
    }
    QString truncated(const QString& entryName) {
        const QString archive =
            make(QStringLiteral("truncated"), {{entryName, sampleContent(200000, 7)}});
        truncateToPercent(archive, 60);
        return archive;
    }
    // An archive the library fails with a reason: damaged data where a checksum covers it, else
    // a cut.
    QString failing(const QString& entryName) {
        return GetParam().dataChecksummed ? flipped(entryName) : truncated(entryName);
    }
    // The reason after a test that must fail.
    QString reasonForFailed(const QString& archive) {
        EXPECT_NE(library_->test(archive), 0) << "the test passed";
        return library_->reason();
    }

    ScratchDir scratch_;
    std::unique_ptr<BoundLibrary> library_;
};

TEST_P(FailureReasons, ChecksumMismatchNamesTheChecksumAndTheEntry) {
    if (!GetParam().dataChecksummed) {
        GTEST_SKIP() << "no checksum covers this format's entry data";
    }
    const QString reason = reasonForFailed(flipped(kEntry));
    EXPECT_TRUE(mentions(reason, "CRC|check")) << reason.toStdString();
    if (traitsOf(GetParam()).checksumPerEntry) {
        EXPECT_TRUE(reason.contains(kEntry)) << reason.toStdString();
    }
}

TEST_P(FailureReasons, TruncationSaysSo) {
    const QString reason = reasonForFailed(truncated(kEntry));
    EXPECT_TRUE(mentions(reason, "truncat|unexpected end|ends early")) << reason.toStdString();
}

TEST_P(FailureReasons, UnsupportedMethodIsNamed) {
    const ReasonTraits& traits = traitsOf(GetParam());
    if (traits.unsupportedMethod == nullptr) {
        GTEST_SKIP() << traits.noMethodField;
    }
    const QString archive = path(QStringLiteral("method"));
    QString method;
    ASSERT_TRUE(traits.unsupportedMethod(archive, noise(5000), method));
    const QString reason = reasonForFailed(archive);
    EXPECT_TRUE(mentions(reason, "unsupported.*method")) << reason.toStdString();
    EXPECT_TRUE(reason.contains(method)) << reason.toStdString();
    EXPECT_TRUE(reason.contains(kEntry)) << reason.toStdString();
}

// Every call replaces the reason: a pass, a foreign file and a count leave none behind.
TEST_P(FailureReasons, PassingTestAndForeignFileLeaveNoReason) {
    const QString bad = failing(kEntry);
    const QString good = intact();
    const bool isLzh = GetParam().make == &makeLzh;
    const QString foreign =
        scratch_.path(isLzh ? QStringLiteral("foreign.zip") : QStringLiteral("foreign.lzh"));
    ASSERT_TRUE(isLzh ? makeZip(foreign, {{QStringLiteral("a.txt"), "alpha"}})
                      : makeLzh(foreign, {{QStringLiteral("a.txt"), "alpha"}}));
    const QString text = scratch_.path(QStringLiteral("notes.txt"));
    writeFile(text, sampleContent(3000, 3));

    EXPECT_EQ(library_->test(good), 0);
    EXPECT_EQ(library_->reason(), QString());
    for (const QString& other : {foreign, text}) {
        ASSERT_FALSE(reasonForFailed(bad).isEmpty());
        EXPECT_NE(library_->test(other), 0);
        EXPECT_EQ(library_->reason(), QString()) << other.toStdString();
    }
    ASSERT_FALSE(reasonForFailed(bad).isEmpty());
    EXPECT_EQ(library_->test(good), 0);
    EXPECT_EQ(library_->reason(), QString());
    ASSERT_FALSE(reasonForFailed(bad).isEmpty());
    EXPECT_GT(library_->count(good), 0);
    EXPECT_EQ(library_->reason(), QString());
}

TEST_P(FailureReasons, ReasonBelongsToTheCallingThread) {
    const QString bad = failing(kEntry);
    const QString good = intact();
    EXPECT_EQ(library_->test(good), 0);  // whatever an earlier test left on this thread goes
    QString onFailingThread;
    QString onPassingThread;
    std::latch failed(1);
    std::latch passed(1);
    {
        std::jthread failer([&] {
            EXPECT_NE(library_->test(bad), 0);
            failed.count_down();
            passed.wait();  // the other thread's pass must not clear this one's reason
            onFailingThread = library_->reason();
        });
        std::jthread passer([&] {
            failed.wait();  // nor may this one's failure show here
            EXPECT_EQ(library_->test(good), 0);
            onPassingThread = library_->reason();
            passed.count_down();
        });
    }
    EXPECT_FALSE(onFailingThread.isEmpty());
    EXPECT_EQ(onPassingThread, QString());
    EXPECT_EQ(library_->reason(), QString()) << "another thread's failure shows here";
    EXPECT_EQ(reasonForFailed(bad), onFailingThread) << "the wording must not depend on the thread";
}

TEST_P(FailureReasons, SmallBufferGetsCutNulEndedTextAndFullLength) {
    const ArchiverLibrary& f = library_->functions();
    const QString entryName = QStringLiteral("日本語/データ.txt");
    ASSERT_NE(library_->test(failing(entryName)), 0);
    char whole[1024];
    const int32_t length = f.getLastErrorText(whole, sizeof whole);
    ASSERT_GT(length, 0);
    ASSERT_LT(length, static_cast<int32_t>(sizeof whole));
    ASSERT_EQ(std::strlen(whole), static_cast<size_t>(length));
    const QByteArray full(whole, length);
    if (!GetParam().dataChecksummed || traitsOf(GetParam()).checksumPerEntry) {
        EXPECT_TRUE(QString::fromUtf8(full).contains(entryName)) << full.toStdString();
    }

    char untouched = 'x';
    EXPECT_EQ(f.getLastErrorText(nullptr, 0), length);
    EXPECT_EQ(f.getLastErrorText(nullptr, 16), length);
    EXPECT_EQ(f.getLastErrorText(&untouched, 0), length);
    EXPECT_EQ(f.getLastErrorText(&untouched, -5), length);
    EXPECT_EQ(untouched, 'x');
    for (int32_t size = 1; size <= length + 1; ++size) {
        std::vector<char> buffer(static_cast<size_t>(size) + 1, '#');  // one guard byte
        EXPECT_EQ(f.getLastErrorText(buffer.data(), size), length) << "size " << size;
        const size_t copied = strnlen(buffer.data(), static_cast<size_t>(size));
        ASSERT_LT(copied, static_cast<size_t>(size)) << "not NUL-ended, size " << size;
        EXPECT_EQ(buffer[static_cast<size_t>(size)], '#') << "written past size " << size;
        // The longest start of the reason that fits and ends on a character boundary.
        qsizetype expected = std::min<qsizetype>(size - 1, length);
        while (expected < length && (static_cast<uint8_t>(full[expected]) & 0xC0) == 0x80) {
            --expected;
        }
        EXPECT_EQ(QByteArray(buffer.data(), static_cast<qsizetype>(copied)), full.left(expected))
            << "size " << size;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FailureReasons, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace varnelt::test
