// The archivers' inflater against zlib, which it stands in for: streams of every block type and
// wrapping made here, and every deflate stream found in the ZIP, BGA and 7z fixtures, fed in
// pieces of 1, 3 and 64 KiB bytes of input and of output room. A pass must give zlib's output and
// end at zlib's byte; damaged streams must fail where zlib fails, and a gzip trailer's faults
// must read as zlib's do.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "archivers/codec_faults.h"
#include "archivers/inflate.h"

namespace varnelt::archiver {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kKiB = 1024;
constexpr size_t kOutputBound = 64 * kKiB * kKiB;
constexpr size_t kPieces[] = {1, 3, 64 * kKiB};

enum class Ending { Passed, Failed, RanOut };

struct Outcome {
    Ending ending = Ending::RanOut;
    size_t consumed = 0;
    Bytes output;
    std::string fault;
};

// Offers input piece by piece as the archivers do: bytes not consumed are offered again with
// more after them, and a step that takes and gives nothing is offered a longer piece.
Outcome inflateInPieces(std::span<const uint8_t> input, InflateFormat format, size_t inPiece,
                        size_t outPiece) {
    Inflater inflater(format);
    Outcome outcome;
    Bytes window(outPiece);
    size_t offered = inPiece;
    while (outcome.output.size() <= kOutputBound) {
        const std::span<const uint8_t> rest = input.subspan(outcome.consumed);
        const std::span<const uint8_t> piece = rest.first(std::min(offered, rest.size()));
        const DecodeStep step = inflater.decode(piece, piece.size() == rest.size(), window);
        outcome.consumed += step.consumed;
        outcome.output.insert(outcome.output.end(), window.begin(),
                              window.begin() + static_cast<ptrdiff_t>(step.produced));
        if (step.status == DecodeStatus::End) {
            outcome.ending = Ending::Passed;
            return outcome;
        }
        if (step.status != DecodeStatus::More) {
            outcome.ending = Ending::Failed;
            outcome.fault = inflater.fault();
            return outcome;
        }
        if (step.consumed > 0 || step.produced > 0) {
            offered = inPiece;
        } else if (piece.size() == rest.size()) {
            return outcome;
        } else {
            offered += inPiece;
        }
    }
    ADD_FAILURE() << "output past its bound";
    return outcome;
}

Outcome inflateWithZlib(std::span<const uint8_t> input, InflateFormat format) {
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, format == InflateFormat::Gzip ? 16 + MAX_WBITS : -MAX_WBITS),
              Z_OK);
    Outcome outcome;
    Bytes window(64 * kKiB);
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    for (;;) {
        stream.next_out = window.data();
        stream.avail_out = static_cast<uInt>(window.size());
        const int rc = inflate(&stream, Z_NO_FLUSH);
        outcome.output.insert(outcome.output.end(), window.data(), stream.next_out);
        if (rc == Z_STREAM_END) {
            outcome.ending = Ending::Passed;
            break;
        }
        if (rc == Z_DATA_ERROR) {
            outcome.ending = Ending::Failed;
            outcome.fault = inflateFault(stream.msg);
            break;
        }
        if (rc != Z_OK) {
            break;
        }
    }
    outcome.consumed = input.size() - stream.avail_in;
    inflateEnd(&stream);
    return outcome;
}

std::string describe(Ending ending) {
    return ending == Ending::Passed ? "passed" : ending == Ending::Failed ? "failed" : "ran out";
}

// The inflater in every combination of pieces against zlib; zlib's outcome, for more checks.
Outcome expectAsZlib(std::span<const uint8_t> input, InflateFormat format,
                     const std::string& label) {
    const Outcome reference = inflateWithZlib(input, format);
    for (const size_t inPiece : kPieces) {
        for (const size_t outPiece : kPieces) {
            if (std::min(inPiece, outPiece) == 1 && input.size() > 256 * kKiB) {
                continue;  // byte by byte is for the small streams; the large take minutes
            }
            const Outcome ours = inflateInPieces(input, format, inPiece, outPiece);
            const std::string where = label + ", pieces " + std::to_string(inPiece) + " in, " +
                                      std::to_string(outPiece) + " out";
            EXPECT_EQ(ours.ending == Ending::Passed, reference.ending == Ending::Passed)
                << where << ": " << describe(ours.ending) << " (" << ours.fault << "), zlib "
                << describe(reference.ending) << " (" << reference.fault << ")";
            if (ours.ending == Ending::Passed && reference.ending == Ending::Passed) {
                EXPECT_EQ(ours.consumed, reference.consumed) << where;
                EXPECT_TRUE(ours.output == reference.output) << where;
            }
        }
    }
    return reference;
}

