#include "packed_stage.h"

#include "crc.h"
#include "fault.h"

namespace varnelt::archiver::sevenzip {
namespace {

class PackedStage final : public Stage {
public:
    PackedStage(const InputFile& file, const PackedStream& stream)
        : Stage(stream.size), file_(file), offset_(stream.offset), expectedCrc_(stream.crc) {}

private:
    size_t produce(std::span<uint8_t> out) override {
        const ptrdiff_t got = file_.readSomeAt(out.data(), out.size(), offset_);
        if (got < 0) {
            fail(VARNELT_ARC_ERROR_CANNOT_READ, "read error");
        }
        if (got == 0) {
            // The file got shorter while we read it.
            fail(VARNELT_ARC_ERROR_EOF, "unexpected end of archive");
        }
        const auto count = static_cast<size_t>(got);
        offset_ += count;
        if (expectedCrc_) {
            crc_ = updateCrc(crc_, out.first(count));
        }
        return count;
    }
    void finish() override {
        if (expectedCrc_ && crc_ != *expectedCrc_) {
            fail(VARNELT_ARC_ERROR_FILE_CRC, "packed stream CRC mismatch");
        }
    }

    const InputFile& file_;
    uint64_t offset_;
    std::optional<uint32_t> expectedCrc_;
    uint32_t crc_ = 0;
};

}  // namespace

std::unique_ptr<Stage> packedStage(const InputFile& file, const PackedStream& stream) {
    return std::make_unique<PackedStage>(file, stream);
}

}  // namespace varnelt::archiver::sevenzip
