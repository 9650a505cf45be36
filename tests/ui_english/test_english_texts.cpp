// The window's English descriptions of failures are the ones varnelt-check gives: the
// catalogue's translations and the command line's texts cannot drift apart.
#include <gtest/gtest.h>

#include <cerrno>

#include "base/error_catalogue.h"
#include "engine/test_failure.h"

namespace varnelt::test {
namespace {

TEST(EnglishTexts, ErrorDescriptionsMatchTheCommandLines) {
    for (const int number :
         {ENOENT, EACCES, EPERM, EBUSY, ENOSPC, EROFS, EEXIST, EISDIR, ENOTDIR, ENAMETOOLONG, EIO,
          EXDEV, EINVAL, kErrorInvalidPattern, kErrorNoFreeName, kErrorIncompleteWrite,
          kErrorNotRegularFile, kErrorWorkerFailed}) {
        EXPECT_EQ(DescriptionInUse(RuntimeError{number, QString()}),
                  EnglishDescription(RuntimeError{number, QString()}))
            << number;
    }
    EXPECT_EQ(DescriptionInUse(RuntimeError{ENOENT, QStringLiteral("/gone/a.zip")}),
              QStringLiteral("No such file or folder /gone/a.zip"));
    EXPECT_TRUE(DescriptionInUse(RuntimeError{EDOM, QString()})
                    .startsWith(QStringLiteral("An unexpected error occurred (")));
}

TEST(EnglishTexts, TestFailureDescriptionsMatchTheCommandLines) {
    for (const auto kind : {TestFailure::Kind::Crashed, TestFailure::Kind::Exited,
                            TestFailure::Kind::TimeLimit, TestFailure::Kind::MemoryLimit}) {
        const TestFailure failure{kind, 9, QStringLiteral("libunzip32.so")};
        EXPECT_EQ(DescriptionInUse(failure), EnglishDescription(failure));
    }
}

}  // namespace
}  // namespace varnelt::test
