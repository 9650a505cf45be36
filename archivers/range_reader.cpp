#include "range_reader.h"

#include <algorithm>
#include <cstring>

#include "failure.h"

namespace varnelt::archiver {

RangeReader::RangeReader(const InputFile& file, uint64_t begin, uint64_t end, size_t capacity)
    : file_(file),
      position_(begin),
      end_(std::max(begin, end)),
      capacity_(static_cast<size_t>(std::min<uint64_t>(capacity, end_ - begin))),
      buffer_(std::make_unique_for_overwrite<uint8_t[]>(std::max<size_t>(capacity_, 1))) {}

std::span<const uint8_t> RangeReader::peek(size_t want) {
    want = static_cast<size_t>(std::min<uint64_t>({want, left(), capacity_}));
    if (filled_ - start_ < want) {
        std::memmove(buffer_.get(), buffer_.get() + start_, filled_ - start_);
        filled_ -= start_;
        start_ = 0;
        const size_t more =
            static_cast<size_t>(std::min<uint64_t>(capacity_ - filled_, left() - filled_));
        if (file_.readAt(buffer_.get() + filled_, more, position_ + filled_)) {
            filled_ += more;
        }
    }
    return {buffer_.get() + start_, filled_ - start_};
}

void RangeReader::skip(uint64_t count) {
    count = std::min(count, left());
    position_ += count;
    if (count < filled_ - start_) {
        start_ += static_cast<size_t>(count);
    } else {
        start_ = filled_ = 0;
    }
}

int32_t readFailure(const InputFile& file) {
    return file.readFailed()
               ? VARNELT_ARC_ERROR_CANNOT_READ
               : failWith(VARNELT_ARC_ERROR_HEADER_BROKEN, "unexpected end of archive");
}

}  // namespace varnelt::archiver
