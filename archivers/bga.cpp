// libbga32: GZA and BZA archives. An archive is a chain of members, each a 28-byte header, the
// folder and file names, then the data: one gzip member, one bzip2 stream, or the bytes stored.
// The full test decodes every member, inflating or through libbz2, in fixed buffers, so memory
// stays constant whatever the archive's size.
#include <bzlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "backend.h"
#include "codec_faults.h"
#include "core.h"
#include "failure.h"
#include "inflate.h"
#include "little_endian.h"

namespace varnelt::archiver {
namespace {

constexpr size_t kHeaderSize = 28;
// Decoder input and output chunks: large enough that the decoders run in long stretches,
// small enough to keep every test at a fixed few hundred kilobytes.
constexpr size_t kChunkSize = size_t{1} << 17;
// A self-extracting archive puts a Windows extractor in front of the first member. Such stubs
// weigh tens to a few hundred kilobytes; 1 MiB leaves room for the largest while keeping the
// scan of a big executable that holds no archive short.
constexpr uint64_t kSfxScanWindow = uint64_t{1} << 20;

enum class Method { Gzip, Bzip2, Unknown };

Method methodAt(const unsigned char* p) {
    if (std::memcmp(p, "GZIP", 4) == 0) {
        return Method::Gzip;
    }
    if (std::memcmp(p, "BZ2\0", 4) == 0) {
        return Method::Bzip2;
    }
    return Method::Unknown;
}

// Header bytes 4 to 27 and the names, each taken as a signed char: bytes of 0x80 and above
// (Shift-JIS lead bytes) count negative.
uint32_t headerChecksum(const unsigned char* header, std::string_view names) {
    uint32_t sum = 0;
    const auto add = [&sum](unsigned char byte) {
        sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(byte)));
    };
    std::for_each(header + 4, header + kHeaderSize, add);
    for (const char c : names) {
        add(static_cast<unsigned char>(c));
    }
    return sum;
}

// Arc type 0 leaves the choice to the name: a file that is itself compressed, whose sizes
// are equal, was kept as it is.
bool storedByName(std::string_view names) {
    static constexpr std::array<std::string_view, 17> kExtensions = {
        ".arc", ".arj", ".bz2", ".bza", ".cab", ".gz", ".gza", ".lzh", ".lzs",
        ".pak", ".rar", ".taz", ".tbz", ".tgz", ".z",  ".zip", ".zoo"};
    // '.' is never the second byte of a Shift-JIS character, so an ASCII suffix match cannot
    // start inside one.
    return std::any_of(kExtensions.begin(), kExtensions.end(), [names](std::string_view ext) {
        return names.size() >= ext.size() &&
               std::equal(ext.begin(), ext.end(), names.end() - ext.size(), [](char a, char b) {
                   return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
               });
    });
}

// A read position over the opened file.
class ArchiveFile {
public:
    explicit ArchiveFile(const InputFile& file)
        : file_(file), size_(static_cast<uint64_t>(std::max<int64_t>(file.size(), 0))) {}
    uint64_t size() const { return size_; }
    bool seek(uint64_t offset) {
        if (offset > size_) {
            return false;
        }
        position_ = offset;
        return true;
    }
    // Exactly length bytes, or false.
    bool read(void* buffer, size_t length) {
        if (!file_.readAt(buffer, length, position_)) {
            return false;
        }
        position_ += length;
        return true;
    }
    size_t readSome(void* buffer, size_t length) {
        const ptrdiff_t got = file_.readSomeAt(buffer, length, position_);
        if (got <= 0) {
            return 0;
        }
        position_ += static_cast<uint64_t>(got);
        return static_cast<size_t>(got);
    }

private:
    const InputFile& file_;
    uint64_t size_;
    uint64_t position_ = 0;
};

struct Member {
    uint64_t offset = 0;  // of the header
    uint64_t number = 0;  // its place in the archive, from 1
    Method method = Method::Unknown;
    uint32_t compressedSize = 0;
    uint32_t originalSize = 0;
    uint16_t arcType = 0;
    std::string names;  // folder name then file name, as stored
    uint64_t dataOffset() const { return offset + kHeaderSize + names.size(); }
    uint64_t end() const { return dataOffset() + compressedSize; }
    // Records what is wrong with this member, naming it, and answers code.
    int32_t fail(int32_t code, std::string_view what) const {
        return failWith(code, inEntry(what, storedNameToUtf8(names, true), number));
    }
};

