// lib7-zip32 against hand-built 7z archives: faults that a reader over libarchive let through,
// and hostile headers that ask for more than the file can hold. Packed data comes from 7zz;
// headers are written here with every CRC around them recomputed, so that each archive holds
// exactly the fault it is named for.
#include <gtest/gtest.h>

#include <QFile>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
#include "tests/support/scratch.h"
#include "tests/support/sevenzip_writer.h"

namespace varnelt::test {
namespace {

namespace sz = sevenzip;

constexpr uint64_t kLzma = 0x030101;
constexpr uint64_t kLzma2 = 0x21;
constexpr uint64_t kCopy = 0x00;

class SevenZipFaults : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sevenZip_.loaded()); }

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = scratch_.path(name);
        writeFile(path, bytes);
        return path;
    }

    // A 7zz-made archive of one file, its header left plain, split in two.
    sz::Split madeBy7zz(const QStringList& switches) {
        const QString staging = stageEntries(scratch_.path(QStringLiteral("in")),
                                             {{QStringLiteral("data.bin"), content_}});
        const QString archive = scratch_.path(QStringLiteral("made.7z"));
        QFile::remove(archive);
        QStringList arguments{QStringLiteral("a"), QStringLiteral("-bd"),
                              QStringLiteral("-mhc=off")};
        arguments << switches << archive << QStringLiteral("data.bin");
        EXPECT_TRUE(runTool(QStringLiteral("7zz"), arguments, staging));
        return sz::splitArchive(readFile(archive));
    }

    // An archive of content_ under a header written here: one folder of one coder over the
    // given packed bytes.
    QByteArray singleFolder(const QByteArray& coder, const QByteArray& packed,
                            uint64_t packSize) const {
        return sz::archive(
            packed, sz::singleFolderHeader({coder, packSize, static_cast<uint64_t>(content_.size()),
                                            sz::crc32Of(content_)}));
    }

    void expectRefused(const QString& path, int32_t answer) {
        EXPECT_EQ(sevenZip_.test(path), answer);
        EXPECT_LT(sevenZip_.count(path), 0);
        EXPECT_FALSE(sevenZip_.firstName(path).has_value());
    }

    const QByteArray content_ = sampleContent(70000, 9);
    ScratchDir scratch_;
    BoundLibrary sevenZip_{{"lib7-zip32.so", "SevenZip", "t"}};
};

TEST_F(SevenZipFaults, StartHeaderCrcIsChecked) {
    const sz::Split made = madeBy7zz({});
    const QByteArray intact = sz::archive(made.packed, made.header);
    ASSERT_EQ(sevenZip_.test(write(QStringLiteral("intact.7z"), intact)), VARNELT_ARC_OK);
    // The stored CRC itself, and a field it covers (the header's CRC) left unaccounted for.
    for (const int offset : {9, 28}) {
        SCOPED_TRACE(offset);
        QByteArray damaged = intact;
        damaged[offset] = static_cast<char>(damaged[offset] ^ 0x01);
        expectRefused(write(QStringLiteral("start%1.7z").arg(offset), damaged),
                      VARNELT_ARC_ERROR_HEADER_CRC);
    }
}

TEST_F(SevenZipFaults, HeaderCrcIsChecked) {
    const sz::Split made = madeBy7zz({});
    QByteArray header = made.header;
    header[header.size() - 8] = static_cast<char>(header[header.size() - 8] ^ 0x20);
    QByteArray damaged = sz::archive(made.packed, made.header);
    damaged.replace(32 + made.packed.size(), header.size(), header);
    expectRefused(write(QStringLiteral("header.7z"), damaged), VARNELT_ARC_ERROR_HEADER_CRC);
}

// The fuzzer met a start header asking for a terabyte in a 123-byte file.
TEST_F(SevenZipFaults, HeaderBeyondTheFileIsRefusedUpFront) {
    const sz::Split made = madeBy7zz({});
    QByteArray bytes = sz::archive(made.packed, made.header);
    bytes.replace(20, 8, sz::le32(0) + sz::le32(1u << 8));  // 2^40
    sz::fixStartHeaderCrc(bytes);
    expectRefused(write(QStringLiteral("huge.7z"), bytes), VARNELT_ARC_ERROR_EOF);
}

