// The fast MSZIP path of libcab32 against libmspack: it must vouch only for folders libmspack
// passes, decode them to the same bytes, and leave every fault and odd layout to libmspack.
#include <gtest/gtest.h>

#include "archivers/cab_mszip.h"
#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

uint32_t le(const QByteArray& bytes, qsizetype at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    }
    return value;
}

// Adds one to a 16-bit size field of the CFDATA header at block (4: stored, 6: plain) and
// zeroes its checksum, which would no longer match.
void growSizeField(QByteArray& cabinet, qsizetype block, qsizetype field) {
    const auto size = static_cast<uint16_t>(le(cabinet, block + field, 2) + 1);
    cabinet[block + field] = static_cast<char>(size & 0xFF);
    cabinet[block + field + 1] = static_cast<char>(size >> 8);
    cabinet.replace(block, 4, QByteArray(4, '\0'));
}

// gcab writes no reserved areas: the one folder's entry follows the 36-byte header.
constexpr qsizetype kFolderEntry = 36;
constexpr qsizetype kDataHeader = 8;

class CapturingSink final : public archiver::cab::DecodedSink {
public:
    void write(const void* data, size_t size) override {
        bytes.append(static_cast<const char*>(data), static_cast<qsizetype>(size));
    }
    QByteArray bytes;
};

struct Block {
    qsizetype at;  // of its header
    qsizetype stored;
};

class CabMszip : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library_.loaded());
        // Text and bytes that do not compress, so that frames hold dynamic, fixed and stored
        // deflate blocks.
        content_ = sampleContent(150000, 3);
        uint32_t state = 7;
        for (int i = 0; i < 40000; ++i) {
            state = state * 1103515245u + 12345u;
            content_.append(static_cast<char>(state >> 24));
        }
        content_ += QByteArray(50000, 'z');
        const QString path = scratch_.path(QStringLiteral("made.cab"));
        ASSERT_TRUE(makeCab(path, {{QStringLiteral("all.bin"), content_}}));
        cabinet_ = readFile(path);
        qsizetype at = le(cabinet_, kFolderEntry, 4);
        for (uint32_t i = 0; i < le(cabinet_, kFolderEntry + 4, 2); ++i) {
            blocks_.push_back({at, le(cabinet_, at + 4, 2)});
            at += kDataHeader + blocks_.back().stored;
        }
        ASSERT_GE(blocks_.size(), 7u);
    }

    // The fast path's answer on bytes, what it decoded, and the library's whole verdict.
    struct Answers {
        bool vouched;
        QByteArray decoded;
        int32_t verdict;
    };
    Answers answers(const QByteArray& bytes) {
        const QString path = scratch_.path(QStringLiteral("case.cab"));
        writeFile(path, bytes);
        archiver::InputFile file;
        EXPECT_EQ(file.open(path.toUtf8().constData()), VARNELT_ARC_OK);
        CapturingSink sink;
        const archiver::cab::FolderData folder{static_cast<uint64_t>(blocks_.front().at),
                                               static_cast<uint32_t>(blocks_.size())};
        const bool vouched = archiver::cab::mszipFolderIntact(file, folder, 0, sink);
        return {vouched, sink.bytes, library_.test(path)};
    }

    QByteArray content_;
    QByteArray cabinet_;
    std::vector<Block> blocks_;
    ScratchDir scratch_;
    BoundLibrary library_{LibraryUnderTest{"libcab32.so", "Cab", nullptr}};
};

TEST_F(CabMszip, ChecksumsAreTheWritersAndEveryFrameDecodesToTheContent) {
    for (const Block& block : blocks_) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(cabinet_.constData());
        EXPECT_EQ(
            archiver::cab::blockChecksum(bytes + block.at + kDataHeader,
                                         static_cast<size_t>(block.stored), bytes + block.at + 4),
            le(cabinet_, block.at, 4))
            << "block at " << block.at;
    }
    const Answers made = answers(cabinet_);
    EXPECT_TRUE(made.vouched);
    EXPECT_EQ(made.decoded, content_);
    EXPECT_EQ(made.verdict, 0);
}

// A flipped byte in the first, a middle or the last frame: never vouched for, and libmspack's
// verdict stands. With the checksum zeroed only the decoder can notice, which it can in the
// frames of text and of runs (a stored frame of random bytes has nothing to notice).
TEST_F(CabMszip, DamagedFramesAreLeftToLibmspack) {
    const auto damage = [this](size_t index, bool zeroSum) {
        QByteArray damaged = cabinet_;
        const Block& block = blocks_[index];
        const qsizetype at = block.at + kDataHeader + 2 + (block.stored - 2) / 2;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x40);
        if (zeroSum) {
            damaged.replace(block.at, 4, QByteArray(4, '\0'));
        }
        const Answers got = answers(damaged);
        EXPECT_FALSE(got.vouched) << "block " << index << (zeroSum ? " unchecked" : "");
        EXPECT_NE(got.verdict, 0) << "block " << index << (zeroSum ? " unchecked" : "");
    };
    for (const size_t index : {size_t{0}, blocks_.size() / 2, blocks_.size() - 1}) {
        damage(index, false);
    }
    damage(0, true);
    damage(blocks_.size() - 1, true);
}

// libmspack looks for each frame's "CK" past any bytes before it; the fast path does not, so
// such a cabinet passes through libmspack alone.
TEST_F(CabMszip, ABlockWithBytesBeforeItsSignatureIsLeftToLibmspack) {
    QByteArray odd = cabinet_;
    const Block& first = blocks_.front();
    odd.insert(first.at + kDataHeader, 'x');
    growSizeField(odd, first.at, 4);
    const Answers got = answers(odd);
    EXPECT_FALSE(got.vouched);
    EXPECT_EQ(got.verdict, 0);
}

// A cut last frame, and a last frame whose plain size claims a byte more than it holds.
TEST_F(CabMszip, ShortOrOverclaimedFramesAreNotVouchedFor) {
    const Block& last = blocks_.back();
    QByteArray cut = cabinet_;
    cut.truncate(last.at + kDataHeader + last.stored / 2);
    EXPECT_FALSE(answers(cut).vouched);

    QByteArray overclaimed = cabinet_;
    growSizeField(overclaimed, last.at, 6);
    const Answers got = answers(overclaimed);
    EXPECT_FALSE(got.vouched);
    EXPECT_NE(got.verdict, 0);
}

}  // namespace
}  // namespace varnelt::test
