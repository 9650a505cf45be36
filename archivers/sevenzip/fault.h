// How the 7z reader stops at the first fault it meets: the answer code travels up as an
// exception from however deep in a header or a decoder chain it was found, its reason recorded
// where it was found.
#pragma once

#include <cstdint>
#include <string_view>

#include "../../checkers/archiver_api.h"
#include "../core/failure.h"

namespace varnelt::archiver::sevenzip {

struct Fault {
    int32_t code;
};

[[noreturn]] inline void fail(int32_t code, std::string_view reason) {
    throw Fault{failWith(code, reason)};
}

inline constexpr std::string_view kOutOfMemory = "out of memory";

// Most header faults are structural; one name keeps the call sites short.
[[noreturn]] inline void headerBroken() {
    fail(VARNELT_ARC_ERROR_HEADER_BROKEN, "damaged header");
}

}  // namespace varnelt::archiver::sevenzip
