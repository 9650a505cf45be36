// The Deflate64 decoder on its own: the parts in which Deflate64 differs from Deflate, in
// streams written bit by bit here; streams of 7-Zip's encoder; streaming in pieces of any size;
// and streams that must be refused.
#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <vector>

#include "archivers/deflate64.h"
#include "tests/support/scratch.h"
#include "tests/support/zip_writer.h"

namespace varnelt::test {
namespace {

using archiver::DecodeStatus;
using archiver::Deflate64Decoder;

// Deflate's bit order: fields from their low bit, Huffman codes from their high bit.
class BitWriter {
public:
    void field(uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            bit((value >> i) & 1);
        }
    }
    void code(uint32_t value, unsigned length) {
        for (unsigned i = length; i-- > 0;) {
            bit((value >> i) & 1);
        }
    }
    // The fixed code of a literal/length symbol, then a field of extra bits.
    void symbol(unsigned value, uint32_t extra = 0, unsigned extraBits = 0) {
        if (value < 144) {
            code(0x30 + value, 8);
        } else if (value < 256) {
            code(0x190 + value - 144, 9);
        } else if (value < 280) {
            code(value - 256, 7);
        } else {
            code(0xC0 + value - 280, 8);
        }
        field(extra, extraBits);
    }
    void distance(unsigned value, uint32_t extra, unsigned extraBits) {
        code(value, 5);
        field(extra, extraBits);
    }
    void storedBlock(const QByteArray& data, bool final) {
        field(final ? 1 : 0, 1);
        field(0, 2);
        if (used_ > 0) {
            bytes_.append(static_cast<char>(partial_));
            partial_ = 0;
            used_ = 0;
        }
        field(static_cast<uint32_t>(data.size()), 16);
        field(static_cast<uint32_t>(~data.size() & 0xFFFF), 16);
        bytes_ += data;
    }
    QByteArray finish() {
        if (used_ > 0) {
            bytes_.append(static_cast<char>(partial_));
        }
        return bytes_;
    }

private:
    void bit(uint32_t value) {
        partial_ |= value << used_;
        if (++used_ == 8) {
            bytes_.append(static_cast<char>(partial_));
            partial_ = 0;
            used_ = 0;
        }
    }
    QByteArray bytes_;
    uint32_t partial_ = 0;
    unsigned used_ = 0;
};

struct Match {
    uint32_t length;
    uint32_t distance;
};

// What a match does to the output, for the expected results.
void applyMatch(QByteArray& output, const Match& match) {
    for (uint32_t i = 0; i < match.length; ++i) {
        output.append(output.at(output.size() - match.distance));
    }
}

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QRandomGenerator generator(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator.bounded(256));
    }
    return bytes;
}

struct Decoded {
    QByteArray output;
    DecodeStatus status = DecodeStatus::More;
    size_t consumed = 0;
};

// Feeds the stream in pieces of inputPiece bytes (more when the decoder asks for them) into an
// output of outputPiece bytes.
Decoded decode(const QByteArray& stream, size_t inputPiece, size_t outputPiece) {
    Deflate64Decoder decoder;
    Decoded result;
    std::vector<uint8_t> output(outputPiece);
    const auto* bytes = reinterpret_cast<const uint8_t*>(stream.constData());
    const auto size = static_cast<size_t>(stream.size());
    size_t offered = inputPiece;
    for (int guard = 0; guard < 50'000'000; ++guard) {
        const size_t count = std::min(offered, size - result.consumed);
        const bool last = result.consumed + count == size;
        const auto step = decoder.decode({bytes + result.consumed, count}, last, output);
        result.consumed += step.consumed;
        result.output.append(reinterpret_cast<const char*>(output.data()),
                             static_cast<qsizetype>(step.produced));
        if (step.status != DecodeStatus::More) {
            result.status = step.status;
            return result;
        }
        const bool stuck = step.consumed == 0 && step.produced == 0;
        if (stuck && last) {
            ADD_FAILURE() << "the decoder asks for input after the last byte";
            return result;
        }
        offered = stuck ? count + 1 : inputPiece;
    }
    ADD_FAILURE() << "no end";
    return result;
}

// A fixed block with a literal, then the matches given as (symbol, extra) pairs.
struct CodedMatch {
    Match match;
    unsigned lengthSymbol;
    uint32_t lengthExtra;
    unsigned lengthBits;
    unsigned distanceSymbol;
    uint32_t distanceExtra;
    unsigned distanceBits;
};

