// A packed stream as it lies in the archive file.
#pragma once

#include <memory>

#include "../core/input_file.h"
#include "model.h"
#include "stage.h"

namespace varnelt::archiver::sevenzip {

// The stream must lie inside the file (the archive reader checks that); its CRC, when the
// header gives one, is checked over the packed bytes once all were read.
std::unique_ptr<Stage> packedStage(const InputFile& file, const PackedStream& stream);

}  // namespace varnelt::archiver::sevenzip
