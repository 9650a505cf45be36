#include "engine/parallel_check.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace varnelt {

FileOutcome DecideRow(const TargetRow& row, const std::vector<ArchiveChecker>& checkers) {
    return DecideFile(row.nativePath(), row.name, checkers);
}

void DecideInParallel(const std::vector<TargetRow>& rows,
                      const std::vector<ArchiveChecker>& checkers, int jobs,
                      const std::function<void(size_t, const FileOutcome&)>& deliver) {
    std::vector<std::optional<FileOutcome>> decided(rows.size());
    std::mutex mutex;
    std::condition_variable ready;
    std::atomic<size_t> next{0};

    const auto work = [&] {
        for (size_t i = next++; i < rows.size(); i = next++) {
            FileOutcome decision = DecideRow(rows[i], checkers);
            const std::lock_guard lock(mutex);
            decided[i] = std::move(decision);
            ready.notify_all();
        }
    };
    std::vector<std::jthread> workers;
    for (int k = 0; k < std::max(jobs, 1); ++k) {
        workers.emplace_back(work);
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        FileOutcome decision;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return decided[i].has_value(); });
            decision = std::move(*decided[i]);
            decided[i].reset();
        }
        deliver(i, decision);
    }
}

}  // namespace varnelt
