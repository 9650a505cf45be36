// The check of one file by one format's library against the rules: the library's test,
// then the extension, count and stored-name rules, the first broken rule deciding.
#pragma once

#include <QByteArray>
#include <QString>

#include "app/runtime_error.h"
#include "checkers/archive_format.h"
#include "checkers/archiver_library.h"
#include "checkers/check_rules.h"

namespace varnelt {

struct CheckOutcome {
    int result = 0;  // 1 good; 0 this format did not accept the file; -1 bad by a rule
    QString verdict;
    MaybeError error;  // the file could not be read: no verdict
};

// A rule's answer: -1 broken, 0 holds.
struct RuleAnswer {
    int answer = 0;
    MaybeError error;
};

class ArchiveChecker {
public:
    ArchiveChecker(const FormatTraits& traits, const ArchiverLibrary& library,
                   const CheckRules& rules);

    ArchiveFormat format() const { return traits_.format; }

    CheckOutcome CheckFile(const QString& path) const;
    int CheckFileCount(const QString& path) const;
    int CheckStoredName(const QString& path) const;
    // testResult is the library's passing answer, which picks BGA's extension.
    RuleAnswer CheckExtension(const QString& path, int32_t testResult) const;

private:
    enum class TestVerdict { Passed, Password, Failed };
    struct TestOutcome {
        TestVerdict verdict;
        int32_t answer;
    };
    TestOutcome runTest(const QByteArray& path) const;
    CheckOutcome applyRules(const QString& path, int32_t testResult) const;
    RuleAnswer checkLeadingBytes(const QString& path, const QString& extension) const;
    int checkSfx(const QByteArray& path, const QString& extension) const;

    const FormatTraits& traits_;
    const ArchiverLibrary& library_;
    const CheckRules& rules_;
};

// Offers the file to each checker in turn until one answers other than 0; the outcome is the
// last checker's. Checkers come in the order LZH, ZIP, CAB, TAR, RAR, BGA, YZ1, GCA, 7z.
template <typename Checkers>
CheckOutcome DecideFile(const QString& path, const Checkers& enabledCheckers) {
    CheckOutcome outcome;
    for (const ArchiveChecker& checker : enabledCheckers) {
        outcome = checker.CheckFile(path);
        if (outcome.error || outcome.result != 0) {
            break;
        }
    }
    return outcome;
}

}  // namespace varnelt
