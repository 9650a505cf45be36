// libunlha32: LZH archives. Headers (levels 0 to 3) are walked here, because liblhasa rewrites
// stored names (every 0x5C byte of a level-0/1 name becomes "/", even the second byte of a
// Shift-JIS character, and all-capital names are lowered) and cannot tell the end of an
// archive from a broken header. Entry data is decoded and checked by the program's own decoder
// for lh4 to lh7, which nearly every archive uses, and by liblhasa's decoders for the rest.
#include <lhasa.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backend.h"
#include "core.h"
#include "crc16.h"
#include "failure.h"
#include "little_endian.h"
#include "lzh_decoder.h"

namespace varnelt::archiver {
namespace {

// Windows self-extractors carry icons and dialogs; their stubs exceed liblhasa's 64 KiB search.
constexpr int64_t kSfxSearchWindow = 1 << 20;
// Level-1 extended headers are chained one by one; this bounds a malicious chain.
constexpr size_t kMaxHeaderSize = 1 << 20;
constexpr size_t kBaseHeaderSize = 22;

struct DecoderFree {
    void operator()(LHADecoder* decoder) const { lha_decoder_free(decoder); }
};

// "-lh?-", "-lz4-", "-lz5-", "-lzs-" or "-pm?-" at offset 2 of a header.
bool looksLikeHeader(const uint8_t* p) {
    if (p[2] != '-' || p[6] != '-') {
        return false;
    }
    if (p[3] == 'l' && p[4] == 'h') {
        return true;
    }
    if (p[3] == 'l' && p[4] == 'z') {
        return p[5] == '4' || p[5] == '5' || p[5] == 's';
    }
    return p[3] == 'p' && p[4] == 'm' && p[5] != 's';  // "-pms-" marks a PMarc stub
}

struct LzhEntry {
    char method[6] = {};
    int64_t dataOffset = 0;
    uint64_t compressedSize = 0;
    uint64_t originalSize = 0;
    uint16_t crc = 0;
    std::string rawName;  // folder part + file name as stored, 0xFF separators turned into "/"
    uint64_t number = 0;  // its place in the archive, from 1
    bool isDirectory() const { return std::strcmp(method, "-lhd-") == 0; }
    // Records what is wrong with this entry, naming it, and answers code.
    int32_t fail(int32_t code, std::string_view what) const {
        return failWith(code, inEntry(what, storedNameToUtf8(rawName, true), number));
    }
};

enum class Step { Entry, End };

// Walks the headers of one archive, never its data.
class HeaderWalker {
public:
    explicit HeaderWalker(const InputFile& file) : file_(file), fileSize_(file.size()) {}

    int32_t open() {
        uint8_t head[kBaseHeaderSize] = {};
        const ptrdiff_t got = file_.readSomeAt(head, sizeof head, 0);
        if (got >= 2 && head[0] == 'M' && head[1] == 'Z') {
            executable_ = true;
            return findBehindStub();
        }
        // A plain archive starts with its first header; scanning further would take any file
        // that merely contains an LZH archive for one.
        if (got < static_cast<ptrdiff_t>(sizeof head) || !looksLikeHeader(head)) {
            return VARNELT_ARC_ERROR_NOT_ARC_FILE;
        }
        LzhEntry entry;
        return readHeaderAt(0, entry);
    }

    // The next entry's header, or the end of the archive.
    int32_t next(LzhEntry& entry, Step& step) {
        if (position_ >= fileSize_) {
            return fault(VARNELT_ARC_ERROR_EOF, "unexpected end of archive");  // no end mark
        }
        uint8_t first = 0;
        if (!file_.readAt(&first, 1, static_cast<uint64_t>(position_))) {
            return VARNELT_ARC_ERROR_CANNOT_READ;
        }
        if (first == 0) {
            step = Step::End;  // whatever follows the end mark is not part of the archive
            return VARNELT_ARC_OK;
        }
        step = Step::Entry;
        const int32_t rc = readHeaderAt(position_, entry);
        if (rc == VARNELT_ARC_OK) {
            position_ = entry.dataOffset + static_cast<int64_t>(entry.compressedSize);
            ++entries_;
        }
        return rc;
    }