// The method field as text, for a reason: its printable characters.
std::string methodText(const unsigned char* p) {
    std::string text;
    for (const unsigned char c : std::string_view(reinterpret_cast<const char*>(p), 4)) {
        if (c > ' ' && c < 0x7F) {
            text += static_cast<char>(c);
        }
    }
    return text;
}

// Reads and verifies the header at offset of the member numbered number. The first member of a
// plain archive answers NOT_ARC_FILE when nothing there looks like a header; later ones answer
// why the chain broke.
int32_t readMember(ArchiveFile& file, uint64_t offset, bool first, uint64_t number,
                   Member& member) {
    const auto cut = [number] {
        return failWith(VARNELT_ARC_ERROR_EOF, inEntry("unexpected end of archive", {}, number));
    };
    unsigned char header[kHeaderSize];
    if (offset > file.size() || file.size() - offset < kHeaderSize) {
        return first ? VARNELT_ARC_ERROR_NOT_ARC_FILE : cut();
    }
    if (!file.seek(offset) || !file.read(header, kHeaderSize)) {
        return VARNELT_ARC_ERROR_CANNOT_READ;
    }
    const Method method = methodAt(header + 4);
    const uint64_t namesLength = uint64_t{le16(header + 24)} + le16(header + 26);
    if (file.size() - offset - kHeaderSize < namesLength) {
        return first && method == Method::Unknown ? VARNELT_ARC_ERROR_NOT_ARC_FILE : cut();
    }
    member.names.resize(namesLength);  // two 16-bit lengths: 128 KiB at most
    if (!file.read(member.names.data(), member.names.size())) {
        return VARNELT_ARC_ERROR_CANNOT_READ;
    }
    member.number = number;
    const bool checksumOk = headerChecksum(header, member.names) == le32(header);
    if (method == Method::Unknown) {
        if (checksumOk) {
            return member.fail(VARNELT_ARC_ERROR_METHOD,
                               "unsupported method " + methodText(header + 4));
        }
        return first ? VARNELT_ARC_ERROR_NOT_ARC_FILE
                     : failWith(VARNELT_ARC_ERROR_HEADER_BROKEN,
                                inEntry("damaged header", {}, number));
    }
    if (!checksumOk) {
        return member.fail(VARNELT_ARC_ERROR_HEADER_CRC, "header checksum mismatch");
    }
    member.offset = offset;
    member.method = method;
    member.compressedSize = le32(header + 8);
    member.originalSize = le32(header + 12);
    member.arcType = le16(header + 22);
    return VARNELT_ARC_OK;
}

// The first member: at the start of a plain archive, or behind an executable stub at the
// first offset where a method and a verified checksum meet.
int32_t findFirstMember(ArchiveFile& file, Member& member) {
    unsigned char head[2] = {};
    if (!file.seek(0) || file.readSome(head, 2) != 2 || head[0] != 'M' || head[1] != 'Z') {
        return readMember(file, 0, true, 1, member);
    }
    std::vector<unsigned char> buffer(kChunkSize);
    uint64_t chunkStart = 4;  // where the method of a header at offset 0 lies
    while (chunkStart - 4 <= kSfxScanWindow && file.seek(chunkStart)) {
        const size_t length = file.readSome(buffer.data(), buffer.size());
        if (length < 4) {
            break;
        }
        for (size_t i = 0; i + 4 <= length; ++i) {
            const uint64_t offset = chunkStart + i - 4;
            if (offset > kSfxScanWindow) {
                break;
            }
            if ((buffer[i] == 'G' || buffer[i] == 'B') && methodAt(&buffer[i]) != Method::Unknown &&
                readMember(file, offset, false, 1, member) == VARNELT_ARC_OK) {
                return VARNELT_ARC_OK;
            }
        }
        chunkStart += length - 3;  // the last three bytes may start a method split by the chunk
    }
    return VARNELT_ARC_ERROR_NOT_ARC_FILE;
}

struct Buffers {
    std::vector<unsigned char> in = std::vector<unsigned char>(kChunkSize);
    std::vector<unsigned char> out = std::vector<unsigned char>(kChunkSize);
};

