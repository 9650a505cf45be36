// Decides many files at once on several threads and hands the outcomes back in row order.
#pragma once

#include <functional>
#include <vector>

#include "checkers/file_decision.h"
#include "targets/target_row.h"

namespace varnelt {

// Decides the file of every row with `jobs` threads. `deliver` runs on the calling thread,
// once per row and in row order, as soon as that row and every row before it are decided.
void DecideInParallel(const std::vector<TargetRow>& rows,
                      const std::vector<ArchiveChecker>& checkers, int jobs,
                      const std::function<void(size_t, const FileOutcome&)>& deliver);

// One row's decision, as the check run makes it.
FileOutcome DecideRow(const TargetRow& row, const std::vector<ArchiveChecker>& checkers);

}  // namespace varnelt
