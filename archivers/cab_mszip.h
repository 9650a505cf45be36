// MSZIP folders checked without libmspack where they are laid out as every writer lays them out:
// each CFDATA block one whole frame, "CK" first, the deflate data ending at the block's end, every
// frame but the last 32 KiB. Anything else, and every fault, is left to libmspack, which then
// decides and gives the reason; this is only the fast way to the same "intact".
#pragma once

#include <cstddef>
#include <cstdint>

#include "cab_system.h"
#include "input_file.h"

namespace varnelt::archiver::cab {

// A CFDATA header: checksum, stored size, plain size; its reserved area follows.
inline constexpr size_t kDataHeaderSize = 8;

struct FolderData {
    uint64_t offset;  // of the first CFDATA block
    uint32_t blocks;
};

// The checksum of a CFDATA block as libmspack computes it: its data, then its two sizes.
uint32_t blockChecksum(const uint8_t* data, size_t size, const uint8_t sizes[4]);

// True when every block of the folder is laid out as above, its checksum matches where one is
// stored and its frame inflates to exactly its plain size, each frame seeing the one before as
// its history. The frames are written to sink as they are decoded.
bool mszipFolderIntact(const InputFile& file, const FolderData& folder, uint8_t dataReserve,
                       DecodedSink& sink);

}  // namespace varnelt::archiver::cab
