// Finds a ZIP archive's central directory from the records at its end: the end record (behind
// any comment, and any bytes a writer left after it), and the ZIP64 locator and end record.
#pragma once

#include <cstdint>

#include "input_file.h"

namespace varnelt::archiver::zip {

struct DirectoryLocation {
    uint64_t start = 0;  // in the file
    uint64_t size = 0;
    uint64_t entries = 0;
    // Added to every offset the archive stores: the length of an executable stub that the
    // offsets leave out, else 0.
    uint64_t base = 0;
    bool zip64 = false;
    // The directory itself is encrypted, so no entry can be listed without the password.
    bool encrypted = false;
};

// OK; NOT_ARC_FILE when the file has no end record; another error code when the end records
// contradict themselves or the file.
int32_t locateDirectory(const InputFile& file, DirectoryLocation& location);

}  // namespace varnelt::archiver::zip
