#include "signature.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "byte_reader.h"
#include "crc.h"
#include "fault.h"

namespace varnelt::archiver::sevenzip {
namespace {

constexpr uint8_t kSignature[] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
constexpr uint64_t kStubSearchStart = 0x27000;
constexpr uint64_t kStubSearchEnd = 0x60000;

// Up to buffer.size() bytes from offset; fewer only at the end of the file.
size_t readUpTo(const InputFile& file, std::span<uint8_t> buffer, uint64_t offset) {
    size_t done = 0;
    while (done < buffer.size()) {
        const ptrdiff_t got =
            file.readSomeAt(buffer.data() + done, buffer.size() - done, offset + done);
        if (got < 0) {
            fail(VARNELT_ARC_ERROR_CANNOT_READ, "read error");
        }
        if (got == 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    return done;
}

bool startsWithSignature(std::span<const uint8_t> bytes) {
    return bytes.size() >= sizeof kSignature &&
           std::memcmp(bytes.data(), kSignature, sizeof kSignature) == 0;
}

}  // namespace

bool startHeaderCrcHolds(const uint8_t* signatureHeader) {
    return updateCrc(0, std::span(signatureHeader + 12, 20)) ==
           littleEndian(std::span(signatureHeader + 8, 4));
}

std::optional<uint64_t> findSignature(const InputFile& file) {
    uint8_t head[sizeof kSignature] = {};
    const size_t got = readUpTo(file, head, 0);
    const std::span<const uint8_t> start(head, got);
    if (startsWithSignature(start)) {
        return 0;
    }
    const bool executable =
        (got >= 2 && head[0] == 'M' && head[1] == 'Z') || (got >= 4 && std::memcmp(head,
                                                                                   "\x7F"
                                                                                   "ELF",
                                                                                   4) == 0);
    const auto fileSize = static_cast<uint64_t>(file.size());
    if (!executable || fileSize <= kStubSearchStart) {
        return std::nullopt;
    }
    std::vector<uint8_t> window(static_cast<size_t>(
        std::min(fileSize, kStubSearchEnd + kSignatureHeaderSize) - kStubSearchStart));
    window.resize(readUpTo(file, window, kStubSearchStart));
    for (size_t at = 0;
         at + kSignatureHeaderSize <= window.size() && kStubSearchStart + at < kStubSearchEnd;
         ++at) {
        const std::span<const uint8_t> candidate(window.data() + at, kSignatureHeaderSize);
        if (startsWithSignature(candidate) && startHeaderCrcHolds(candidate.data())) {
            return kStubSearchStart + at;
        }
    }
    return std::nullopt;
}

}  // namespace varnelt::archiver::sevenzip