Bytes textLike(size_t size, unsigned seed) {
    static const char* const kWords[] = {"entry", "the", "of",   "data",   "folder", "name", "size",
                                         "CRC",   "a",   "test", "header", "length", "\n"};
    std::mt19937 generator(seed);
    Bytes bytes;
    while (bytes.size() < size) {
        const char* word = kWords[generator() % std::size(kWords)];
        bytes.insert(bytes.end(), word, word + std::strlen(word));
        bytes.push_back(' ');
    }
    bytes.resize(size);
    return bytes;
}

Bytes noise(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    Bytes bytes(size);
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<uint8_t>(generator()); });
    return bytes;
}

struct Compression {
    const char* name;
    int level;
    int strategy;
    bool flushes = false;  // empty stored blocks from sync flushes between parts
};

// Stored, fixed and dynamic blocks, and the other shapes zlib's encoder writes.
const Compression kCompressions[] = {
    {"stored", 0, Z_DEFAULT_STRATEGY},  {"fixed", 6, Z_FIXED},
    {"dynamic", 6, Z_DEFAULT_STRATEGY}, {"fast", 1, Z_DEFAULT_STRATEGY},
    {"best", 9, Z_DEFAULT_STRATEGY},    {"huffman only", 6, Z_HUFFMAN_ONLY},
    {"run lengths", 6, Z_RLE},          {"flushed", 6, Z_DEFAULT_STRATEGY, true},
};

constexpr const char* kExtra = "extra field";
constexpr const char* kName = "docs/payload.txt";
constexpr const char* kComment = "a comment";

