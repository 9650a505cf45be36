// A library's answer on one archive with a number of lent threads, and the check that every lent
// count gives the answer of one thread.
#pragma once

#include <QString>

#include <cstdint>
#include <initializer_list>
#include <ostream>

#include "tests/support/bound_library.h"

namespace varnelt::test {

struct ThreadedAnswer {
    int32_t code;
    int32_t count;
    QString reason;
    bool operator==(const ThreadedAnswer&) const = default;
};

void PrintTo(const ThreadedAnswer& answer, std::ostream* out);

// The test's code, the entry count and the test's reason with threads lent; one thread after.
ThreadedAnswer answerWithThreads(const BoundLibrary& library, const QString& path, int threads);

// The answer of one thread, expected of every count in threadCounts too.
ThreadedAnswer expectSameAnswers(const BoundLibrary& library, const QString& path,
                                 const char* label, std::initializer_list<int> threadCounts);

}  // namespace varnelt::test
