// What varnelt-check says about each decided file: its reason, its JSON record, and the counts
// of the summary.
#pragma once

#include <QByteArray>
#include <QString>

#include "engine/check_engine.h"
#include "targets/target_row.h"

namespace varnelt {

// Why the file failed or could not be read, in English; empty when nothing is known.
QString ReasonOf(const RowDecision& decision);

// The file's JSON record (without its line end). row carries the verdict already.
QByteArray JsonRecord(const TargetRow& row, const RowDecision& decision, DisposalAction action);

struct Tally {
    int good = 0;
    int bad = 0;
    int missing = 0;
    int unreadable = 0;
    int disposed = 0;  // bad files moved, trashed or deleted
};

void Count(Tally& tally, const RowDecision& decision, DisposalAction action);

struct Summary {
    Tally tally{};
    qsizetype total = 0;
    qint64 elapsedSeconds = 0;
    DisposalAction action = DisposalAction::Nothing;
    bool interrupted = false;
};

QString SummaryText(const Summary& summary);
QByteArray SummaryJson(const Summary& summary);

}  // namespace varnelt