    // True when the archive sits behind an executable stub.
    bool behindStub() const { return executable_ && start_ > 0; }

private:
    // Records a fault of the header being read, which cannot be named yet, and answers code.
    int32_t fault(int32_t code, std::string_view what) const {
        return failWith(code, inEntry(what, {}, entries_ + 1));
    }

    int32_t findBehindStub() {
        const int64_t limit = std::min(fileSize_, kSfxSearchWindow);
        std::vector<uint8_t> window(static_cast<size_t>(limit));
        if (!file_.readAt(window.data(), window.size(), 0)) {
            return VARNELT_ARC_ERROR_CANNOT_READ;
        }
        for (size_t at = 0; at + kBaseHeaderSize <= window.size(); ++at) {
            if (!looksLikeHeader(window.data() + at)) {
                continue;
            }
            // The header must check out and its data must fit in the file: a stub may hold
            // the bytes of a header by chance.
            LzhEntry entry;
            if (readHeaderAt(static_cast<int64_t>(at), entry) == VARNELT_ARC_OK) {
                return VARNELT_ARC_OK;
            }
        }
        return VARNELT_ARC_ERROR_NOT_ARC_FILE;
    }

    // Reads bytes [from, to) of the header into header_, which already holds [0, from).
    bool readMore(int64_t headerStart, size_t to) {
        if (to > kMaxHeaderSize) {
            return false;
        }
        const size_t from = header_.size();
        if (to <= from) {
            return true;
        }
        header_.resize(to);
        return file_.readAt(header_.data() + from, to - from,
                            static_cast<uint64_t>(headerStart) + from);
    }