// A header encoded with the Copy method: the encoded header names a folder whose output is the
// plain header, stored after the file's own packed data.
TEST_F(SevenZipFaults, CopyEncodedHeaderMustGiveWhatItTakes) {
    const sz::Split made = madeBy7zz({});
    const auto headerSize = static_cast<uint64_t>(made.header.size());
    const struct {
        uint64_t claimed;
        int32_t answer;
    } cases[] = {{headerSize, VARNELT_ARC_OK},
                 {uint64_t{1} << 40, VARNELT_ARC_ERROR_HEADER_BROKEN},
                 {headerSize + 1, VARNELT_ARC_ERROR_HEADER_BROKEN}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claimed);
        const QByteArray encoded =
            "\x17" + sz::singleFolderStreams(sz::coder(kCopy), made.packed.size(), headerSize,
                                             c.claimed, sz::crc32Of(made.header));
        const QString path =
            write(QStringLiteral("copy.7z"), sz::archive(made.packed + made.header, encoded));
        EXPECT_EQ(sevenZip_.test(path), c.answer);
        EXPECT_EQ(sevenZip_.count(path), c.answer == VARNELT_ARC_OK ? 1 : -1);
    }
}

// A header encoded inside an encoded header: no writer does this, and it is refused rather
// than followed, however deep.
TEST_F(SevenZipFaults, NestedEncodedHeaderIsRefused) {
    const sz::Split made = madeBy7zz({});
    const auto packedSize = static_cast<uint64_t>(made.packed.size());
    const auto headerSize = static_cast<uint64_t>(made.header.size());
    const QByteArray inner =
        "\x17" + sz::singleFolderStreams(sz::coder(kCopy), packedSize, headerSize, headerSize,
                                         sz::crc32Of(made.header));
    const auto innerSize = static_cast<uint64_t>(inner.size());
    const QByteArray outer =
        "\x17" + sz::singleFolderStreams(sz::coder(kCopy), packedSize + headerSize, innerSize,
                                         innerSize, sz::crc32Of(inner));
    expectRefused(
        write(QStringLiteral("nested.7z"), sz::archive(made.packed + made.header + inner, outer)),
        VARNELT_ARC_ERROR_HEADER_BROKEN);
}

// An LZMA or LZMA2 stream ends before its packed stream does: the bytes after it are damage.
TEST_F(SevenZipFaults, BytesAfterTheEndOfAnLzmaStreamFail) {
    const struct {
        const char* method;
        QByteArray coder;
    } coders[] = {{"-m0=LZMA2", sz::coder(kLzma2, QByteArray(1, 24))},
                  {"-m0=LZMA", sz::coder(kLzma, QByteArray("\x5D", 1) + sz::le32(1u << 24))}};
    for (const auto& c : coders) {
        SCOPED_TRACE(c.method);
        const QByteArray packed = madeBy7zz({QString::fromLatin1(c.method)}).packed;
        for (const QByteArray& extra : {QByteArray(), QByteArray(1, '\0'), QByteArray("junk")}) {
            SCOPED_TRACE(extra.size());
            const QString path =
                write(QStringLiteral("tail.7z"),
                      singleFolder(c.coder, packed + extra, packed.size() + extra.size()));
            EXPECT_EQ(sevenZip_.test(path),
                      extra.isEmpty() ? VARNELT_ARC_OK : VARNELT_ARC_ERROR_FILE_CRC);
        }
    }
}

// The header gives less output than the stream holds: the rest is damage too.
TEST_F(SevenZipFaults, MoreOutputThanTheHeaderGivesFails) {
    const QByteArray packed = madeBy7zz({QStringLiteral("-m0=LZMA2")}).packed;
    const QByteArray shorter = content_.left(content_.size() - 1);
    const QByteArray bytes = sz::archive(
        packed, sz::singleFolderHeader(
                    {sz::coder(kLzma2, QByteArray(1, 24)), static_cast<uint64_t>(packed.size()),
                     static_cast<uint64_t>(shorter.size()), sz::crc32Of(shorter)}));
    EXPECT_EQ(sevenZip_.test(write(QStringLiteral("short.7z"), bytes)), VARNELT_ARC_ERROR_FILE_CRC);
}

TEST_F(SevenZipFaults, PackedStreamBeyondTheFileFails) {
    const QByteArray packed = madeBy7zz({QStringLiteral("-m0=LZMA2")}).packed;
    const QByteArray coder = sz::coder(kLzma2, QByteArray(1, 24));
    for (const uint64_t claimed : {uint64_t(packed.size()) + 100000, uint64_t{1} << 62}) {
        SCOPED_TRACE(claimed);
        EXPECT_EQ(sevenZip_.test(
                      write(QStringLiteral("beyond.7z"), singleFolder(coder, packed, claimed))),
                  VARNELT_ARC_ERROR_EOF);
    }
}

