// varnelt-check's command line: what to check, how to judge, what to do with a bad archive and
// how to report.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <vector>

#include "checkers/archive_format.h"
#include "checkers/archiver_set.h"
#include "checkers/check_rules.h"
#include "engine/run_limits.h"
#include "targets/extension_filter.h"
#include "targets/form_state.h"

namespace varnelt {

extern const char kCheckUsage[];

struct UsageError {
    QString message;
};

enum class RecordFormat { Log, JsonLines };

struct CheckOptions {
    std::vector<ArchiveFormat> formats;
    CheckRules rules;
    ExtensionFilter filter;
    bool recursive = false;
    int jobs = 1;
    RunLimits limits;
    QByteArray logFile;
    QByteArrayList paths;  // the system's bytes
    DisposalAction action = DisposalAction::Nothing;
    QByteArray moveTo;  // the system's bytes, ending in "/"
    bool createDir = false;
    RecordFormat format = RecordFormat::Log;
    bool quiet = false;
    bool jsonSummary = false;
};

enum class CheckRequest { Run, Help, Version };

struct CheckCommandLine {
    CheckRequest request = CheckRequest::Run;
    CheckOptions options;
};

// Options may follow the paths; "--" ends the options. Throws UsageError.
CheckCommandLine ParseCheckCommandLine(const QByteArrayList& arguments,
                                       const ArchiverSet& archivers);

}  // namespace varnelt
