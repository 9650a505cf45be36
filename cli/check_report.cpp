#include "cli/check_report.h"

#include <QDateTime>

#include "base/error_catalogue.h"
#include "base/name_decoding.h"
#include "cli/action_words.h"
#include "cli/json_object.h"
#include "engine/elapsed.h"

namespace varnelt {

namespace {

const char* kindOf(const FileOutcome& outcome) {
    switch (outcome.kind) {
        case OutcomeKind::Good:
            return "good";
        case OutcomeKind::Missing:
            return "missing";
        case OutcomeKind::Unreadable:
            return "unreadable";
        case OutcomeKind::Bad:
            break;
    }
    switch (outcome.rule) {
        case VerdictRule::Password:
            return "password";
        case VerdictRule::Extension:
            return "extension";
        case VerdictRule::Count:
            return "count";
        case VerdictRule::Name:
            return "name";
        case VerdictRule::None:
        case VerdictRule::Broken:
            break;
    }
    return "broken";
}

// A path as decoded text, and as base64 bytes beside it when the text cannot give them back.
void addPath(JsonObject& object, const char* key, const char* bytesKey, const QByteArray& path) {
    const QString text = DecodePath(path);
    object.text(key, text);
    if (text.toUtf8() != path) {
        object.text(bytesKey, QString::fromLatin1(path.toBase64()));
    }
}

QString modifiedTime(qint64 seconds) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(seconds);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

bool wasDisposed(const RowDecision& decision, DisposalAction action) {
    return action != DisposalAction::Nothing && decision.outcome.kind == OutcomeKind::Bad &&
           !decision.disposalError;
}

}  // namespace

QString ReasonOf(const RowDecision& decision) {
    const FileOutcome& outcome = decision.outcome;
    if (outcome.kind == OutcomeKind::Unreadable && outcome.readError != 0) {
        return EnglishDescription(RuntimeError{outcome.readError, QString()});
    }
    if (!outcome.reason.isEmpty()) {
        return outcome.reason;
    }
    if (outcome.kind == OutcomeKind::Good || outcome.kind == OutcomeKind::Missing) {
        return {};
    }
    if (!decision.failures.empty()) {
        return EnglishDescription(decision.failures.back());
    }
    return {};
}

QByteArray JsonRecord(const TargetRow& row, const RowDecision& decision, DisposalAction action) {
    const FileOutcome& outcome = decision.outcome;
    JsonObject record;
    addPath(record, "path", "path_bytes", row.nativePath());
    record.text("name", row.name).text("folder", row.folder);
    if (row.size < 0) {
        record.null("size");
    } else {
        record.number("size", row.size);
    }
    record.text("mtime", modifiedTime(row.modifiedSeconds))
        .text("verdict", row.verdict)
        .text("kind", QLatin1String(kindOf(outcome)));
    if (outcome.format) {
        record.text("format", QLatin1String(TraitsOf(*outcome.format).name));
    } else {
        record.null("format");
    }
    record.textOrNull("reason", ReasonOf(decision));
    if (wasDisposed(decision, action)) {
        JsonObject disposal;
        disposal.text("action", QLatin1String(WordsOf(action).name));
        if (decision.disposedTo.isEmpty()) {
            disposal.null("to");
        } else {
            addPath(disposal, "to", "to_bytes", decision.disposedTo);
        }
        record.object("disposal", disposal);
    } else {
        record.null("disposal");
    }
    return record.json();
}

void Count(Tally& tally, const RowDecision& decision, DisposalAction action) {
    switch (decision.outcome.kind) {
        case OutcomeKind::Good:
            ++tally.good;
            break;
        case OutcomeKind::Bad:
            ++tally.bad;
            break;
        case OutcomeKind::Missing:
            ++tally.missing;
            break;
        case OutcomeKind::Unreadable:
            ++tally.unreadable;
            break;
    }
    if (wasDisposed(decision, action)) {
        ++tally.disposed;
    }
}

QString SummaryText(const Summary& summary) {
    const Tally& tally = summary.tally;
    QString text = QStringLiteral("good %1, bad %2, missing %3, unreadable %4, total %5")
                       .arg(tally.good)
                       .arg(tally.bad)
                       .arg(tally.missing)
                       .arg(tally.unreadable)
                       .arg(summary.total);
    if (const char* word = WordsOf(summary.action).done) {
        text += QStringLiteral(", %1 %2").arg(QLatin1String(word)).arg(tally.disposed);
    }
    return text + QStringLiteral(", elapsed ") + FormatElapsedSeconds(summary.elapsedSeconds);
}

QByteArray SummaryJson(const Summary& summary) {
    const Tally& tally = summary.tally;
    JsonObject json;
    json.number("good", tally.good)
        .number("bad", tally.bad)
        .number("missing", tally.missing)
        .number("unreadable", tally.unreadable)
        .number("total", summary.total)
        .number("elapsed_seconds", summary.elapsedSeconds);
    for (const ActionWords& words : kActionWords) {
        if (words.done != nullptr) {
            json.number(words.done, summary.action == words.action ? tally.disposed : 0);
        }
    }
    return json.boolean("interrupted", summary.interrupted).json();
}

}  // namespace varnelt