// gzip members carry a header with every optional field when header is set.
Bytes compress(const Bytes& data, const Compression& how, InflateFormat format,
               bool header = false) {
    z_stream stream{};
    const int bits = format == InflateFormat::Gzip ? 16 + MAX_WBITS : -MAX_WBITS;
    EXPECT_EQ(deflateInit2(&stream, how.level, Z_DEFLATED, bits, 8, how.strategy), Z_OK);
    std::string extra = kExtra;
    std::string name = kName;
    std::string comment = kComment;
    gz_header fields{};
    if (header) {
        fields.extra = reinterpret_cast<Bytef*>(extra.data());
        fields.extra_len = static_cast<uInt>(extra.size());
        fields.name = reinterpret_cast<Bytef*>(name.data());
        fields.comment = reinterpret_cast<Bytef*>(comment.data());
        fields.hcrc = 1;
        EXPECT_EQ(deflateSetHeader(&stream, &fields), Z_OK);
    }
    Bytes out(deflateBound(&stream, data.size()) + 64 * (data.size() / 1000 + 1));
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const size_t parts = how.flushes ? 4 : 1;
    for (size_t part = 0; part < parts; ++part) {
        const size_t begin = data.size() * part / parts;
        const size_t end = data.size() * (part + 1) / parts;
        stream.next_in = const_cast<Bytef*>(data.data() + begin);
        stream.avail_in = static_cast<uInt>(end - begin);
        EXPECT_NE(deflate(&stream, part + 1 == parts ? Z_FINISH : Z_SYNC_FLUSH), Z_STREAM_ERROR);
    }
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

struct Content {
    const char* name;
    Bytes bytes;
};

std::vector<Content> contents() {
    return {{"empty", {}},
            {"one byte", {'x'}},
            {"text", textLike(300 * kKiB, 1)},
            {"noise", noise(100 * kKiB, 2)},
            {"zeros", Bytes(200 * kKiB, 0)},
            {"large text", textLike(kKiB * kKiB, 3)}};
}

TEST(Inflate, MadeStreamsInflateAsWithZlib) {
    for (const Content& content : contents()) {
        for (const Compression& how : kCompressions) {
            for (const InflateFormat format : {InflateFormat::Raw, InflateFormat::Gzip}) {
                const std::string label = std::string(content.name) + ", " + how.name +
                                          (format == InflateFormat::Gzip ? ", gzip" : ", raw");
                const Bytes packed = compress(content.bytes, how, format);
                const Outcome reference = expectAsZlib(packed, format, label);
                ASSERT_EQ(reference.ending, Ending::Passed) << label;
                EXPECT_TRUE(reference.output == content.bytes) << label;
            }
        }
    }
}

TEST(Inflate, GzipHeaderFieldsAreReadAndChecked) {
    const Bytes data = textLike(20 * kKiB, 4);
    const Bytes member = compress(data, kCompressions[2], InflateFormat::Gzip, true);
    ASSERT_EQ(expectAsZlib(member, InflateFormat::Gzip, "every header field").ending,
              Ending::Passed);
    const size_t headerCrc =
        10 + 2 + std::strlen(kExtra) + std::strlen(kName) + 1 + std::strlen(kComment) + 1;
    ASSERT_LT(headerCrc + 2, member.size());
    // Magic, method, a reserved flag and the header's own CRC, each broken alone.
    for (const auto& [offset, value] :
         {std::pair<size_t, uint8_t>{1, 0x8C},
          {2, 7},
          {3, static_cast<uint8_t>(member[3] | 0x20)},
          {headerCrc, static_cast<uint8_t>(member[headerCrc] ^ 0x01)}}) {
        Bytes broken = member;
        broken[offset] = value;
        const std::string label = "header byte " + std::to_string(offset);
        const Outcome reference = expectAsZlib(broken, InflateFormat::Gzip, label);
        ASSERT_EQ(reference.ending, Ending::Failed) << label;
        for (const size_t piece : kPieces) {
            EXPECT_EQ(inflateInPieces(broken, InflateFormat::Gzip, piece, 64 * kKiB).fault,
                      reference.fault)
                << label;
        }
    }
}

TEST(Inflate, GzipTrailerFaultsReadAsZlibs) {
    const Bytes data = textLike(70 * kKiB, 5);
    const Bytes member = compress(data, kCompressions[2], InflateFormat::Gzip);
    for (const auto& [offset, expected] :
         {std::pair<size_t, const char*>{member.size() - 8, "CRC mismatch"},
          {member.size() - 5, "CRC mismatch"},
          {member.size() - 4, "size mismatch"},
          {member.size() - 1, "size mismatch"}}) {
        Bytes broken = member;
        broken[offset] ^= 0x10;
        const std::string label = "trailer byte " + std::to_string(member.size() - offset);
        const Outcome reference = expectAsZlib(broken, InflateFormat::Gzip, label);
        ASSERT_EQ(reference.fault, expected) << label;
        for (const size_t piece : kPieces) {
            const Outcome ours = inflateInPieces(broken, InflateFormat::Gzip, piece, piece);
            EXPECT_EQ(ours.ending, Ending::Failed) << label;
            EXPECT_EQ(ours.fault, expected) << label << ", pieces " << piece;
        }
    }
    // A wrong CRC is judged before the length arrives, as zlib judges it.
    Bytes cut(member.begin(), member.end() - 2);
    cut[cut.size() - 3] ^= 0x01;
    EXPECT_EQ(inflateInPieces(cut, InflateFormat::Gzip, 1, 1).fault, "CRC mismatch");
}

TEST(Inflate, DamagedStreamsFailAsWithZlib) {
    const Bytes data = textLike(200 * kKiB, 6);
    for (const Compression& how : {kCompressions[0], kCompressions[1], kCompressions[2]}) {
        for (const InflateFormat format : {InflateFormat::Raw, InflateFormat::Gzip}) {
            const Bytes packed = compress(data, how, format);
            const std::string label =
                std::string(how.name) + (format == InflateFormat::Gzip ? ", gzip" : ", raw");
            for (const size_t permille : {20, 500, 990}) {
                for (const uint8_t bit : {0x01, 0x40}) {
                    Bytes flipped = packed;
                    flipped[packed.size() * permille / 1000] ^= bit;
                    expectAsZlib(flipped, format,
                                 label + ", bit flipped at " + std::to_string(permille) + "‰");
                }
            }
            for (const size_t keep : {size_t{0}, size_t{1}, packed.size() / 2, packed.size() - 1}) {
                const std::span<const uint8_t> cut(packed.data(), keep);
                const Outcome reference =
                    expectAsZlib(cut, format, label + ", cut to " + std::to_string(keep));
                EXPECT_NE(reference.ending, Ending::Passed);
            }
            Bytes followed = packed;
            followed.insert(followed.end(), {'P', 'K', 3, 4, 0, 0});
            const Outcome reference = expectAsZlib(followed, format, label + ", bytes after it");
            EXPECT_EQ(reference.consumed, packed.size());
        }
    }
}

TEST(Inflate, GzipMembersBackToBackAfterReset) {
    const Bytes first = textLike(90 * kKiB, 7);
    const Bytes second = noise(10 * kKiB, 8);
    Bytes members = compress(first, kCompressions[2], InflateFormat::Gzip);
    const size_t firstSize = members.size();
    const Bytes tail = compress(second, kCompressions[1], InflateFormat::Gzip, true);
    members.insert(members.end(), tail.begin(), tail.end());

    Inflater inflater(InflateFormat::Gzip);
    Bytes window(64 * kKiB);
    for (const Bytes* expected : {&first, &second}) {
        Bytes output;
        size_t consumedBefore = 0;
        DecodeStep step;
        std::span<const uint8_t> rest(members);
        rest = rest.subspan(expected == &first ? 0 : firstSize);
        do {
            step = inflater.decode(rest.subspan(consumedBefore), true, window);
            consumedBefore += step.consumed;
            output.insert(output.end(), window.begin(),
                          window.begin() + static_cast<ptrdiff_t>(step.produced));
        } while (step.status == DecodeStatus::More && (step.consumed > 0 || step.produced > 0));
        ASSERT_EQ(step.status, DecodeStatus::End);
        EXPECT_EQ(consumedBefore, expected == &first ? firstSize : tail.size());
        EXPECT_TRUE(output == *expected);
        ASSERT_TRUE(inflater.reset());
    }
}

// The deflate streams in a fixture: each ZIP entry's data stored under Deflate, a 7z archive's
// first packed stream, and wherever a gzip member's first bytes appear (BGA's GZA members).
struct Candidate {
    size_t offset;
    InflateFormat format;
};

std::vector<Candidate> candidatesIn(const Bytes& file) {
    std::vector<Candidate> found;
    for (size_t i = 0; i + 30 <= file.size(); ++i) {
        if (std::memcmp(&file[i], "PK\3\4", 4) == 0 && file[i + 8] == 8 && file[i + 9] == 0) {
            const size_t header =
                30 + (file[i + 26] | file[i + 27] << 8) + (file[i + 28] | file[i + 29] << 8);
            if (i + header <= file.size()) {
                found.push_back({i + header, InflateFormat::Raw});
            }
        }
        if (file[i] == 0x1F && file[i + 1] == 0x8B && file[i + 2] == 8) {
            found.push_back({i, InflateFormat::Gzip});
        }
    }
    if (file.size() > 32 && std::memcmp(file.data(), "7z\xBC\xAF\x27\x1C", 6) == 0) {
        found.push_back({32, InflateFormat::Raw});
    }
    return found;
}

TEST(Inflate, FixtureStreamsInflateAsWithZlib) {
    const std::filesystem::path corpus = VARNELT_FUZZ_CORPUS;
    if (!std::filesystem::is_directory(corpus)) {
        GTEST_SKIP() << "no fuzz corpus in " << corpus;
    }
    size_t compared = 0;
    size_t passed = 0;
    for (const char* folder : {"unzip32", "bga32", "sevenzip32"}) {
        ASSERT_TRUE(std::filesystem::is_directory(corpus / folder)) << corpus / folder;
        for (const auto& entry : std::filesystem::directory_iterator(corpus / folder)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const Bytes file((std::istreambuf_iterator<char>(in)), {});
            for (const Candidate& candidate : candidatesIn(file)) {
                const std::span<const uint8_t> stream =
                    std::span<const uint8_t>(file).subspan(candidate.offset);
                const Outcome reference = expectAsZlib(
                    stream, candidate.format,
                    entry.path().filename().string() + " at " + std::to_string(candidate.offset));
                ++compared;
                passed += reference.ending == Ending::Passed ? 1 : 0;
            }
        }
    }
    // The corpora hold about two hundred deflate streams, most of them intact.
    EXPECT_GT(compared, 150U);
    EXPECT_GT(passed, 100U);
}

}  // namespace
}  // namespace varnelt::archiver
