// The check of one file by one format's library against the rules: the library's test,
// then the extension, count and stored-name rules, the first broken rule deciding.
#pragma once

#include <QByteArray>
#include <QString>

#include <array>

#include "checkers/archive_format.h"
#include "checkers/archiver_library.h"
#include "checkers/check_rules.h"

namespace varnelt {

// A file's first bytes, padded with zero bytes when it is shorter.
using LeadingBytes = std::array<char, 3>;

// A row's file as the checkers see it. The libraries take the path as the system's bytes; the
// rules compare the name as it is shown; the first bytes are read once for every format.
struct CheckedFile {
    QByteArray path;
    QString name;
    LeadingBytes head{};
};

struct CheckOutcome {
    int result = 0;  // 1 good; 0 this format did not accept the file; -1 bad by a rule
    QString verdict{};
    int readError = 0;  // the file could not be read (an errno): no verdict
    VerdictRule rule = VerdictRule::None;
    QString reason{};  // the library's own word on why its test failed, when it says
};

// What a test that failed makes of the file: not accepted by this format (bad should no
// other format take it) while the broken rule is on, else good.
CheckOutcome FailedTestOutcome(const CheckRules& rules);

class ArchiveChecker {
public:
    ArchiveChecker(const FormatTraits& traits, const ArchiverLibrary& library,
                   const CheckRules& rules);

    ArchiveFormat format() const { return traits_.format; }

    CheckOutcome CheckFile(const CheckedFile& file) const;
    int CheckFileCount(const QByteArray& path) const;
    int CheckStoredName(const CheckedFile& file) const;
    // testResult is the library's passing answer, which picks BGA's extension.
    int CheckExtension(const CheckedFile& file, int32_t testResult) const;

private:
    enum class TestVerdict { Passed, Password, Failed };
    struct TestOutcome {
        TestVerdict verdict;
        int32_t answer;
        QString reason;
    };
    TestOutcome runTest(const QByteArray& path) const;
    TestOutcome judgeTest(int32_t answer, bool passed) const;
    CheckOutcome applyRules(const CheckedFile& file, int32_t testResult) const;
    int checkLeadingBytes(const LeadingBytes& head, const QString& extension) const;
    int checkSfx(const QByteArray& path, const QString& extension) const;

    const FormatTraits& traits_;
    const ArchiverLibrary& library_;
    const CheckRules& rules_;
};

}  // namespace varnelt
