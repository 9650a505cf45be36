#include "side_by_side.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

#include "failure.h"

namespace varnelt::archiver {

namespace {

class PartQueue {
public:
    PartQueue(size_t count, const std::function<int32_t(size_t)>& test,
              const std::function<bool(int32_t)>& ends)
        : outcomes_(count), test_(test), ends_(ends), stopAt_(count) {}

    // Takes parts until none is left; each outcome is written by the one thread that took it.
    void work() {
        for (size_t part = next_.fetch_add(1); part < stopAt_.load(); part = next_.fetch_add(1)) {
            PartOutcome& outcome = outcomes_[part];
            clearFailure();
            try {
                outcome.code = test_(part);
                outcome.reason = recordedReason(outcome.code);
                if (ends_(outcome.code)) {
                    stopBefore(part + 1);
                }
            } catch (...) {
                outcome.thrown = std::current_exception();
                stopBefore(part + 1);
            }
            outcome.tested = true;
        }
    }

    std::vector<PartOutcome> take() { return std::move(outcomes_); }

private:
    void stopBefore(size_t end) {
        size_t current = stopAt_.load();
        while (end < current && !stopAt_.compare_exchange_weak(current, end)) {
        }
    }

    std::vector<PartOutcome> outcomes_;
    const std::function<int32_t(size_t)>& test_;
    const std::function<bool(int32_t)>& ends_;
    std::atomic<size_t> next_{0};
    std::atomic<size_t> stopAt_;
};

}  // namespace

std::vector<PartOutcome> testSideBySide(size_t count, int threads,
                                        const std::function<int32_t(size_t)>& test,
                                        const std::function<bool(int32_t)>& ends) {
    PartQueue queue(count, test, ends);
    {
        std::vector<std::jthread> helpers;
        const size_t wanted = std::min(count, static_cast<size_t>(std::max(threads, 1)));
        helpers.reserve(wanted);
        for (size_t i = 1; i < wanted; ++i) {
            try {
                helpers.emplace_back([&queue] { queue.work(); });
            } catch (const std::system_error&) {
                break;
            }
        }
        queue.work();
    }
    return queue.take();
}

int32_t replayOutcome(const PartOutcome& outcome) {
    if (outcome.thrown) {
        std::rethrow_exception(outcome.thrown);
    }
    return failWith(outcome.code, outcome.reason);
}

}  // namespace varnelt::archiver
