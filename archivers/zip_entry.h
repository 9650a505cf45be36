// The test of one ZIP entry. It needs nothing but the file and the entry's central record and
// keeps its own buffers and decoder, so that entries can be tested side by side.
#pragma once

#include <cstdint>

#include "input_file.h"
#include "zip_directory.h"

namespace varnelt::archiver::zip {

// Checks the local header against the record, decodes the data with the CRC-32 and both sizes
// checked, and checks the data descriptor. OK; PASSWORD for an encrypted entry and METHOD for
// a method not decoded here, both once the headers agree; otherwise the fault found.
int32_t testEntry(const InputFile& file, const CentralRecord& record);

}  // namespace varnelt::archiver::zip
