// Reasons for the faults that zlib and libbz2 find in compressed data, in the libraries' wording.
#pragma once

#include <bzlib.h>

#include <cstring>
#include <string>

namespace varnelt::archiver {

// inflate's message on failure: the gzip trailer's checks, or what is wrong with the data.
inline std::string inflateFault(const char* message) {
    if (message == nullptr) {
        return "damaged data";
    }
    if (std::strcmp(message, "incorrect data check") == 0) {
        return "CRC mismatch";
    }
    if (std::strcmp(message, "incorrect length check") == 0) {
        return "size mismatch";
    }
    return std::string("damaged data: ") + message;
}

// BZ2_bzDecompress's answer on failure. libbz2 reports a block whose CRC fails the same way as
// data it cannot decode.
inline const char* bunzip2Fault(int rc) {
    switch (rc) {
        case BZ_DATA_ERROR:
            return "damaged data or CRC mismatch";
        case BZ_DATA_ERROR_MAGIC:
            return "no bzip2 stream";
        default:
            return "damaged data";
    }
}

}  // namespace varnelt::archiver
