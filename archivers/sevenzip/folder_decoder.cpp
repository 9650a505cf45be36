#include "folder_decoder.h"

#include <algorithm>
#include <vector>

#include "crc.h"
#include "decoders.h"
#include "fault.h"
#include "methods.h"
#include "packed_stage.h"

namespace varnelt::archiver::sevenzip {
namespace {

constexpr size_t kOutputBlockSize = 1024 * 1024;

// Builds the stages of a folder's coder tree, from the root coder down to the packed streams.
// The header parser has checked that the bindings form a tree, so the recursion ends; its
// depth is bounded by the number of coders.
class StageBuilder {
public:
    StageBuilder(const InputFile& file, const Folder& folder) : file_(file), folder_(folder) {}

    std::unique_ptr<Stage> coderOutput(uint32_t index) {
        const Coder& coder = folder_.coders[index];
        const uint64_t size = folder_.unpackSizes[index];
        const CoderKind kind = coderKind(coder);
        if (kind == CoderKind::Bcj2) {
            if (coder.numInStreams != 4) {
                headerBroken();
            }
            std::array<std::unique_ptr<Stage>, 4> inputs;
            for (uint32_t i = 0; i < 4; ++i) {
                inputs[i] = input(coder.firstInStream + i);
            }
            return bcj2Stage(std::move(inputs), size);
        }
        if (coder.numInStreams != 1) {
            headerBroken();
        }
        switch (kind) {
            case CoderKind::Copy:
                requireSameSize(coder, size);
                return input(coder.firstInStream);
            case CoderKind::Lzma:
                return lzmaStage(input(coder.firstInStream), LzmaChain{{}, &coder, size}, size);
            case CoderKind::Filter:
                return filterOutput(coder, size);
            case CoderKind::Deflate:
                return deflateStage(input(coder.firstInStream), size);
            case CoderKind::Bzip2:
                return bzip2Stage(input(coder.firstInStream), size);
            default:
                // folderSupport keeps such folders away.
                fail(VARNELT_ARC_ERROR_METHOD, "unsupported method " + methodName(coder.method));
        }
    }

private:
    // A filter and those under it join one liblzma chain when an LZMA coder ends the run;
    // otherwise the filter runs alone over whatever feeds it.
    std::unique_ptr<Stage> filterOutput(const Coder& filter, uint64_t size) {
        LzmaChain chain{{&filter}, nullptr, size};
        const Coder* below = &filter;
        for (;;) {
            requireSameSize(*below, folder_.unpackSizes[coderIndex(*below)]);
            const int32_t feeder = feedingCoder(below->firstInStream);
            if (feeder < 0) {
                break;
            }
            const Coder& next = folder_.coders[static_cast<size_t>(feeder)];
            if (next.numInStreams != 1) {
                break;
            }
            const CoderKind kind = coderKind(next);
            if (kind == CoderKind::Lzma) {
                chain.lzma = &next;
                chain.lzmaSize = folder_.unpackSizes[static_cast<size_t>(feeder)];
                return lzmaStage(input(next.firstInStream), chain, size);
            }
            if (kind != CoderKind::Filter || chain.filters.size() == kMaxChainFilters) {
                break;
            }
            chain.filters.push_back(&next);
            below = &next;
        }
        return lzmaStage(storedLzma2Stage(input(filter.firstInStream)),
                         LzmaChain{{&filter}, nullptr, size}, size);
    }

    // Copy and the filters give out what they take in.
    void requireSameSize(const Coder& coder, uint64_t size) const {
        if (inputSize(coder.firstInStream) != size) {
            headerBroken();
        }
    }

    size_t coderIndex(const Coder& coder) const {
        return static_cast<size_t>(&coder - folder_.coders.data());
    }

    int32_t feedingCoder(uint32_t inStream) const {
        for (const BindPair& pair : folder_.bindPairs) {
            if (pair.inStream == inStream) {
                return static_cast<int32_t>(pair.coder);
            }
        }
        return -1;
    }

    size_t packedIndex(uint32_t inStream) const {
        const auto found =
            std::find(folder_.packedInStreams.begin(), folder_.packedInStreams.end(), inStream);
        return static_cast<size_t>(found - folder_.packedInStreams.begin());
    }

