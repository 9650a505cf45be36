// The ZIP reader as a Backend: libunzip32 answers with it, and any other library that reads
// ZIP files (lib7-zip32) can link it to judge them the same way.
#pragma once

#include "backend.h"

namespace varnelt::archiver {

const Backend& zipBackend();

}  // namespace varnelt::archiver
