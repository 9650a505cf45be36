#include "cli/check_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>

#include <optional>

#include "base/app_paths.h"
#include "base/error_catalogue.h"
#include "base/name_decoding.h"
#include "base/paths.h"
#include "base/version.h"
#include "checkers/archiver_set.h"
#include "cli/check_messages.h"
#include "cli/check_options.h"
#include "cli/check_report.h"
#include "cli/interrupt_watch.h"
#include "engine/check_engine.h"
#include "engine/elapsed.h"
#include "engine/log_file.h"
#include "engine/log_format.h"
#include "engine/make_folders.h"
#include "engine/run_setup.h"
#include "targets/registrar.h"

namespace varnelt {

namespace {

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

void reportError(const RuntimeError& error) {
    err() << "varnelt-check: " << EnglishDescription(error) << Qt::endl;
}

void printVersions(const ArchiverSet& archivers) {
    QTextStream out(stdout);
    out << "varnelt-check " << AppVersionText() << '\n';
    for (const ArchiveFormat format : kAllFormats) {
        const FormatTraits& traits = TraitsOf(format);
        out << QString::fromLatin1(traits.name).leftJustified(5)
            << QString::fromLatin1(traits.libraryFile).leftJustified(15)
            << (archivers.installed(format) ? FormatLibraryVersion(archivers.version(format))
                                            : CheckMessages::tr("not installed"))
            << '\n';
    }
}

// Registers every path; reports and counts the ones that fail.
std::vector<TargetRow> registerPaths(const CheckOptions& options, int& errors) {
    std::vector<TargetRow> rows;
    const auto report = [&errors](const RuntimeError& error) {
        reportError(error);
        ++errors;
    };
    Registrar registrar({
        .addRow = [&rows](TargetRow&& row) { rows.push_back(std::move(row)); },
        .filter = [&options] { return std::optional(options.filter); },
        .reportError = report,
    });
    for (const QByteArray& path : options.paths) {
        if (const MaybeError error =
                registrar.AddPath(AbsoluteNativePath(path), options.recursive)) {
            report(*error);
        }
    }
    return rows;
}

// The move destination exists before the first file is tested, made only when asked for.
MaybeError prepareDestination(const CheckOptions& options) {
    if (options.action != DisposalAction::Move) {
        return std::nullopt;
    }
    struct stat info {};
    if (stat(options.moveTo.constData(), &info) == 0) {
        return S_ISDIR(info.st_mode) ? MaybeError()
                                     : RuntimeError{ENOTDIR, DecodePath(options.moveTo)};
    }
    if (errno != ENOENT || !options.createDir) {
        return RuntimeError{errno, DecodePath(options.moveTo)};
    }
    return MakeFolders(options.moveTo, 0777);
}

}  // namespace

int RunCheckCommand(const QByteArrayList& arguments) {
    ArchiverSet archivers;
    archivers.DetectArchivers();
    CheckCommandLine command;
    try {
        command = ParseCheckCommandLine(arguments, archivers);
    } catch (const UsageError& error) {
        err() << "varnelt-check: " << error.message << '\n'
              << CheckMessages::tr("Try 'varnelt-check --help'.") << Qt::endl;
        return 2;
    }
    if (command.request == CheckRequest::Help) {
        QTextStream(stdout) << CheckMessages::tr(kCheckUsage);
        return 0;
    }
    if (command.request == CheckRequest::Version) {
        printVersions(archivers);
        return 0;
    }
    const CheckOptions& options = command.options;
    if (const MaybeError error = prepareDestination(options)) {
        err() << "varnelt-check: "
              << (options.createDir ? CheckMessages::tr("the move destination: %1")
                                    : CheckMessages::tr("the move destination: %1 (--create-dir "
                                                        "makes it)"))
                     .arg(EnglishDescription(*error))
              << Qt::endl;
        return 2;
    }

    QElapsedTimer clock;
    clock.start();
    int errors = 0;
    const std::vector<TargetRow> rows = registerPaths(options, errors);

    LogFile log =
        options.logFile.isEmpty() ? LogFile::StandardOutput() : LogFile::Create(options.logFile);
    if (!log.isOpen()) {
        reportError(RuntimeError{log.error(), DecodePath(options.logFile)});
        return 2;
    }
    const bool jsonLines = options.format == RecordFormat::JsonLines;
    if (!jsonLines) {
        log.write(LogHeaderRecord());
    }

    RunSettings settings;
    settings.libraries = EnabledLibraries(archivers, options.formats);
    settings.rules = options.rules;
    settings.action = options.action;
    settings.destination = options.moveTo;
    settings.jobs = options.jobs;
    settings.limits = options.limits;
    settings.workerProgram = WorkerProgramPath();
    CheckEngine engine(RunFilesOf(rows), std::move(settings));
    const bool progress = !options.quiet && isatty(STDERR_FILENO) == 1;
    const auto note = [&](const QString& text) {
        if (!options.quiet) {
            err() << (progress ? "\n" : "") << "varnelt-check: " << text << Qt::endl;
        }
    };
    Summary summary{.total = static_cast<qsizetype>(rows.size()), .action = options.action};
    size_t done = 0;
    QObject::connect(&engine, &CheckEngine::decided, [&](size_t i, const RowDecision& decision) {
        TargetRow row = rows[i];
        row.verdict = decision.outcome.verdict;
        Count(summary.tally, decision, options.action);
        const QString path = row.path();
        for (const TestFailure& failure : decision.failures) {
            note(path + QStringLiteral(": ") + EnglishDescription(failure));
        }
        if (decision.outcome.kind == OutcomeKind::Unreadable && decision.outcome.readError != 0) {
            note(EnglishDescription(RuntimeError{decision.outcome.readError, path}));
        }
        log.write(jsonLines ? JsonRecord(row, decision, options.action) + '\n' : LogRecord(row));
        if (progress) {
            err() << "\r" << ++done << "/" << rows.size() << Qt::flush;
        }
    });
    QEventLoop loop;
    QObject::connect(&engine, &CheckEngine::finished, [&](const MaybeError& error) {
        if (error) {
            err() << (progress ? "\n" : "");
            reportError(*error);
            ++errors;
        }
        loop.quit();
    });
    const InterruptWatch interrupts([&engine] { engine.abandon(); });
    engine.start();
    loop.exec();

    if (!log.close()) {
        err() << "varnelt-check: "
              << CheckMessages::tr("cannot write the log: %1")
                     .arg(
                         EnglishDescription(RuntimeError{log.error(), DecodePath(options.logFile)}))
              << Qt::endl;
        ++errors;
    }
    summary.elapsedSeconds = clock.elapsed() / 1000;
    summary.interrupted = interrupts.interrupted();
    if (options.jsonSummary) {
        err() << (progress ? "\n" : "") << SummaryJson(summary) << Qt::endl;
    } else if (!options.quiet) {
        err() << (progress ? "\n" : "") << SummaryText(summary) << Qt::endl;
    }
    if (summary.interrupted) {
        return 130;
    }
    if (errors > 0) {
        return 2;
    }
    const Tally& tally = summary.tally;
    return tally.bad > 0 || tally.missing > 0 || tally.unreadable > 0 ? 1 : 0;
}

}  // namespace varnelt