// Both decoders feed the member's compressed bytes through the buffers until the stream ends;
// it must end exactly at the compressed size and yield exactly the original size. Output past
// the original size stops the decoding at once, so a small member cannot keep it busy.
class GzipDecoder {
public:
    // One gzip member, its header read and the CRC-32 and length in its trailer checked.
    int32_t decode(ArchiveFile& file, const Member& member, Buffers& buffers) {
        if (used_ && !inflater_.reset()) {
            return VARNELT_ARC_ERROR_ENOUGH_MEMORY;
        }
        used_ = true;
        uint64_t remaining = member.compressedSize;
        uint64_t produced = 0;
        std::span<const uint8_t> pending;
        for (;;) {
            if (pending.empty() && remaining > 0) {
                const size_t length =
                    static_cast<size_t>(std::min<uint64_t>(remaining, kChunkSize));
                if (!file.read(buffers.in.data(), length)) {
                    return member.fail(VARNELT_ARC_ERROR_EOF, "unexpected end of archive");
                }
                pending = std::span<const uint8_t>(buffers.in.data(), length);
                remaining -= length;
            }
            const DecodeStep step = inflater_.decode(pending, remaining == 0, buffers.out);
            pending = pending.subspan(step.consumed);
            produced += step.produced;
            if (produced > member.originalSize) {
                // No need to inflate the rest of a lie.
                return member.fail(VARNELT_ARC_ERROR_FILE_CRC, "data longer than its size");
            }
            if (step.status == DecodeStatus::End) {
                break;
            }
            if (step.status == DecodeStatus::NoMemory) {
                return VARNELT_ARC_ERROR_ENOUGH_MEMORY;
            }
            if (step.status != DecodeStatus::More) {
                return member.fail(VARNELT_ARC_ERROR_FILE_CRC, inflater_.fault());
            }
            if (pending.empty() && remaining == 0 && step.produced < buffers.out.size()) {
                return member.fail(VARNELT_ARC_ERROR_FILE_CRC, "compressed data ends early");
            }
        }
        if (!pending.empty() || remaining != 0) {
            return member.fail(VARNELT_ARC_ERROR_HEADER_BROKEN,
                               "compressed data ends before its size");
        }
        return produced == member.originalSize
                   ? VARNELT_ARC_OK
                   : member.fail(VARNELT_ARC_ERROR_FILE_CRC, "data shorter than its size");
    }

private:
    Inflater inflater_{InflateFormat::Gzip};
    bool used_ = false;
};

// libbz2 has no reset, so each member gets a stream of its own.
class Bzip2Stream {
public:
    Bzip2Stream() { ready_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK; }
    Bzip2Stream(const Bzip2Stream&) = delete;
    Bzip2Stream& operator=(const Bzip2Stream&) = delete;
    ~Bzip2Stream() {
        if (ready_) {
            BZ2_bzDecompressEnd(&stream_);
        }
    }
    bool ready() const { return ready_; }
    bz_stream& get() { return stream_; }

private:
    bz_stream stream_{};
    bool ready_ = false;
};

// One bzip2 stream: libbz2 checks every block's CRC and the stream's combined CRC before it
// answers BZ_STREAM_END.
int32_t decodeBzip2(ArchiveFile& file, const Member& member, Buffers& buffers) {
    Bzip2Stream holder;
    if (!holder.ready()) {
        return VARNELT_ARC_ERROR_ENOUGH_MEMORY;
    }
    bz_stream& stream = holder.get();
    uint64_t remaining = member.compressedSize;
    uint64_t produced = 0;
    for (;;) {
        if (stream.avail_in == 0 && remaining > 0) {
            const size_t length = static_cast<size_t>(std::min<uint64_t>(remaining, kChunkSize));
            if (!file.read(buffers.in.data(), length)) {
                return member.fail(VARNELT_ARC_ERROR_EOF, "unexpected end of archive");
            }
            stream.next_in = reinterpret_cast<char*>(buffers.in.data());
            stream.avail_in = static_cast<unsigned>(length);
            remaining -= length;
        }
        stream.next_out = reinterpret_cast<char*>(buffers.out.data());
        stream.avail_out = static_cast<unsigned>(kChunkSize);
        const int rc = BZ2_bzDecompress(&stream);
        produced += kChunkSize - stream.avail_out;
        if (produced > member.originalSize) {
            return member.fail(VARNELT_ARC_ERROR_FILE_CRC, "data longer than its size");
        }
        if (rc == BZ_STREAM_END) {
            break;
        }
        if (rc == BZ_MEM_ERROR) {
            return VARNELT_ARC_ERROR_ENOUGH_MEMORY;
        }
        if (rc != BZ_OK) {
            return member.fail(VARNELT_ARC_ERROR_FILE_CRC, bunzip2Fault(rc));
        }
        if (stream.avail_in == 0 && remaining == 0 && stream.avail_out != 0) {
            return member.fail(VARNELT_ARC_ERROR_FILE_CRC, "compressed data ends early");
        }
    }
    if (stream.avail_in != 0 || remaining != 0) {
        return member.fail(VARNELT_ARC_ERROR_HEADER_BROKEN, "compressed data ends before its size");
    }
    return produced == member.originalSize
               ? VARNELT_ARC_OK
               : member.fail(VARNELT_ARC_ERROR_FILE_CRC, "data shorter than its size");
}

