#include "app/parallel_check.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "app/paths.h"

namespace varnelt {

FileDecision DecideRow(const TargetRow& row, const std::vector<ArchiveChecker>& checkers) {
    const QString path = row.path();
    if (FindOnPath(path) == 0) {
        return {true, {0, kMissingFileVerdict, std::nullopt}};
    }
    return {false, DecideFile(path, checkers)};
}

void DecideInParallel(const std::vector<TargetRow>& rows,
                      const std::vector<ArchiveChecker>& checkers, int jobs,
                      const std::function<void(size_t, const FileDecision&)>& deliver) {
    std::vector<std::optional<FileDecision>> decided(rows.size());
    std::mutex mutex;
    std::condition_variable ready;
    std::atomic<size_t> next{0};

    const auto work = [&] {
        for (size_t i = next++; i < rows.size(); i = next++) {
            FileDecision decision = DecideRow(rows[i], checkers);
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
        FileDecision decision;
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
