// A range of the archive file read front to back through one buffer of fixed size, so that
// walking a directory or streaming an entry costs the same memory whatever the archive's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "input_file.h"

namespace varnelt::archiver {

class RangeReader {
public:
    // Reads [begin, end) of file, which the caller has checked to lie inside it. The buffer
    // holds capacity bytes, or the whole range when that is smaller.
    RangeReader(const InputFile& file, uint64_t begin, uint64_t end, size_t capacity);

    // The buffered bytes from the position on: at least min(want, left()) of them, fewer only
    // when the file could not be read. want must not exceed capacity().
    std::span<const uint8_t> peek(size_t want);
    // Moves the position on by count bytes, which may lie beyond the buffer.
    void skip(uint64_t count);

    uint64_t position() const { return position_; }
    uint64_t left() const { return end_ - position_; }
    size_t capacity() const { return capacity_; }

private:
    const InputFile& file_;
    uint64_t position_;
    uint64_t end_;
    size_t capacity_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t start_ = 0;   // the position's byte in the buffer
    size_t filled_ = 0;  // bytes of the buffer read from the file
};

// What a short read of an archive means: the system refused it, or the archive's headers point
// past its bytes.
int32_t readFailure(const InputFile& file);

}  // namespace varnelt::archiver
