#include "cli/check_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <functional>
#include <memory>
#include <optional>

#include "base/app_paths.h"
#include "base/decimal_text.h"
#include "base/error_catalogue.h"
#include "base/name_decoding.h"
#include "base/paths.h"
#include "base/version.h"
#include "checkers/archiver_set.h"
#include "engine/check_engine.h"
#include "engine/elapsed.h"
#include "engine/log_file.h"
#include "engine/log_format.h"
#include "engine/run_setup.h"
#include "targets/registrar.h"

namespace varnelt {

namespace {

const char kUsage[] =
    "Usage: varnelt-check [options] PATH...\n"
    "\n"
    "Tests every archive among the given files and folders and writes a log of verdicts:\n"
    "a header record, then one record per file with its name, folder, size, modification\n"
    "time and verdict; five quoted fields, CR LF line ends, UTF-8.\n"
    "A PATH that is a folder registers its own regular files; hidden (dot) files, pipes,\n"
    "sockets and devices are never registered.\n"
    "\n"
    "Options:\n"
    "  --formats LIST  formats to test with, any of lzh,zip,cab,tar,rar,bga,yz1,gca,7z\n"
    "                  (default: every format whose library is installed). A file is\n"
    "                  offered to them in the order lzh, zip, cab, tar, rar, bga, yz1,\n"
    "                  gca, 7z until one accepts it.\n"
    "  --rules LIST    what makes an archive bad, any of\n"
    "                    broken     damaged, or read by no chosen format (default)\n"
    "                    password   encrypted ZIP whose password was not given\n"
    "                    extension  extension does not fit the content\n"
    "                    count      holds at least N stored files (see --count)\n"
    "                    name       single stored file named otherwise than the archive;\n"
    "                               only together with count and N = 2\n"
    "  --count N       the count rule's N, 2 to 999999 (default 2)\n"
    "  --filter MODE   off (default: every file), auto (extensions of the chosen formats,\n"
    "                  and exe), or a list of extension patterns such as \"zip;lzh\"\n"
    "                  (* any run, ? one character, # one digit, [a-c] and [!a-c])\n"
    "  -r              also register the files of every subfolder (links to folders are\n"
    "                  not followed)\n"
    "  --jobs N        test N files at once (default: the number of cores); records are\n"
    "                  still written in registration order\n"
    "  --time-limit S  each file's test may take S seconds plus one second per MB of\n"
    "                  the file (default 60; 0: no limit)\n"
    "  --memory-limit MB  each test may use MB megabytes of memory (default 2048;\n"
    "                  0: no limit)\n"
    "  --log FILE      write the log to FILE instead of standard output\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "A file that cannot be read (no permission, a failing disk) is never judged: its record\n"
    "says so and the system's reason goes to standard error.\n"
    "Archives are tested in separate worker processes. A test that crashes its library or\n"
    "passes a limit fails like a damaged archive, and the reason goes to standard error.\n"
    "Each record is written as soon as it and every record before it are decided. On\n"
    "SIGINT or SIGTERM no further file is begun, the tests under way are given up, the\n"
    "summary is printed and the exit status is 130.\n"
    "A summary (good, bad, missing, unreadable, total, elapsed time) goes to standard error,\n"
    "and on a terminal a progress line too.\n"
    "\n"
    "Exit status: 0 every file good, 1 at least one bad, missing or unreadable file, 2 bad\n"
    "usage or an error.\n";

struct UsageError {
    QString message;
};

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

struct Options {
    std::vector<ArchiveFormat> formats;
    CheckRules rules;
    ExtensionFilter filter;
    bool recursive = false;
    int jobs = 1;
    RunLimits limits;
    QByteArray logFile;
    QByteArrayList paths;  // the system's bytes
};

// The parser is handed every argument as Latin-1 text, which gives back the very bytes of the
// paths; the other values are decoded as names are.
QString textOf(const QString& argument) {
    return DecodeName(argument.toLatin1());
}

std::optional<int> parseNumber(const QString& text, int low, int high) {
    const std::optional<int> value = ParseDecimal(text);
    return value && *value >= low && *value <= high ? value : std::nullopt;
}

std::vector<ArchiveFormat> parseFormats(const QString& list, const ArchiverSet& archivers) {
    std::vector<ArchiveFormat> formats;
    for (const QString& name : list.split(u',')) {
        const auto found = std::find_if(
            kAllFormats.begin(), kAllFormats.end(),
            [&](ArchiveFormat f) { return name.trimmed() == QLatin1String(TraitsOf(f).name); });
        if (found == kAllFormats.end()) {
            throw UsageError{QStringLiteral("unknown format '%1' in --formats").arg(name)};
        }
        if (!archivers.installed(*found)) {
            throw UsageError{QStringLiteral("format %1: its library %2 is not installed")
                                 .arg(name.trimmed(), QLatin1String(TraitsOf(*found).libraryFile))};
        }
        formats.push_back(*found);
    }
    return formats;
}

void parseRules(const QString& list, CheckRules& rules) {
    rules.badFile = false;
    for (const QString& name : list.split(u',')) {
        const QString rule = name.trimmed();
        if (rule == QLatin1String("broken")) {
            rules.badFile = true;
        } else if (rule == QLatin1String("password")) {
            rules.badNoPassword = true;
        } else if (rule == QLatin1String("extension")) {
            rules.badNoExt = true;
        } else if (rule == QLatin1String("count")) {
            rules.badNoFileSum = true;
        } else if (rule == QLatin1String("name")) {
            rules.badNoFileName = true;
        } else {
            throw UsageError{QStringLiteral("unknown rule '%1' in --rules").arg(name)};
        }
    }
}

ExtensionFilter parseFilter(const QString& mode, const std::vector<ArchiveFormat>& formats,
                            const ArchiverSet& archivers) {
    if (mode == QLatin1String("off")) {
        return {};
    }
    QString list = mode;
    if (mode == QLatin1String("auto")) {
        FormatBoxState boxes[kFormatCount];
        for (const ArchiveFormat format : kAllFormats) {
            boxes[static_cast<int>(format)] = {
                archivers.installed(format),
                std::find(formats.begin(), formats.end(), format) != formats.end()};
        }
        list = BuildAutoFilterList(boxes);
    }
    auto filter = ExtensionFilter::fromList(list);
    if (!filter) {
        throw UsageError{
            QStringLiteral("--filter '%1' holds an invalid pattern (an unclosed '[')").arg(mode)};
    }
    return *filter;
}

Options parseOptions(const QByteArrayList& arguments, const ArchiverSet& archivers) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption formats(QStringLiteral("formats"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption rules(QStringLiteral("rules"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption count(QStringLiteral("count"), QString(), QStringLiteral("N"));
    const QCommandLineOption filter(QStringLiteral("filter"), QString(), QStringLiteral("MODE"));
    const QCommandLineOption recursive(QStringLiteral("r"));
    const QCommandLineOption jobs(QStringLiteral("jobs"), QString(), QStringLiteral("N"));
    const QCommandLineOption log(QStringLiteral("log"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption timeLimit(QStringLiteral("time-limit"), QString(),
                                       QStringLiteral("S"));
    const QCommandLineOption memoryLimit(QStringLiteral("memory-limit"), QString(),
                                         QStringLiteral("MB"));
    parser.addOptions(
        {formats, rules, count, filter, recursive, jobs, log, timeLimit, memoryLimit});
    QStringList latin1{QStringLiteral("varnelt-check")};
    for (const QByteArray& argument : arguments) {
        latin1 << QString::fromLatin1(argument);
    }
    if (!parser.parse(latin1)) {
        throw UsageError{textOf(parser.errorText())};
    }
    const auto text = [&parser](const QCommandLineOption& option) {
        return textOf(parser.value(option));
    };
    Options options;
    if (parser.isSet(formats)) {
        options.formats = parseFormats(text(formats), archivers);
    } else {
        for (const ArchiveFormat format : kAllFormats) {
            if (archivers.installed(format)) {
                options.formats.push_back(format);
            }
        }
    }
    if (parser.isSet(rules)) {
        parseRules(text(rules), options.rules);
    }
    if (parser.isSet(count)) {
        const auto limit = parseNumber(text(count), 2, 999999);
        if (!limit) {
            throw UsageError{QStringLiteral("--count takes a number from 2 to 999999, not '%1'")
                                 .arg(text(count))};
        }
        options.rules.fileCountLimit = *limit;
    }
    options.rules.fileCountVerdict =
        FormatFileCountVerdict(options.rules.fileCountLimit, kBadNoFileSumCaption);
    options.filter = parseFilter(parser.isSet(filter) ? text(filter) : QStringLiteral("off"),
                                 options.formats, archivers);
    options.recursive = parser.isSet(recursive);
    const auto number = [&](const QCommandLineOption& option, int low, int high, int fallback) {
        if (!parser.isSet(option)) {
            return fallback;
        }
        const auto value = parseNumber(text(option), low, high);
        if (!value) {
            throw UsageError{QStringLiteral("--%1 takes a number from %2 to %3, not '%4'")
                                 .arg(option.names().constFirst())
                                 .arg(low)
                                 .arg(high)
                                 .arg(text(option))};
        }
        return *value;
    };
    options.jobs = number(jobs, 1, 256, AutomaticJobs());
    options.limits.timeLimitSeconds = number(timeLimit, 0, 86400 * 365, kDefaultTimeLimitSeconds);
    options.limits.memoryLimitMB =
        number(memoryLimit, 0, 1024 * 1024 * 1024, kDefaultMemoryLimitMB);
    options.logFile = parser.value(log).toLatin1();
    for (const QString& path : parser.positionalArguments()) {
        options.paths << path.toLatin1();
    }
    if (options.paths.isEmpty()) {
        throw UsageError{QStringLiteral("no PATH given")};
    }
    if (options.formats.empty()) {
        throw UsageError{QStringLiteral("no archiver library is installed")};
    }
    return options;
}

// Registers every path; reports and counts the ones that fail.
std::vector<TargetRow> registerPaths(const Options& options, int& errors) {
    std::vector<TargetRow> rows;
    const auto report = [&errors](const RuntimeError& error) {
        err() << "varnelt-check: " << EnglishDescription(error) << Qt::endl;
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

// SIGINT and SIGTERM, turned into an event of the run's loop.
class InterruptWatch {
public:
    explicit InterruptWatch(std::function<void()> interrupted) {
        if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
            return;
        }
        signalPipe = pipe_[1];
        struct sigaction action {};
        action.sa_handler = [](int) {
            const char byte = 1;
            [[maybe_unused]] const ssize_t ignored = ::write(signalPipe, &byte, 1);
        };
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
        notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                         [this, interrupted = std::move(interrupted)] {
                             char bytes[16];
                             while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
                             }
                             interrupted_ = true;
                             interrupted();
                         });
    }
    ~InterruptWatch() {
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        notifier_.reset();
        for (const int fd : pipe_) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
    bool interrupted() const { return interrupted_; }

private:
    // The one thing a signal handler may touch.
    static inline int signalPipe = -1;
    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    bool interrupted_ = false;
};

struct Tally {
    int good = 0;
    int bad = 0;
    int missing = 0;
    int unreadable = 0;
};

void countOutcome(Tally& tally, OutcomeKind kind) {
    switch (kind) {
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
}

}  // namespace

int RunCheckCommand(const QByteArrayList& arguments) {
    if (arguments.contains("--help") || arguments.contains("-h")) {
        QTextStream(stdout) << kUsage;
        return 0;
    }
    if (arguments.contains("--version")) {
        QTextStream(stdout) << "varnelt-check " << AppVersionText() << Qt::endl;
        return 0;
    }
    ArchiverSet archivers;
    archivers.DetectArchivers();
    Options options;
    try {
        options = parseOptions(arguments, archivers);
    } catch (const UsageError& error) {
        err() << "varnelt-check: " << error.message << "\nTry 'varnelt-check --help'." << Qt::endl;
        return 2;
    }

    QElapsedTimer clock;
    clock.start();
    int errors = 0;
    const std::vector<TargetRow> rows = registerPaths(options, errors);

    LogFile log =
        options.logFile.isEmpty() ? LogFile::StandardOutput() : LogFile::Create(options.logFile);
    if (!log.isOpen()) {
        err() << "varnelt-check: "
              << EnglishDescription(RuntimeError{log.error(), DecodePath(options.logFile)})
              << Qt::endl;
        return 2;
    }
    log.write(LogHeaderRecord());

    RunSettings settings;
    settings.libraries = EnabledLibraries(archivers, options.formats);
    settings.rules = options.rules;
    settings.jobs = options.jobs;
    settings.limits = options.limits;
    settings.workerProgram = WorkerProgramPath();
    CheckEngine engine(RunFilesOf(rows), std::move(settings));
    const bool progress = isatty(STDERR_FILENO) == 1;
    const auto tell = [progress](const QString& text) {
        err() << (progress ? "\n" : "") << "varnelt-check: " << text << Qt::endl;
    };
    Tally tally;
    size_t done = 0;
    QObject::connect(&engine, &CheckEngine::decided, [&](size_t i, const RowDecision& decision) {
        TargetRow row = rows[i];
        row.verdict = decision.outcome.verdict;
        countOutcome(tally, decision.outcome.kind);
        const QString path = row.path();
        for (const TestFailure& failure : decision.failures) {
            tell(path + QStringLiteral(": ") + EnglishDescription(failure));
        }
        if (decision.outcome.kind == OutcomeKind::Unreadable && decision.outcome.readError != 0) {
            tell(EnglishDescription(RuntimeError{decision.outcome.readError, path}));
        }
        log.write(LogRecord(row));
        if (progress) {
            err() << "\r" << ++done << "/" << rows.size() << Qt::flush;
        }
    });
    QEventLoop loop;
    QObject::connect(&engine, &CheckEngine::finished, [&](const MaybeError& error) {
        if (error) {
            tell(EnglishDescription(*error));
            ++errors;
        }
        loop.quit();
    });
    const InterruptWatch interrupts([&engine] { engine.abandon(); });
    engine.start();
    loop.exec();

    if (!log.close()) {
        tell(QStringLiteral("cannot write the log: ") +
             EnglishDescription(RuntimeError{log.error(), DecodePath(options.logFile)}));
        ++errors;
    }
    err() << (progress ? "\n" : "") << "good " << tally.good << ", bad " << tally.bad
          << ", missing " << tally.missing << ", unreadable " << tally.unreadable << ", total "
          << rows.size() << ", elapsed " << FormatElapsedSeconds(clock.elapsed() / 1000)
          << Qt::endl;
    if (interrupts.interrupted()) {
        return 130;
    }
    if (errors > 0) {
        return 2;
    }
    return tally.bad > 0 || tally.missing > 0 || tally.unreadable > 0 ? 1 : 0;
}

}  // namespace varnelt
