// In a worker, an allocation that fails means the library under test has reached the memory
// limit: the worker notes it in its progress page and ends, so that the file fails its test
// with that reason and a fresh worker takes over.
#pragma once

#include "engine/worker_progress.h"

namespace varnelt::worker {

// From now on a failed allocation ends the worker with kExitOutOfMemory.
void WatchAllocations(Progress* page);

}  // namespace varnelt::worker
