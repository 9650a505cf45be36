#include "failure.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "core.h"

namespace varnelt::archiver {
namespace {

struct Reasons {
    int32_t code = VARNELT_ARC_OK;
    std::string recorded;  // for code
    std::string settled;   // what GetLastErrorText gives
};

thread_local Reasons reasons;

// What a code says when the backend that answered it recorded nothing more telling.
std::string plainReason(int32_t code) {
    switch (code) {
        case VARNELT_ARC_OK:
        case VARNELT_ARC_ERROR_NOT_ARC_FILE:
            return {};
        case VARNELT_ARC_ERROR_FILE_CRC:
            return "CRC mismatch";
        case VARNELT_ARC_ERROR_HEADER_CRC:
            return "header CRC mismatch";
        case VARNELT_ARC_ERROR_HEADER_BROKEN:
            return "damaged header";
        case VARNELT_ARC_ERROR_EOF:
            return "unexpected end of archive";
        case VARNELT_ARC_ERROR_METHOD:
            return "unsupported method";
        case VARNELT_ARC_ERROR_PASSWORD:
            return "encrypted, and no password was given";
        case VARNELT_ARC_ERROR_ARC_FILE_OPEN:
            return "cannot open the archive";
        case VARNELT_ARC_ERROR_CANNOT_READ:
            return "the system refused to read the archive";
        case VARNELT_ARC_ERROR_ENOUGH_MEMORY:
            return "out of memory";
        case VARNELT_ARC_ERROR_NOT_SUPPORT:
            return "unsupported kind of archive";
        case VARNELT_ARC_ERROR_COMMAND_NAME:
            return "unknown command";
        case VARNELT_ARC_ERROR_HARC_ISNOT_OPENED:
            return "the archive is not open";
        default: {
            char text[32];
            std::snprintf(text, sizeof text, "error 0x%04X", static_cast<unsigned>(code));
            return text;
        }
    }
}

}  // namespace

int32_t failWith(int32_t code, std::string_view reason) noexcept {
    if (reason.empty()) {
        return code;
    }
    try {
        // Names from the archive and libarchive's messages may be in CP932.
        reasons.recorded = storedNameToUtf8(reason, false);
        reasons.code = code;
    } catch (...) {
        reasons.recorded.clear();  // out of memory: the plain text will do
    }
    return code;
}

std::string_view recordedReason(int32_t code) {
    return reasons.code == code ? std::string_view(reasons.recorded) : std::string_view();
}

std::string inEntry(std::string_view what, std::string_view name, uint64_t number) {
    std::string reason(what);
    if (name.empty()) {
        reason += " at entry ";
        reason += std::to_string(number);
    } else {
        reason += " in ";
        reason += name;
    }
    return reason;
}

int32_t failIn(int32_t code, std::string_view name, uint64_t number) noexcept {
    if (code == VARNELT_ARC_OK || code == VARNELT_ARC_ERROR_NOT_ARC_FILE) {
        return code;
    }
    try {
        const std::string_view recorded = recordedReason(code);
        return failWith(code, inEntry(recorded.empty() ? plainReason(code) : std::string(recorded),
                                      name, number));
    } catch (...) {
        return code;
    }
}

void clearFailure() noexcept {
    reasons.code = VARNELT_ARC_OK;
    reasons.recorded.clear();
    reasons.settled.clear();
}

int32_t settleFailure(int32_t code) noexcept {
    if (code == VARNELT_ARC_OK || code == VARNELT_ARC_ERROR_NOT_ARC_FILE) {
        reasons.settled.clear();
    } else if (code == reasons.code && !reasons.recorded.empty()) {
        reasons.settled.swap(reasons.recorded);
    } else {
        try {
            reasons.settled = plainReason(code);
        } catch (...) {
            reasons.settled.clear();
        }
    }
    reasons.code = VARNELT_ARC_OK;
    reasons.recorded.clear();
    return code;
}

int32_t copySettledFailure(char* buffer, int32_t size) noexcept {
    const std::string& text = reasons.settled;
    if (buffer != nullptr && size > 0) {
        const size_t used = utf8PrefixLength(text, static_cast<size_t>(size) - 1);
        std::memcpy(buffer, text.data(), used);
        buffer[used] = '\0';
    }
    return static_cast<int32_t>(std::min<size_t>(text.size(), std::numeric_limits<int32_t>::max()));
}

}  // namespace varnelt::archiver
