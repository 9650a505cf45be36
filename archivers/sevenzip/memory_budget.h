// What one archive's headers may make the reader allocate. Counts are first checked against
// the header bytes that must hold them; the budget then bounds what a header decoded from a
// small packed stream can still ask for.
#pragma once

#include <algorithm>
#include <cstdint>

#include "fault.h"

namespace varnelt::archiver::sevenzip {

class MemoryBudget {
public:
    // Real archives need far less than 64 bytes of parsed headers per byte of file; a tiny
    // file still gets enough room for any honest header.
    static MemoryBudget forFileSize(uint64_t fileSize) {
        constexpr uint64_t kFloor = uint64_t{64} << 20;
        constexpr uint64_t kCeiling = uint64_t{2} << 30;
        return MemoryBudget(fileSize > kCeiling / 64 ? kCeiling : std::max(kFloor, fileSize * 64));
    }
    explicit MemoryBudget(uint64_t bytes) : left_(bytes) {}

    void charge(uint64_t count, uint64_t bytesEach) {
        if (bytesEach != 0 && count > left_ / bytesEach) {
            fail(VARNELT_ARC_ERROR_ENOUGH_MEMORY,
                 "headers larger than the memory allowed for them");
        }
        left_ -= count * bytesEach;
    }

private:
    uint64_t left_;
};

}  // namespace varnelt::archiver::sevenzip