    uint64_t inputSize(uint32_t inStream) const {
        const int32_t feeder = feedingCoder(inStream);
        return feeder >= 0 ? folder_.unpackSizes[static_cast<size_t>(feeder)]
                           : folder_.packedStreams[packedIndex(inStream)].size;
    }

    std::unique_ptr<Stage> input(uint32_t inStream) {
        const int32_t feeder = feedingCoder(inStream);
        if (feeder >= 0) {
            return coderOutput(static_cast<uint32_t>(feeder));
        }
        return packedStage(file_, folder_.packedStreams[packedIndex(inStream)]);
    }

    const InputFile& file_;
    const Folder& folder_;
};

// Splits the output into the files it holds and checks each one's CRC as it ends.
class SubstreamChecker {
public:
    explicit SubstreamChecker(const Folder& folder) : folder_(folder) {}

    // Before the first output: files without data end at once.
    void begin() { closeEmptySubstreams(); }
    // The substream the output has reached; the count of substreams once all have ended.
    size_t current() const { return next_; }

    void update(std::span<const uint8_t> data) {
        if (folder_.unpackCrc) {
            folderCrc_ = updateCrc(folderCrc_, data);
        }
        while (!data.empty() && next_ < folder_.substreams.size()) {
            const Substream& substream = folder_.substreams[next_];
            const auto count =
                static_cast<size_t>(std::min<uint64_t>(data.size(), substream.size - done_));
            crc_ = updateCrc(crc_, data.first(count));
            done_ += count;
            data = data.subspan(count);
            if (done_ == substream.size) {
                closeSubstream();
                closeEmptySubstreams();
            }
        }
    }

    void finish() const {
        if (folder_.unpackCrc && folderCrc_ != *folder_.unpackCrc) {
            fail(VARNELT_ARC_ERROR_FILE_CRC, "folder CRC mismatch");
        }
    }

private:
    void closeSubstream() {
        const std::optional<uint32_t>& expected = folder_.substreams[next_].crc;
        if (expected && crc_ != *expected) {
            fail(VARNELT_ARC_ERROR_FILE_CRC, "CRC mismatch");
        }
        ++next_;
        crc_ = 0;
        done_ = 0;
    }
    void closeEmptySubstreams() {
        while (next_ < folder_.substreams.size() && folder_.substreams[next_].size == 0) {
            closeSubstream();
        }
    }

    const Folder& folder_;
    size_t next_ = 0;
    uint64_t done_ = 0;
    uint32_t crc_ = 0;
    uint32_t folderCrc_ = 0;
};

}  // namespace

void decodeFolder(const InputFile& file, const Folder& folder,
                  const std::function<void(std::span<const uint8_t>)>& sink,
                  const SubstreamLabel& label) {
    const std::unique_ptr<Stage> output = StageBuilder(file, folder).coderOutput(folder.rootCoder);
    SubstreamChecker checker(folder);
    std::vector<uint8_t> block(static_cast<size_t>(
        std::min<uint64_t>(kOutputBlockSize, std::max<uint64_t>(output->size(), 1))));
    try {
        checker.begin();
        for (;;) {
            const size_t count = output->read(block);
            if (count == 0) {
                break;
            }
            const std::span<const uint8_t> data(block.data(), count);
            checker.update(data);
            sink(data);
        }
        checker.finish();
    } catch (const Fault& fault) {
        // Past the last file, the fault lies in the folder as a whole.
        if (!label || checker.current() >= folder.substreams.size()) {
            throw;
        }
        const EntryLabel at = label(checker.current());
        throw Fault{failIn(fault.code, at.name, at.number)};
    }
}

int32_t testFolder(const InputFile& file, const Folder& folder, const SubstreamLabel& label) {
    try {
        decodeFolder(
            file, folder, [](std::span<const uint8_t>) {}, label);
    } catch (const Fault& fault) {
        return fault.code;
    }
    return VARNELT_ARC_OK;
}

}  // namespace varnelt::archiver::sevenzip
