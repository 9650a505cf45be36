// Feeds arbitrary bytes to the BCJ2 decoder: the first 8 bytes give the output size and the
// sizes of three of the four input streams, the rest of the input is split among them.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "archivers/sevenzip/decoders.h"
#include "archivers/sevenzip/fault.h"

using namespace varnelt::archiver::sevenzip;

namespace {

class BytesStage final : public Stage {
public:
    explicit BytesStage(std::span<const uint8_t> bytes) : Stage(bytes.size()), bytes_(bytes) {}

private:
    size_t produce(std::span<uint8_t> out) override {
        const size_t count = std::min(out.size(), bytes_.size());
        std::copy_n(bytes_.begin(), count, out.begin());
        bytes_ = bytes_.subspan(count);
        return count;
    }
    void finish() override {}

    std::span<const uint8_t> bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) {
        return 0;
    }
    const uint64_t outputSize = (data[0] | data[1] << 8) * 4u;
    std::span<const uint8_t> rest(data + 8, size - 8);
    std::array<std::unique_ptr<Stage>, 4> inputs;
    for (size_t i = 0; i < 3; ++i) {
        const size_t length = std::min<size_t>(data[2 + 2 * i] | data[3 + 2 * i] << 8, rest.size());
        inputs[i] = std::make_unique<BytesStage>(rest.first(length));
        rest = rest.subspan(length);
    }
    inputs[3] = std::make_unique<BytesStage>(rest);
    try {
        const std::unique_ptr<Stage> stage = bcj2Stage(std::move(inputs), outputSize);
        std::array<uint8_t, 4096> block{};
        uint64_t produced = 0;
        while (const size_t count = stage->read(block)) {
            produced += count;
        }
        if (produced != outputSize) {
            __builtin_trap();  // a stage that ends must have given exactly its size
        }
    } catch (const Fault&) {
    }
    return 0;
}