void writeMatches(BitWriter& writer, QByteArray& expected, const QList<CodedMatch>& matches) {
    for (const CodedMatch& coded : matches) {
        writer.symbol(coded.lengthSymbol, coded.lengthExtra, coded.lengthBits);
        writer.distance(coded.distanceSymbol, coded.distanceExtra, coded.distanceBits);
        applyMatch(expected, coded.match);
    }
}

TEST(Deflate64, LengthSymbol285CarriesSixteenBitsOnBaseThree) {
    for (const uint32_t extra : {0u, 997u, 0xFFFFu}) {
        SCOPED_TRACE(extra);
        BitWriter writer;
        writer.field(1, 1);  // final
        writer.field(1, 2);  // fixed codes
        writer.symbol('a');
        QByteArray expected("a");
        writeMatches(writer, expected, {{{3 + extra, 1}, 285, extra, 16, 0, 0, 0}});
        writer.symbol(256);
        const Decoded decoded = decode(writer.finish(), 1 << 20, 1 << 20);
        EXPECT_EQ(decoded.status, DecodeStatus::End);
        EXPECT_EQ(decoded.output.size(), 4 + qsizetype{extra});
        EXPECT_EQ(decoded.output, expected);
    }
}

// Two stored blocks fill more than the whole window, then distance symbols 30 and 31 reach
// into it, up to the full 65536 bytes.
QByteArray farDistances(QByteArray& expected) {
    const QByteArray first = randomBytes(60000, 1);
    const QByteArray second = randomBytes(6000, 2);
    BitWriter writer;
    writer.storedBlock(first, false);
    writer.storedBlock(second, false);
    expected = first + second;
    writer.field(1, 1);
    writer.field(1, 2);
    writeMatches(writer, expected,
                 {{{10, 40000}, 264, 0, 0, 30, 40000 - 32769, 14},
                  {{18, 60000}, 268, 1, 1, 31, 60000 - 49153, 14},
                  {{3, 65536}, 257, 0, 0, 31, 65536 - 49153, 14},
                  {{258, 32769}, 284, 31, 5, 30, 0, 14}});
    writer.symbol(256);
    return writer.finish();
}

TEST(Deflate64, DistanceSymbols30And31ReachTheWholeWindow) {
    QByteArray expected;
    const QByteArray stream = farDistances(expected);
    const Decoded decoded = decode(stream, 1 << 20, 1 << 20);
    EXPECT_EQ(decoded.status, DecodeStatus::End);
    EXPECT_EQ(decoded.consumed, static_cast<size_t>(stream.size()));
    EXPECT_EQ(decoded.output, expected);
}

// 7-Zip's encoder: a file with repeats further apart than Deflate's 32 KiB window.
QByteArray sevenZipStream(const ScratchDir& scratch, const QByteArray& content) {
    const QString staging = scratch.path(QStringLiteral("in"));
    writeFile(scratch.path(QStringLiteral("content.bin")), content);
    const QString archive = scratch.path(QStringLiteral("d64.zip"));
    if (!runTool(QStringLiteral("7zz"),
                 {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-tzip"),
                  QStringLiteral("-mm=Deflate64"), QStringLiteral("-mx=9"), archive,
                  QStringLiteral("content.bin")},
                 scratch.root())) {
        return {};
    }
    return zip::entryBytes(readFile(archive), 0);
}

QByteArray farRepeats() {
    const QByteArray block = randomBytes(20000, 3);
    return block + sampleContent(30000, 4) + block + randomBytes(9000, 5) + block +
           sampleContent(200000, 6);
}

TEST(Deflate64, StreamsDecodeTheSameInPiecesOfAnySize) {
    ScratchDir scratch;
    const QByteArray content = farRepeats();
    const QByteArray stream = sevenZipStream(scratch, content);
    ASSERT_FALSE(stream.isEmpty());
    QByteArray far;
    const QByteArray handMade = farDistances(far);
    const struct {
        const char* label;
        QByteArray stream;
        QByteArray expected;
    } streams[] = {{"7-Zip", stream, content}, {"hand-made", handMade, far}};
    for (const auto& s : streams) {
        for (const auto& [inputPiece, outputPiece] :
             {std::pair<size_t, size_t>{1, 1}, {7, 3}, {13, 4096}, {4096, 1}, {1 << 20, 1 << 20}}) {
            SCOPED_TRACE(testing::Message() << s.label << " " << inputPiece << "/" << outputPiece);
            const Decoded decoded = decode(s.stream, inputPiece, outputPiece);
            EXPECT_EQ(decoded.status, DecodeStatus::End);
            EXPECT_EQ(decoded.consumed, static_cast<size_t>(s.stream.size()));
            EXPECT_TRUE(decoded.output == s.expected);
        }
    }
}

