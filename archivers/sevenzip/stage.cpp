#include "stage.h"

#include <algorithm>

#include "fault.h"

namespace varnelt::archiver::sevenzip {

size_t Stage::read(std::span<uint8_t> out) {
    if (remaining_ == 0) {
        if (!finished_) {
            finish();
            finished_ = true;
        }
        return 0;
    }
    if (out.empty()) {
        return 0;
    }
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(out.size(), remaining_));
    const size_t got = produce(out.first(wanted));
    if (got == 0) {
        fail(VARNELT_ARC_ERROR_FILE_CRC, "data shorter than its size");
    }
    remaining_ -= got;
    return got;
}

void Stage::expectEnd() {
    uint8_t extra = 0;
    if (read(std::span<uint8_t>(&extra, 1)) != 0) {
        fail(VARNELT_ARC_ERROR_FILE_CRC, "data longer than its size");
    }
}

InputWindow::InputWindow(std::unique_ptr<Stage> source, size_t capacity)
    : source_(std::move(source)),
      buffer_(static_cast<size_t>(std::min<uint64_t>(capacity, source_->size()))) {}

std::span<const uint8_t> InputWindow::available() {
    if (begin_ == end_ && !sourceEnded_) {
        begin_ = 0;
        end_ = source_->read(buffer_);
        sourceEnded_ = end_ == 0;
    }
    return std::span<const uint8_t>(buffer_).subspan(begin_, end_ - begin_);
}

}  // namespace varnelt::archiver::sevenzip
