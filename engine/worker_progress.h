// A page of memory that a worker shares with the program: which file and which library it is
// in. A worker that dies leaves it behind, so the program knows which library failed the
// file, at no cost per call.
#pragma once

#include <atomic>
#include <cstdint>

namespace varnelt::worker {

inline constexpr int32_t kNoChecker = -1;

enum class Fault : int32_t {
    None = 0,
    OutOfMemory = 1,  // an allocation failed: the memory limit was reached
};

struct Progress {
    std::atomic<uint64_t> serial{0};  // the test under way (TestRequest::serial + 1; 0: none)
    std::atomic<int32_t> checker{kNoChecker};  // the index of the checker whose library runs
    std::atomic<int32_t> fault{static_cast<int32_t>(Fault::None)};
};
static_assert(std::atomic<uint64_t>::is_always_lock_free);

inline constexpr int kProgressPageSize = 4096;

// The exit status of a worker that could not get memory.
inline constexpr int kExitOutOfMemory = 120;

}  // namespace varnelt::worker
