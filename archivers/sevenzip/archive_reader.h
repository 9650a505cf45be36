// Reading a 7z archive's headers: the signature header, the header it points to (decoded
// first when it is stored encoded), and where every packed stream lies. No file data is
// decoded here beyond an encoded header's own folder.
#pragma once

#include <cstdint>

#include "../core/input_file.h"
#include "model.h"

namespace varnelt::archiver::sevenzip {

struct Archive {
    uint64_t signatureOffset = 0;  // beyond 0 behind a self-extractor's stub
    Header header;
};

// The archive whose signature header starts at signatureOffset (see findSignature). Throws
// Fault: HEADER_CRC, HEADER_BROKEN, EOF for headers or streams beyond the file, PASSWORD for
// an encrypted header, METHOD when the header is encoded with a coder this reader lacks.
Archive readArchive(const InputFile& file, uint64_t signatureOffset);

}  // namespace varnelt::archiver::sevenzip
