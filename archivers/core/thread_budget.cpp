#include "thread_budget.h"

#include <algorithm>
#include <atomic>

namespace varnelt::archiver {

namespace {

// The most threads one test may take, whatever it is told: each costs a stack and a malloc
// arena of the worker's bounded address space, and few archives have parts enough for more.
constexpr int32_t kMostThreads = 8;

std::atomic<int32_t>& budget() {
    static std::atomic<int32_t> count{1};
    return count;
}

}  // namespace

int threadBudget() noexcept {
    return budget().load(std::memory_order_relaxed);
}

void setThreadBudget(int32_t count) noexcept {
    budget().store(std::clamp(count, int32_t{1}, kMostThreads), std::memory_order_relaxed);
}

}  // namespace varnelt::archiver