TEST(Deflate64, BytesAfterTheLastBlockAreLeftUnconsumed) {
    ScratchDir scratch;
    const QByteArray stream = sevenZipStream(scratch, farRepeats());
    ASSERT_FALSE(stream.isEmpty());
    for (const size_t piece : {size_t{1}, size_t{5}, size_t{1} << 20}) {
        SCOPED_TRACE(piece);
        const Decoded decoded = decode(stream + "trailing", piece, 4096);
        EXPECT_EQ(decoded.status, DecodeStatus::End);
        EXPECT_EQ(decoded.consumed, static_cast<size_t>(stream.size()));
    }
}

// A dynamic block for "aaa": literal 'a' and the end of block under the code lengths given,
// one distance code, and a code-length code over the symbols 18, 0, 1 and 2 (lengths 1, 2, 3,
// 3, which fill the code exactly, unless overSubscribed gives 0 one bit too).
QByteArray dynamicBlock(unsigned literalLength, unsigned endLength, bool overSubscribed) {
    BitWriter writer;
    writer.field(1, 1);
    writer.field(2, 2);
    writer.field(0, 5);  // 257 literal/length codes
    writer.field(0, 5);  // 1 distance code
    writer.field(
        14, 4);  // 18 code-length lengths, in the order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1
    const unsigned zeroLength = overSubscribed ? 1 : 2;
    for (const unsigned length :
         {0u, 0u, 1u, zeroLength, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 3u, 0u, 3u}) {
        writer.field(length, 3);
    }
    // Canonical codes: 18 "0", 0 "10", 1 "110", 2 "111".
    const auto length = [&writer](unsigned value) { writer.code(value == 1 ? 6 : 7, 3); };
    const auto zeros = [&writer](unsigned count) {
        writer.code(0, 1);
        writer.field(count - 11, 7);
    };
    zeros(97);
    length(literalLength);
    zeros(138);
    zeros(20);
    length(endLength);
    length(1);  // the one distance code
    // With one-bit codes 'a' is "0" and the end of block "1".
    writer.code(0, 1);
    writer.code(0, 1);
    writer.code(0, 1);
    writer.code(1, 1);
    return writer.finish();
}

TEST(Deflate64, StreamsAreRefusedExactlyWhenInvalid) {
    const auto fixedBlock = [](unsigned distanceSymbol, unsigned lengthSymbol) {
        BitWriter writer;
        writer.field(1, 1);
        writer.field(1, 2);
        writer.symbol('a');
        writer.symbol('b');
        writer.symbol(lengthSymbol);
        writer.distance(distanceSymbol, 0, 0);
        writer.symbol(256);
        return writer.finish();
    };
    QByteArray far;
    const QByteArray farStream = farDistances(far);
    const struct {
        const char* label;
        QByteArray stream;
        DecodeStatus expected;
    } cases[] = {
        {"fixed block", fixedBlock(1, 257), DecodeStatus::End},
        {"distance before the start", fixedBlock(2, 257), DecodeStatus::Corrupt},
        {"literal/length symbol 286", fixedBlock(1, 286), DecodeStatus::Corrupt},
        {"stored block", QByteArray("\x01\x05\x00\xfa\xffhello", 10), DecodeStatus::End},
        {"stored length and complement disagree", QByteArray("\x01\x05\x00\x00\x00hello", 10),
         DecodeStatus::Corrupt},
        {"reserved block type", QByteArray("\x07\x00", 2), DecodeStatus::Corrupt},
        {"dynamic block", dynamicBlock(1, 1, false), DecodeStatus::End},
        {"over-subscribed code-length code", dynamicBlock(1, 1, true), DecodeStatus::Corrupt},
        {"incomplete literal code", dynamicBlock(2, 1, false), DecodeStatus::Corrupt},
        {"no end of block code", dynamicBlock(1, 0, false), DecodeStatus::Corrupt},
        {"cut before the end of block", farStream.left(farStream.size() - 2),
         DecodeStatus::Corrupt},
        {"empty", QByteArray(), DecodeStatus::Corrupt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        for (const size_t piece : {size_t{1}, size_t{1} << 20}) {
            EXPECT_EQ(decode(c.stream, piece, 4096).status, c.expected);
        }
    }
    EXPECT_EQ(decode(dynamicBlock(1, 1, false), 1, 1).output, QByteArray("aaa"));
}

}  // namespace
}  // namespace varnelt::test