    // Parses the header at offset; on success the walker continues after its data.
    int32_t readHeaderAt(int64_t offset, LzhEntry& entry) {
        header_.clear();
        if (!readMore(offset, kBaseHeaderSize)) {
            return fault(VARNELT_ARC_ERROR_EOF, "unexpected end of archive");
        }
        if (!looksLikeHeader(header_.data())) {
            return fault(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged header");
        }
        std::memcpy(entry.method, header_.data() + 2, 5);
        entry.method[5] = '\0';
        entry.compressedSize = le32(&header_[7]);
        entry.originalSize = le32(&header_[11]);
        entry.number = entries_ + 1;
        int32_t rc = VARNELT_ARC_ERROR_HEADER_BROKEN;
        switch (header_[20]) {
            case 0:
            case 1:
                rc = parseLevel01(offset, entry);
                break;
            case 2:
                rc = parseLevel23(offset, entry, le16(&header_[0]), 24, 2);
                break;
            case 3:
                rc = le16(&header_[0]) == 4 && readMore(offset, 28)
                         ? parseLevel23(offset, entry, le32(&header_[24]), 28, 4)
                         : fault(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged header");
                break;
            default:
                rc = fault(VARNELT_ARC_ERROR_HEADER_BROKEN,
                           "unknown header level " + std::to_string(header_[20]));
                break;
        }
        if (rc != VARNELT_ARC_OK) {
            return rc;
        }
        // Some tools separate folders with 0xFF in the file name too. It is no byte of
        // Shift-JIS or UTF-8, so it can be turned into "/" before the name is decoded.
        std::replace(entry.rawName.begin(), entry.rawName.end(), '\xFF', '/');
        if (entry.dataOffset + static_cast<int64_t>(entry.compressedSize) > fileSize_) {
            return entry.fail(VARNELT_ARC_ERROR_EOF, "unexpected end of archive");
        }
        start_ = std::min(start_, offset);
        if (position_ < 0) {
            position_ = offset;
        }
        return VARNELT_ARC_OK;
    }

    int32_t parseLevel01(int64_t offset, LzhEntry& entry) {
        const size_t baseSize = header_[0] + 2u;
        const size_t nameLength = header_[21];
        const bool level1 = header_[20] == 1;
        // Name, data CRC and, for level 1, the OS byte and the first extended header's size.
        const size_t needed = kBaseHeaderSize + nameLength + 2 + (level1 ? 3 : 0);
        if (baseSize < needed) {
            return fault(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged header");
        }
        if (!readMore(offset, baseSize)) {
            return fault(VARNELT_ARC_ERROR_EOF, "unexpected end of archive");
        }
        unsigned sum = 0;
        for (size_t i = 2; i < baseSize; ++i) {
            sum += header_[i];
        }
        if ((sum & 0xFF) != header_[1]) {
            return fault(VARNELT_ARC_ERROR_HEADER_BROKEN, "header checksum mismatch");
        }
        entry.crc = le16(&header_[kBaseHeaderSize + nameLength]);
        std::string name(reinterpret_cast<const char*>(&header_[kBaseHeaderSize]), nameLength);
        std::string folder;
        size_t extendedSize = 0;
        if (level1) {
            // Extended headers follow the base header, each one's size in the two bytes before it;
            // the compressed size counts them too.
            size_t at = baseSize - 2;
            for (size_t size = le16(&header_[at]); size != 0; size = le16(&header_[at])) {
                if (size < 3) {
                    return fault(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged extended header");
                }
                if (!readMore(offset, header_.size() + size)) {
                    return fault(VARNELT_ARC_ERROR_EOF, "unexpected end of archive");
                }
                extendedSize += size;
                at += size;
            }
            if (entry.compressedSize < extendedSize) {
                return fault(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged extended header");
            }
            entry.compressedSize -= extendedSize;
            const int32_t rc = readExtended(baseSize - 2, 2, name, folder);
            if (rc != VARNELT_ARC_OK) {
                return rc;
            }
        }
        entry.rawName = folder + name;
        entry.dataOffset = offset + static_cast<int64_t>(header_.size());
        return VARNELT_ARC_OK;
    }

    int32_t parseLevel23(int64_t offset, LzhEntry& entry, size_t headerSize, size_t firstExtended,
                         size_t sizeField) {
        if (headerSize < firstExtended + sizeField || headerSize > kMaxHeaderSize) {
            return fault(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged header");
        }
        if (!readMore(offset, headerSize)) {
            return fault(VARNELT_ARC_ERROR_EOF, "unexpected end of archive");
        }
        entry.crc = le16(&header_[21]);
        std::string name;
        std::string folder;
        const int32_t rc = readExtended(firstExtended, sizeField, name, folder);
        if (rc != VARNELT_ARC_OK) {
            return rc;
        }
        entry.rawName = folder + name;
        entry.dataOffset = offset + static_cast<int64_t>(headerSize);
        return VARNELT_ARC_OK;
    }

    // Walks the extended headers chained from offset `at` of header_: file name (1), folder
    // name (2) and the header's own CRC (0), which is checked over the header with the field
    // zeroed.
    int32_t readExtended(size_t at, size_t sizeField, std::string& name, std::string& folder) {
        const auto sizeAt = [&](size_t pos) {
            return sizeField == 4 ? size_t{le32(&header_[pos])} : size_t{le16(&header_[pos])};
        };
        std::optional<uint16_t> headerCrc;
        while (at + sizeField <= header_.size()) {
            const size_t size = sizeAt(at);
            if (size == 0) {
                break;
            }
            if (size < sizeField + 1 || size > header_.size() - at - sizeField) {
                return fault(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged extended header");
            }
            uint8_t* const body = &header_[at + sizeField];
            const size_t bodySize = size - sizeField - 1;
            const char* const text = reinterpret_cast<const char*>(body + 1);
            switch (body[0]) {
                case 0x00:
                    if (bodySize < 2) {
                        return fault(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged extended header");
                    }
                    headerCrc = le16(body + 1);
                    body[1] = body[2] = 0;
                    break;
                case 0x01:
                    name.assign(text, bodySize);
                    break;
                case 0x02:
                    // Each folder ends in 0xFF, though some tools leave out the last one.
                    folder.assign(text, bodySize);
                    if (!folder.empty() && folder.back() != '\xFF' && folder.back() != '/') {
                        folder.push_back('\xFF');
                    }
                    break;
                default:
                    break;
            }
            at += size;
        }
        if (headerCrc && crc16(header_.data(), header_.size()) != *headerCrc) {
            return fault(VARNELT_ARC_ERROR_HEADER_BROKEN, "header CRC mismatch");
        }
        return VARNELT_ARC_OK;
    }

    const InputFile& file_;
    int64_t fileSize_ = 0;
    bool executable_ = false;
    int64_t start_ = std::numeric_limits<int64_t>::max();
    int64_t position_ = -1;
    uint64_t entries_ = 0;  // read by next()
    std::vector<uint8_t> header_;
};

// The decoders' buffers, kept from one entry to the next.
struct DecodeBuffers {
    std::vector<uint8_t> input = std::vector<uint8_t>(64 * 1024);
    std::vector<uint8_t> output = std::vector<uint8_t>(64 * 1024);
    LzhDecoder lzh;
};

// A decoder's bit reader may ask a few times past the end of intact data; the PMarc decoder
// asks on and on, making output from nothing up to whatever size the header claims.
constexpr unsigned kMaxEmptyReads = 16;

// Feeds an entry's compressed bytes to a decoder. liblhasa's decoders ask for a few bytes at a
// time, so the file is read in large pieces; a request as large goes to the file directly.
class CompressedSource {
public:
    CompressedSource(const InputFile& file, const LzhEntry& entry, std::vector<uint8_t>& buffer)
        : file_(file),
          position_(static_cast<uint64_t>(entry.dataOffset)),
          remaining_(entry.compressedSize),
          buffer_(buffer) {}

    // Asked for more once the data had run out, or after a refused read.
    unsigned emptyReads() const { return emptyReads_; }

    static size_t read(void* buffer, size_t size, void* self) {
        return static_cast<CompressedSource*>(self)->read(static_cast<uint8_t*>(buffer), size);
    }

private:
    // A refused read ends the data early; the file records it and the caller's verdict gives
    // way.
    size_t read(uint8_t* out, size_t size) {
        if (next_ == end_ && size >= buffer_.size()) {
            const ptrdiff_t got = readFile(out, size);
            emptyReads_ += got <= 0 ? 1 : 0;
            return got > 0 ? static_cast<size_t>(got) : 0;
        }
        if (next_ == end_ && !refill()) {
            ++emptyReads_;
            return 0;
        }
        const size_t length = std::min(size, end_ - next_);
        std::memcpy(out, buffer_.data() + next_, length);
        next_ += length;
        return length;
    }

    bool refill() {
        const ptrdiff_t got = readFile(buffer_.data(), buffer_.size());
        if (got <= 0) {
            return false;
        }
        next_ = 0;
        end_ = static_cast<size_t>(got);
        return true;
    }

    // Up to size bytes of what is left of the data: the count read, 0 at its end, -1 on a
    // refused read.
    ptrdiff_t readFile(uint8_t* out, size_t size) {
        const auto wanted = static_cast<size_t>(std::min<uint64_t>(size, remaining_));
        const ptrdiff_t got = wanted > 0 ? file_.readSomeAt(out, wanted, position_) : 0;
        if (got > 0) {
            position_ += static_cast<uint64_t>(got);
            remaining_ -= static_cast<uint64_t>(got);
        }
        return got;
    }

    const InputFile& file_;
    uint64_t position_;
    uint64_t remaining_;
    std::vector<uint8_t>& buffer_;
    size_t next_ = 0;
    size_t end_ = 0;
    unsigned emptyReads_ = 0;
};

// The verdict on what a decoder made of an entry's data.
int32_t verdictOn(const LzhEntry& entry, uint64_t length, uint16_t crc) {
    if (length != entry.originalSize) {
        return entry.fail(VARNELT_ARC_ERROR_FILE_CRC, "size mismatch");
    }
    if (crc != entry.crc) {
        return entry.fail(VARNELT_ARC_ERROR_FILE_CRC, "CRC mismatch");
    }
    return VARNELT_ARC_OK;
}

int32_t verifyData(const InputFile& file, const LzhEntry& entry, DecodeBuffers& buffers) {
    if (const std::optional<LzhMethod> own = lzhMethodNamed(entry.method)) {
        CompressedSource source(file, entry, buffers.input);
        const LzhResult result = buffers.lzh.decode(
            *own,
            [&source](uint8_t* buffer, size_t size) {
                return CompressedSource::read(buffer, size, &source);
            },
            entry.originalSize);
        if (result.outcome == LzhOutcome::Damaged) {
            return entry.fail(VARNELT_ARC_ERROR_FILE_CRC, "damaged data");
        }
        return verdictOn(entry, result.length, result.crc);
    }
    char method[6];
    std::memcpy(method, entry.method, sizeof method);
    LHADecoderType* const type = lha_decoder_for_name(method);
    if (type == nullptr) {
        // Named as people write it: lh5, not -lh5-.
        return entry.fail(VARNELT_ARC_ERROR_METHOD,
                          "unsupported method " + std::string(entry.method + 1, 3));
    }
    CompressedSource source(file, entry, buffers.input);
    const std::unique_ptr<LHADecoder, DecoderFree> decoder(lha_decoder_new(
        type, &CompressedSource::read, &source, static_cast<size_t>(entry.originalSize)));
    if (!decoder) {
        return VARNELT_ARC_ERROR_ENOUGH_MEMORY;
    }
    while (source.emptyReads() < kMaxEmptyReads &&
           lha_decoder_read(decoder.get(), buffers.output.data(), buffers.output.size()) > 0) {
    }
    return verdictOn(entry, lha_decoder_get_length(decoder.get()),
                     lha_decoder_get_crc(decoder.get()));
}

class LzhBackend : public Backend {
public:
    int32_t test(const InputFile& file) const override {
        HeaderWalker walker(file);
        int32_t rc = walker.open();
        DecodeBuffers buffers;
        for (size_t entries = 0; rc == VARNELT_ARC_OK; ++entries) {
            LzhEntry entry;
            Step step = Step::End;
            rc = walker.next(entry, step);
            if (rc != VARNELT_ARC_OK) {
                break;
            }
            if (step == Step::End) {
                return entries == 0 ? VARNELT_ARC_ERROR_NOT_ARC_FILE : VARNELT_ARC_OK;
            }
            if (!entry.isDirectory()) {
                rc = verifyData(file, entry, buffers);
            }
        }
        return rc;
    }

    int32_t countEntries(const InputFile& file) const override {
        HeaderWalker walker(file);
        if (walker.open() != VARNELT_ARC_OK) {
            return -1;
        }
        for (int32_t entries = 0;; ++entries) {
            LzhEntry entry;
            Step step = Step::End;
            if (walker.next(entry, step) != VARNELT_ARC_OK) {
                return -1;
            }
            if (step == Step::End) {
                return entries == 0 ? -1 : entries;
            }
            if (entries == std::numeric_limits<int32_t>::max()) {
                return -1;
            }
        }
    }

    std::unique_ptr<ArchiveSession> open(const InputFile& file) const override {
        HeaderWalker walker(file);
        LzhEntry entry;
        Step step = Step::End;
        if (walker.open() != VARNELT_ARC_OK || walker.next(entry, step) != VARNELT_ARC_OK ||
            step != Step::Entry) {
            return nullptr;
        }
        return std::make_unique<ArchiveSession>(storedNameToUtf8(entry.rawName, true),
                                                walker.behindStub());
    }
};

}  // namespace

const Backend& formatBackend() {
    static const LzhBackend backend;
    return backend;
}

}  // namespace varnelt::archiver
