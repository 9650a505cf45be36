// Finding a 7z archive in a file: at its start, or behind a self-extractor's stub.
#pragma once

#include <cstdint>
#include <optional>

#include "../core/input_file.h"

namespace varnelt::archiver::sevenzip {

inline constexpr uint64_t kSignatureHeaderSize = 32;

// Where the 32-byte signature header starts: at 0 when the file starts with the signature;
// in an executable ("MZ" or ELF), the first signature between 0x27000 and 0x60000 whose
// start header CRC holds, where self-extractor stubs end. nullopt for any other file.
// Throws Fault(CANNOT_READ) when the system refuses a read.
std::optional<uint64_t> findSignature(const InputFile& file);

// True when the 20 bytes after a signature header's CRC field match it.
bool startHeaderCrcHolds(const uint8_t* signatureHeader);

}  // namespace varnelt::archiver::sevenzip
