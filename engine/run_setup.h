// What a run is made of, taken from the registered rows and the detected libraries.
#pragma once

#include <vector>

#include "checkers/archiver_set.h"
#include "engine/check_engine.h"
#include "targets/target_row.h"

namespace varnelt {

RunFile RunFileOf(const TargetRow& row);
std::vector<RunFile> RunFilesOf(const std::vector<TargetRow>& rows);

// The libraries of the given formats that are installed, in the order of the check chain.
std::vector<worker::LibraryEntry> EnabledLibraries(const ArchiverSet& archivers,
                                                   const std::vector<ArchiveFormat>& formats);

}  // namespace varnelt
