#include "cab_mszip.h"

#include <array>
#include <memory>
#include <span>

#include "inflate.h"
#include "little_endian.h"

namespace varnelt::archiver::cab {
namespace {

constexpr size_t kFrameSize = 32768;
// libmspack's limit on a block's stored bytes.
constexpr size_t kMaxStored = kFrameSize + 6144;

struct Buffers {
    std::array<uint8_t, kDataHeaderSize + 255 + kMaxStored> block;
    std::array<std::array<uint8_t, kFrameSize>, 2> frames;  // this one and the one before
};

// Inflates one frame into out; true when it ends exactly at the end of in with out filled.
bool inflateFrame(Inflater& inflater, std::span<const uint8_t> in, std::span<uint8_t> out) {
    for (;;) {
        const DecodeStep step = inflater.decode(in, true, out);
        in = in.subspan(step.consumed);
        out = out.subspan(step.produced);
        if (step.status == DecodeStatus::End) {
            return in.empty() && out.empty();
        }
        if (step.status != DecodeStatus::More || (step.consumed == 0 && step.produced == 0)) {
            return false;
        }
    }
}

}  // namespace

uint32_t blockChecksum(const uint8_t* data, size_t size, const uint8_t sizes[4]) {
    uint32_t sum = 0;
    const size_t words = size / 4;
    for (size_t i = 0; i < words; ++i) {
        sum ^= le32(data + 4 * i);
    }
    // The last bytes are taken high to low, as libmspack takes them.
    uint32_t tail = 0;
    for (size_t i = words * 4; i < size; ++i) {
        tail = tail << 8 | data[i];
    }
    return sum ^ tail ^ le32(sizes);
}

bool mszipFolderIntact(const InputFile& file, const FolderData& folder, uint8_t dataReserve,
                       DecodedSink& sink) {
    const auto buffers = std::make_unique<Buffers>();
    Inflater inflater(InflateFormat::Raw);
    uint64_t at = folder.offset;
    for (uint32_t i = 0; i < folder.blocks; ++i) {
        uint8_t* const header = buffers->block.data();
        if (!file.readAt(header, kDataHeaderSize, at)) {
            return false;
        }
        const size_t stored = le16(header + 4);
        const size_t plain = le16(header + 6);
        const bool last = i + 1 == folder.blocks;
        // A plain size of 0 continues the block in the next cabinet.
        if (stored < 2 || stored > kMaxStored || plain == 0 || plain > kFrameSize ||
            (!last && plain != kFrameSize)) {
            return false;
        }
        uint8_t* const data = header + kDataHeaderSize + dataReserve;
        if (!file.readAt(header + kDataHeaderSize, dataReserve + stored, at + kDataHeaderSize)) {
            return false;
        }
        at += kDataHeaderSize + dataReserve + stored;
        const uint32_t storedSum = le32(header);
        if ((storedSum != 0 && blockChecksum(data, stored, header + 4) != storedSum) ||
            data[0] != 'C' || data[1] != 'K') {
            return false;
        }
        std::span<uint8_t> frame(buffers->frames[i % 2].data(), plain);
        if (!inflater.reset() || (i > 0 && !inflater.setDictionary(buffers->frames[(i + 1) % 2])) ||
            !inflateFrame(inflater, {data + 2, stored - 2}, frame)) {
            return false;
        }
        sink.write(frame.data(), frame.size());
    }
    return true;
}

}  // namespace varnelt::archiver::cab
