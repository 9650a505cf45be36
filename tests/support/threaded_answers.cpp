#include "tests/support/threaded_answers.h"

#include <gtest/gtest.h>

namespace varnelt::test {

void PrintTo(const ThreadedAnswer& answer, std::ostream* out) {
    *out << "code " << answer.code << ", count " << answer.count << ", reason \""
         << answer.reason.toStdString() << "\"";
}

ThreadedAnswer answerWithThreads(const BoundLibrary& library, const QString& path, int threads) {
    library.setThreads(threads);
    ThreadedAnswer answer{library.test(path), library.count(path), {}};
    library.test(path);
    answer.reason = library.reason();
    library.setThreads(1);
    return answer;
}

ThreadedAnswer expectSameAnswers(const BoundLibrary& library, const QString& path,
                                 const char* label, std::initializer_list<int> threadCounts) {
    const ThreadedAnswer sequential = answerWithThreads(library, path, 1);
    for (const int threads : threadCounts) {
        EXPECT_EQ(answerWithThreads(library, path, threads), sequential)
            << label << " with " << threads << " threads";
    }
    return sequential;
}

}  // namespace varnelt::test
