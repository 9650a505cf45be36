// The bounds of one file's test: time, and the memory of the worker that holds it.
#pragma once

#include <QtGlobal>

namespace varnelt {

inline constexpr int kDefaultTimeLimitSeconds = 60;
inline constexpr int kDefaultMemoryLimitMB = 2048;

struct RunLimits {
    // Each file: this plus one second per MB of its size; 0: none.
    int timeLimitSeconds = kDefaultTimeLimitSeconds;
    int memoryLimitMB = kDefaultMemoryLimitMB;  // each worker; 0: none
};

// The milliseconds a file of `size` bytes may take, or 0 when time is not limited.
qint64 TimeAllowedMs(const RunLimits& limits, qint64 size);

// The address-space limit a worker sets, in bytes; 0 when none. The sanitizers reserve far
// more address space than a test uses, so their builds set none.
qint64 WorkerMemoryLimitBytes(const RunLimits& limits);

// The number of files tested at once when the user leaves it to the program: one per core.
int AutomaticJobs();

}  // namespace varnelt
