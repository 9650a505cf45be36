// How many threads a library may use to decode one archive, as the program last allowed.
// Parallel paths give exactly the answers of the sequential ones; they only finish sooner.
#pragma once

#include <cstdint>

namespace varnelt::archiver {

// 1 until the program says otherwise; never below 1.
int threadBudget() noexcept;
void setThreadBudget(int32_t count) noexcept;

}  // namespace varnelt::archiver
