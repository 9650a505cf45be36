#include "checkers/archive_checker.h"

#include <string_view>

#include "base/paths.h"
#include "base/regular_file.h"

namespace varnelt {

namespace {

bool startsWith(const LeadingBytes& head, std::string_view bytes) {
    return std::string_view(head.data(), bytes.size()) == bytes;
}

// Answers by which a library says it could not open or read the file, which may be the
// system's refusal as much as damage.
bool couldNotRead(int32_t answer) {
    return answer == VARNELT_ARC_ERROR_ARC_FILE_OPEN || answer == VARNELT_ARC_ERROR_CANNOT_READ;
}

}  // namespace

ArchiveChecker::ArchiveChecker(const FormatTraits& traits, const ArchiverLibrary& library,
                               const CheckRules& rules)
    : traits_(traits), library_(library), rules_(rules) {}

ArchiveChecker::TestOutcome ArchiveChecker::judgeTest(int32_t answer, bool passed) const {
    if (passed) {
        return {TestVerdict::Passed, answer, {}};
    }
    // The reason is the calling thread's, so it is asked for before anything else is called.
    QString reason = library_.lastErrorText();
    if (traits_.testCall == TestCall::Command && traits_.hasPasswordAnswer &&
        answer == VARNELT_ARC_ERROR_PASSWORD) {
        return {TestVerdict::Password, answer, std::move(reason)};
    }
    return {TestVerdict::Failed, answer, std::move(reason)};
}

ArchiveChecker::TestOutcome ArchiveChecker::runTest(const QByteArray& path) const {
    if (traits_.testCall == TestCall::Command) {
        if (library_.command == nullptr) {
            return {TestVerdict::Failed, -1, {}};
        }
        const QByteArray commandLine = traits_.commandSwitches + ('"' + path + '"');
        const int32_t answer = library_.command(nullptr, commandLine.constData(), nullptr, 0);
        return judgeTest(answer, answer == 0);
    }
    if (library_.checkArchive == nullptr) {
        return {TestVerdict::Failed, -1, {}};
    }
    // Further modes are tried only while the library answers 0; the last answer decides.
    int32_t answer = 0;
    for (const int32_t mode : traits_.checkModes) {
        answer = library_.checkArchive(path.constData(), mode);
        if (answer != 0) {
            break;
        }
    }
    return judgeTest(answer, answer == 1 || (traits_.secondResultPasses && answer == 2));
}

CheckOutcome FailedTestOutcome(const CheckRules& rules) {
    if (rules.badFile) {
        return {.result = 0, .verdict = rules.badFileCaption, .rule = VerdictRule::Broken};
    }
    return {.result = 1, .verdict = rules.goodVerdict};
}

CheckOutcome ArchiveChecker::CheckFile(const CheckedFile& file) const {
    const TestOutcome test = runTest(file.path);
    switch (test.verdict) {
        case TestVerdict::Failed:
            // The library's word alone never makes a file unreadable: the program reads it
            // through itself, and a file it reads whole is simply not accepted.
            if (couldNotRead(test.answer)) {
                if (const int error = ReadThrough(file.path); error != 0) {
                    return {.readError = error};
                }
            }
            {
                CheckOutcome failed = FailedTestOutcome(rules_);
                failed.reason = test.reason;
                return failed;
            }
        case TestVerdict::Password:
            if (rules_.badNoPassword) {
                return {.result = -1,
                        .verdict = rules_.badNoPasswordCaption,
                        .rule = VerdictRule::Password,
                        .reason = test.reason};
            }
            break;
        case TestVerdict::Passed:
            break;
    }
    return applyRules(file, test.answer);
}

CheckOutcome ArchiveChecker::applyRules(const CheckedFile& file, int32_t testResult) const {
    const auto broken = [](const QString& verdict, VerdictRule rule) {
        return CheckOutcome{.result = -1, .verdict = verdict, .rule = rule};
    };
    if (rules_.badNoExt && CheckExtension(file, testResult) == -1) {
        return broken(rules_.badNoExtCaption, VerdictRule::Extension);
    }
    if (rules_.badNoFileSum) {
        if (CheckFileCount(file.path) == -1) {
            return broken(rules_.fileCountVerdict, VerdictRule::Count);
        }
        // The stored-name rule lives inside the count rule: only single-entry archives reach it.
        if (rules_.fileCountLimit == 2 && rules_.badNoFileName && CheckStoredName(file) == -1) {
            return broken(rules_.badNoFileNameCaption, VerdictRule::Name);
        }
    }
    return {.result = 1, .verdict = rules_.goodVerdict};
}

int ArchiveChecker::CheckFileCount(const QByteArray& path) const {
    if (library_.getFileCount == nullptr) {
        return 0;
    }
    const int32_t count = library_.getFileCount(path.constData());
    // A negative count is the library's error value and never breaks the rule.
    return count >= rules_.fileCountLimit ? -1 : 0;
}

int ArchiveChecker::CheckStoredName(const CheckedFile& file) const {
    if (library_.openArchive == nullptr || library_.findFirst == nullptr ||
        library_.closeArchive == nullptr) {
        return -1;
    }
    const QString archiveName = StripExtension(file.name);
    VarneltArchive archive = library_.openArchive(nullptr, file.path.constData(), 0);
    if (archive == nullptr) {
        return -1;
    }
    int answer = -1;
    VarneltEntryInfo info{};
    if (library_.findFirst(archive, "*.*", &info) == 0) {
        info.fileName[sizeof info.fileName - 1] = '\0';
        const QString stored = StripExtension(QString::fromUtf8(info.fileName));
        answer = stored == archiveName ? 0 : -1;
    }
    library_.closeArchive(archive);
    return answer;
}

int ArchiveChecker::CheckExtension(const CheckedFile& file, int32_t testResult) const {
    const QString extension = GetExtension(file.name).toLower();
    switch (traits_.extensionRule) {
        case ExtensionRule::LeadingBytes:
            return checkLeadingBytes(file.head, extension);
        case ExtensionRule::SfxQuery:
            return checkSfx(file.path, extension);
        case ExtensionRule::BgaResult: {
            // The test result names the kind; a self-extracting one is told by its bytes.
            const QLatin1String kind(testResult == 1 ? "gza" : "bza");
            if (extension == kind) {
                return 0;
            }
            return startsWith(file.head, "MZ") && extension == QLatin1String("exe") ? 0 : -1;
        }
    }
    return -1;
}

int ArchiveChecker::checkLeadingBytes(const LeadingBytes& head, const QString& extension) const {
    for (const LeadingBytesRule& rule : traits_.leadingBytes) {
        if (startsWith(head, rule.bytes)) {
            return extension == QLatin1String(rule.extension) ? 0 : -1;
        }
    }
    return -1;
}

int ArchiveChecker::checkSfx(const QByteArray& path, const QString& extension) const {
    if (library_.openArchive == nullptr || library_.isSfxFile == nullptr ||
        library_.closeArchive == nullptr) {
        return -1;
    }
    VarneltArchive archive = library_.openArchive(nullptr, path.constData(), 0);
    if (archive == nullptr) {
        return -1;
    }
    const int32_t sfx = library_.isSfxFile(archive);
    int answer = -1;
    if (sfx == 0) {
        answer = extension == QLatin1String(traits_.plainExtension) ? 0 : -1;
    } else if (sfx > 0) {
        answer = extension == QLatin1String("exe") ? 0 : -1;
    }
    library_.closeArchive(archive);
    return answer;
}

}  // namespace varnelt
