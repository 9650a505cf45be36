#include "checkers/file_decision.h"

#include <cerrno>

#include "base/regular_file.h"

namespace varnelt {

namespace {

// A file that cannot be opened or read: missing when it (or a folder on its way) is gone.
FileOutcome notRead(int error, const CheckRules& rules) {
    if (error == ENOENT || error == ENOTDIR) {
        return {.kind = OutcomeKind::Missing, .verdict = rules.missingFileVerdict};
    }
    return {.kind = OutcomeKind::Unreadable,
            .verdict = rules.unreadableFileVerdict,
            .readError = error};
}

// The first bytes of the file, which the extension rule compares, or the errno of the failure.
int readHead(const QByteArray& path, LeadingBytes& head) {
    const OpenedFile file = OpenRegularFile(path);
    if (file.error != 0) {
        return file.error;
    }
    for (size_t filled = 0; filled < head.size();) {
        const ssize_t got = ReadSome(file.fd.get(), head.data() + filled, head.size() - filled);
        if (got < 0) {
            return errno;
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<size_t>(got);
    }
    return 0;
}

}  // namespace

FileOutcome DecidedBy(const CheckOutcome& outcome, std::optional<ArchiveFormat> format) {
    return {.kind = outcome.result == 1 ? OutcomeKind::Good : OutcomeKind::Bad,
            .verdict = outcome.verdict,
            .rule = outcome.rule,
            .format = format,
            .reason = outcome.reason};
}

FileOutcome DecideFile(const QByteArray& path, const QString& name,
                       std::span<const ArchiveChecker> checkers, const CheckRules& rules,
                       size_t firstChecker, const CheckerStarting& starting) {
    CheckedFile file{path, name, {}};
    if (const int error = readHead(path, file.head); error != 0) {
        return notRead(error, rules);
    }
    CheckOutcome outcome;
    // A file no format accepts is explained by the first library that said why it failed it:
    // the others merely found a file of another format.
    std::optional<ArchiveFormat> complainer;
    QString complaint;
    for (size_t i = firstChecker; i < checkers.size(); ++i) {
        if (starting) {
            starting(i);
        }
        outcome = checkers[i].CheckFile(file);
        if (outcome.readError != 0) {
            return notRead(outcome.readError, rules);
        }
        if (outcome.result != 0) {
            return DecidedBy(outcome, checkers[i].format());
        }
        if (!complainer && !outcome.reason.isEmpty()) {
            complainer = checkers[i].format();
            complaint = outcome.reason;
        }
    }
    outcome.reason = complaint;
    return DecidedBy(outcome, complainer);
}

}  // namespace varnelt