// liblzma would allocate the dictionary a header names; above 2 GiB it is refused instead.
TEST_F(SevenZipFaults, DictionaryAbove2GiBIsRefused) {
    const QByteArray lzma2 = madeBy7zz({QStringLiteral("-m0=LZMA2")}).packed;
    const QByteArray lzma = madeBy7zz({QStringLiteral("-m0=LZMA")}).packed;
    EXPECT_EQ(sevenZip_.test(
                  write(QStringLiteral("dict2.7z"),
                        singleFolder(sz::coder(kLzma2, QByteArray(1, 40)), lzma2, lzma2.size()))),
              VARNELT_ARC_ERROR_ENOUGH_MEMORY);
    EXPECT_EQ(sevenZip_.test(
                  write(QStringLiteral("dict1.7z"),
                        singleFolder(sz::coder(kLzma, QByteArray("\x5D", 1) + sz::le32(0xFFFFFFFF)),
                                     lzma, lzma.size()))),
              VARNELT_ARC_ERROR_ENOUGH_MEMORY);
}

uint64_t peakVirtualMemory() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmPeak:", 0) == 0) {
            return std::stoull(line.substr(7)) * 1024;  // given in kB
        }
    }
    return 0;
}

// Folders that each claim tens of millions of substreams in a file of a few hundred bytes: the
// count is refused before anything is allocated for it.
TEST_F(SevenZipFaults, HugeSubstreamCountsAreRefusedBeforeAllocating) {
    constexpr int kFolders = 3;
    constexpr uint64_t kClaimed = 30000000;
    QByteArray header("\x01\x04\x06\x00", 4);
    header += sz::number(kFolders) + "\x09" + QByteArray(kFolders, '\x01') + '\0';
    header += QByteArray("\x07\x0B", 2) + sz::number(kFolders) + '\0';
    for (int i = 0; i < kFolders; ++i) {
        header += "\x01" + sz::coder(kCopy);
    }
    header += "\x0C" + QByteArray(kFolders, '\x01') + '\0';
    header += "\x08\x0D";
    for (int i = 0; i < kFolders; ++i) {
        header += sz::number(kClaimed);
    }
    header += "\x09" + QByteArray(300, '\x00') + QByteArray(2, '\0');
    const QString path =
        write(QStringLiteral("substreams.7z"), sz::archive(QByteArray(kFolders, 'x'), header));
    // Measured in a fresh process that has done nothing else yet, so that no earlier peak
    // hides this one's.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const uint64_t before = peakVirtualMemory();
            sevenZip_.test(path);
            sevenZip_.count(path);
            std::_Exit(peakVirtualMemory() - before < (uint64_t{64} << 20) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    expectRefused(path, VARNELT_ARC_ERROR_HEADER_BROKEN);
}

// Counts far beyond what the header's bytes could describe, each in an otherwise small header.
TEST_F(SevenZipFaults, CountsBeyondTheHeaderAreRefused) {
    const QByteArray huge = sz::number(uint64_t{1} << 40);
    const QByteArray copyFolder = "\x01" + sz::coder(kCopy);
    const struct {
        const char* what;
        QByteArray header;
    } cases[] = {
        {"pack streams", "\x01\x04\x06\x00" + huge + "\x09\x01\x00\x00\x00"},
        {"folders", QByteArray("\x01\x04\x07\x0B", 4) + huge + '\0' + copyFolder},
        {"coders", QByteArray("\x01\x04\x07\x0B\x01\x00", 6) + sz::number(1 << 20) + "\x01"},
        {"files", QByteArray("\x01\x05", 2) + huge + QByteArray(2, '\0')},
        {"files with data", QByteArray("\x01\x05", 2) + sz::number(1 << 30) + QByteArray(2, '\0')},
        {"names", QByteArray("\x01\x05\x02\x11\x05\x00\x61\x00\x00\x00\x00\x00", 12)},
        {"property size", QByteArray("\x01\x05\x01\x11", 4) + huge + QByteArray(4, '\0')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expectRefused(write(QStringLiteral("counts.7z"), sz::archive({}, c.header)),
                      VARNELT_ARC_ERROR_HEADER_BROKEN);
    }
}

// Coders bound into a loop would be decoded forever; the folder is refused.
TEST_F(SevenZipFaults, CodersBoundInALoopAreRefused) {
    QByteArray header("\x01\x04\x06\x00\x01\x09\x01\x00\x07\x0B\x01\x00\x03", 13);
    header += sz::coder(kCopy) + sz::coder(kCopy) + sz::coder(kCopy);
    header += QByteArray("\x01\x02\x02\x01", 4);  // input 1 from coder 2, input 2 from coder 1
    header += QByteArray("\x0C\x01\x01\x01\x00\x00", 6);
    header += QByteArray("\x05\x01\x00\x00", 4);
    expectRefused(write(QStringLiteral("loop.7z"), sz::archive("x", header)),
                  VARNELT_ARC_ERROR_HEADER_BROKEN);
}

TEST_F(SevenZipFaults, ZeroFilledFileNamed7zIsNoArchive) {
    expectRefused(write(QStringLiteral("zeros.7z"), QByteArray(50 << 20, '\0')),
                  VARNELT_ARC_ERROR_NOT_ARC_FILE);
}

}  // namespace
}  // namespace varnelt::test
