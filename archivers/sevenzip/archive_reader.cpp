#include "archive_reader.h"

#include <array>
#include <variant>
#include <vector>

#include "byte_reader.h"
#include "crc.h"
#include "fault.h"
#include "folder_decoder.h"
#include "header_parser.h"
#include "memory_budget.h"
#include "methods.h"
#include "signature.h"

namespace varnelt::archiver::sevenzip {
namespace {

// Writers encode a header once; what an encoded header decodes to must be the header itself.
constexpr int kMaxHeaderLayers = 2;

constexpr std::string_view kCut = "unexpected end of archive";

void readExactly(const InputFile& file, std::span<uint8_t> buffer, uint64_t offset) {
    if (!file.readAt(buffer.data(), buffer.size(), offset)) {
        fail(file.readFailed() ? VARNELT_ARC_ERROR_CANNOT_READ : VARNELT_ARC_ERROR_EOF, kCut);
    }
}

// Gives each folder its packed streams, which follow one another from the pack position on.
void placePackedStreams(StreamsInfo& streams, uint64_t base, uint64_t fileSize) {
    uint64_t offset = base + streams.packPos;
    if (offset < base) {
        headerBroken();
    }
    size_t next = 0;
    for (Folder& folder : streams.folders) {
        const size_t count = folder.packedInStreams.size();
        if (count > streams.packSizes.size() - next) {
            headerBroken();
        }
        folder.packedStreams.resize(count);
        for (PackedStream& packed : folder.packedStreams) {
            packed.offset = offset;
            packed.size = streams.packSizes[next];
            packed.crc = streams.packCrcs[next];
            ++next;
            if (packed.size > fileSize || offset > fileSize - packed.size) {
                fail(VARNELT_ARC_ERROR_EOF, kCut);
            }
            offset += packed.size;
        }
    }
}

// The output of the folder that holds an encoded header.
std::vector<uint8_t> decodeHeaderFolder(const InputFile& file, const Folder& folder,
                                        MemoryBudget& budget) {
    switch (folderSupport(folder)) {
        case FolderSupport::Decodable:
            break;
        case FolderSupport::Encrypted:
            fail(VARNELT_ARC_ERROR_PASSWORD, "encrypted header");
        default:
            fail(VARNELT_ARC_ERROR_METHOD, "unsupported header method");
    }
    std::vector<uint8_t> bytes;
    try {
        // Charged as it arrives: the size the folder claims is checked by its decoders.
        decodeFolder(file, folder,
                     [&](std::span<const uint8_t> block) {
                         budget.charge(block.size(), 1);
                         bytes.insert(bytes.end(), block.begin(), block.end());
                     },
                     {});
    } catch (const Fault& fault) {
        // Damage in the header's own stream is damage to the header.
        if (fault.code != VARNELT_ARC_ERROR_FILE_CRC) {
            throw;
        }
        fail(VARNELT_ARC_ERROR_HEADER_CRC, "damaged encoded header");
    }
    return bytes;
}

}  // namespace

Archive readArchive(const InputFile& file, uint64_t signatureOffset) {
    Archive archive;
    archive.signatureOffset = signatureOffset;
    std::array<uint8_t, kSignatureHeaderSize> start{};
    readExactly(file, start, signatureOffset);
    if (!startHeaderCrcHolds(start.data())) {
        fail(VARNELT_ARC_ERROR_HEADER_CRC, "start header CRC mismatch");
    }
    const std::span<const uint8_t> fields(start);
    const uint64_t nextOffset = littleEndian(fields.subspan(12, 8));
    const uint64_t nextSize = littleEndian(fields.subspan(20, 8));
    const auto nextCrc = static_cast<uint32_t>(littleEndian(fields.subspan(28, 4)));
    if (nextSize == 0) {
        return archive;  // an empty archive has no header at all
    }
    // Everything the header names lies between the signature header and the file's end.
    const auto fileSize = static_cast<uint64_t>(file.size());
    const uint64_t base = signatureOffset + kSignatureHeaderSize;
    if (fileSize < base) {
        fail(VARNELT_ARC_ERROR_EOF, kCut);
    }
    const uint64_t room = fileSize - base;
    if (nextOffset > room || nextSize > room - nextOffset) {
        fail(VARNELT_ARC_ERROR_EOF, kCut);
    }
    MemoryBudget budget = MemoryBudget::forFileSize(fileSize);
    budget.charge(nextSize, 1);
    std::vector<uint8_t> bytes(static_cast<size_t>(nextSize));
    readExactly(file, bytes, base + nextOffset);
    if (updateCrc(0, bytes) != nextCrc) {
        fail(VARNELT_ARC_ERROR_HEADER_CRC, "header CRC mismatch");
    }
    for (int layer = 0; layer < kMaxHeaderLayers; ++layer) {
        auto block = parseHeaderBlock(bytes, budget);
        if (Header* header = std::get_if<Header>(&block)) {
            placePackedStreams(header->streams, base, fileSize);
            archive.header = std::move(*header);
            return archive;
        }
        StreamsInfo& encoded = std::get<StreamsInfo>(block);
        placePackedStreams(encoded, base, fileSize);
        bytes = decodeHeaderFolder(file, encoded.folders.front(), budget);
    }
    headerBroken();
}

}  // namespace varnelt::archiver::sevenzip
