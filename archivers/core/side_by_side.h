// Tests the independent parts of one archive (ZIP entries, say) on several threads and hands the
// answers back in the parts' order, each with the reason recorded for it, so that the caller
// decides exactly as it would have one part after another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace varnelt::archiver {

struct PartOutcome {
    bool tested = false;  // false for parts after one that ended the walk
    int32_t code = 0;
    std::string reason;  // recorded for code while the part was tested
    std::exception_ptr thrown;
};

// Calls test(i) for every part i below count on up to threads threads (the calling one among
// them). Parts after the first whose answer ends(answer) are not begun; parts begun before it
// was found still finish. A thread that cannot be started leaves its share to the others.
std::vector<PartOutcome> testSideBySide(size_t count, int threads,
                                        const std::function<int32_t(size_t)>& test,
                                        const std::function<bool(int32_t)>& ends);

// Records outcome's reason for this thread, as if the part had just been tested here, and answers
// its code; rethrows what the part threw.
int32_t replayOutcome(const PartOutcome& outcome);

}  // namespace varnelt::archiver