class MemberDecoder {
public:
    int32_t verify(ArchiveFile& file, const Member& member) {
        if (member.end() > file.size()) {
            return member.fail(VARNELT_ARC_ERROR_EOF, "unexpected end of archive");
        }
        bool stored = false;
        switch (member.arcType) {
            case 1:
                break;
            case 2:
                stored = true;
                break;
            case 0:
                stored = member.compressedSize == member.originalSize && storedByName(member.names);
                break;
            default:
                return member.fail(VARNELT_ARC_ERROR_METHOD,
                                   "unsupported arc type " + std::to_string(member.arcType));
        }
        if (stored) {
            // No checksum covers stored bytes: the sizes are all there is to check.
            return member.compressedSize == member.originalSize
                       ? VARNELT_ARC_OK
                       : member.fail(VARNELT_ARC_ERROR_HEADER_BROKEN, "stored sizes disagree");
        }
        if (member.compressedSize == 0 && member.originalSize == 0) {
            return VARNELT_ARC_OK;  // an empty file or a folder written without any data
        }
        if (!file.seek(member.dataOffset())) {
            return VARNELT_ARC_ERROR_CANNOT_READ;
        }
        return member.method == Method::Gzip ? gzip_.decode(file, member, buffers_)
                                             : decodeBzip2(file, member, buffers_);
    }

private:
    Buffers buffers_;
    GzipDecoder gzip_;
};

class BgaBackend final : public Backend {
public:
    int32_t test(const InputFile& input) const override {
        ArchiveFile file(input);
        Member member;
        if (const int32_t first = findFirstMember(file, member); first != VARNELT_ARC_OK) {
            return first;
        }
        MemberDecoder decoder;
        for (;;) {
            const int32_t verified = decoder.verify(file, member);
            if (verified != VARNELT_ARC_OK || member.end() == file.size()) {
                return verified;
            }
            if (const int32_t next =
                    readMember(file, member.end(), false, member.number + 1, member);
                next != VARNELT_ARC_OK) {
                return next;
            }
        }
    }

    // 1 for an intact GZA, 2 for an intact BZA, as the first member's method tells.
    int32_t passAnswer(const InputFile& input) const override {
        ArchiveFile file(input);
        Member member;
        return findFirstMember(file, member) == VARNELT_ARC_OK && member.method == Method::Bzip2
                   ? 2
                   : 1;
    }

    // Headers only: each member's data is stepped over, never read.
    int32_t countEntries(const InputFile& input) const override {
        ArchiveFile file(input);
        Member member;
        if (findFirstMember(file, member) != VARNELT_ARC_OK) {
            return -1;
        }
        int32_t count = 1;
        for (;;) {
            const uint64_t next = member.end();
            if (next == file.size()) {
                return count;
            }
            if (next > file.size() || count == INT32_MAX ||
                readMember(file, next, false, member.number + 1, member) != VARNELT_ARC_OK) {
                return -1;
            }
            ++count;
        }
    }

    std::unique_ptr<ArchiveSession> open(const InputFile& input) const override {
        ArchiveFile file(input);
        Member member;
        if (findFirstMember(file, member) != VARNELT_ARC_OK) {
            return nullptr;
        }
        return std::make_unique<ArchiveSession>(storedNameToUtf8(member.names, true),
                                                member.offset > 0);
    }
};

}  // namespace

const Backend& formatBackend() {
    static const BgaBackend backend;
    return backend;
}

}  // namespace varnelt::archiver
