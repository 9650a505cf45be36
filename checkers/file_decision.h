// The decision about one file, from its path to its verdict: one plain function of plain
// data, so that it could be made anywhere and its outcome carried back. What then happens to
// a bad file is a separate step for the caller.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <span>

#include "checkers/archive_checker.h"

namespace varnelt {

enum class OutcomeKind {
    Good,
    Bad,         // broke a rule
    Missing,     // no longer there
    Unreadable,  // there, but the system refused to let it be read
};

struct FileOutcome {
    OutcomeKind kind = OutcomeKind::Missing;
    QString verdict;
    int readError = 0;  // why an unreadable file could not be read: an errno or catalogue number
    VerdictRule rule = VerdictRule::None;
    // The format whose checker decided; for a file no format accepted, the first whose library
    // said why it failed, if any.
    std::optional<ArchiveFormat> format{};
    QString reason{};  // that library's word on what is wrong with the file
};

// The file's outcome once the checker of `format` answered other than 0, or the last one
// answered.
FileOutcome DecidedBy(const CheckOutcome& outcome, std::optional<ArchiveFormat> format);

// Told the index of each checker before its library is asked.
using CheckerStarting = std::function<void(size_t)>;

// Opens the file first (O_NONBLOCK, a regular file only) and reads its first bytes: a file
// that is missing or cannot be read never reaches a library. Then offers it to each checker
// in turn until one answers other than 0; that answer, or the last checker's, decides.
// path is the system's bytes; name is the decoded file name the rules compare. Checkers come
// in the order LZH, ZIP, CAB, TAR, RAR, BGA, YZ1, GCA, 7z. A decision taken up again after a
// library failed the file begins at firstChecker. rules, those of the checkers, give the
// verdicts of a file that could not be read.
FileOutcome DecideFile(const QByteArray& path, const QString& name,
                       std::span<const ArchiveChecker> checkers, const CheckRules& rules,
                       size_t firstChecker = 0, const CheckerStarting& starting = {});

}  // namespace varnelt
