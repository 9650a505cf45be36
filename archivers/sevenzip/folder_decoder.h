// Decoding one folder on its own: its own decoders and fixed buffers over the shared file, so
// that independent folders can be tested side by side.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "../core/failure.h"
#include "../core/input_file.h"
#include "model.h"

namespace varnelt::archiver::sevenzip {

// The file whose data is the folder's substream of this index.
using SubstreamLabel = std::function<EntryLabel(size_t substream)>;

// Feeds the folder's whole output to sink, block by block, checking it against every CRC the
// header gives (each substream's, the folder's own, the packed streams') and every size.
// The folder must be decodable (see folderSupport). Throws Fault; when label is set, a fault
// met in a file's data names that file.
void decodeFolder(const InputFile& file, const Folder& folder,
                  const std::function<void(std::span<const uint8_t>)>& sink,
                  const SubstreamLabel& label);

// decodeFolder's verdict: VARNELT_ARC_OK or the fault's code.
int32_t testFolder(const InputFile& file, const Folder& folder, const SubstreamLabel& label);

}  // namespace varnelt::archiver::sevenzip
