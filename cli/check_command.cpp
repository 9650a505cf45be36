#include "cli/check_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QThread>

#include <cerrno>
#include <optional>

#include "engine/elapsed.h"
#include "base/error_catalogue.h"
#include "engine/log_format.h"
#include "base/name_decoding.h"
#include "engine/parallel_check.h"
#include "base/paths.h"
#include "base/version.h"
#include "checkers/archiver_set.h"
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
    "  --log FILE      write the log to FILE instead of standard output\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "A file that cannot be read (no permission, a failing disk) is never judged: its record\n"
    "says so and the system's reason goes to standard error.\n"
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
    QByteArray logFile;
    QByteArrayList paths;  // the system's bytes
};

// The parser is handed every argument as Latin-1 text, which gives back the very bytes of the
// paths; the other values are decoded as names are.
QString textOf(const QString& argument) {
    return DecodeName(argument.toLatin1());
}

std::optional<int> parseNumber(const QString& text, int low, int high) {
    if (text.isEmpty() || text.size() > 9) {
        return std::nullopt;
    }
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
    }
    const int value = text.toInt();
    return value >= low && value <= high ? std::optional(value) : std::nullopt;
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
    parser.addOptions({formats, rules, count, filter, recursive, jobs, log});
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
    options.jobs = QThread::idealThreadCount();
    if (parser.isSet(jobs)) {
        const auto value = parseNumber(text(jobs), 1, 256);
        if (!value) {
            throw UsageError{
                QStringLiteral("--jobs takes a number from 1 to 256, not '%1'").arg(text(jobs))};
        }
        options.jobs = *value;
    }
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

class LogOutput {
public:
    // fileName is the system's bytes; empty for standard output.
    explicit LogOutput(const QByteArray& fileName) {
        if (fileName.isEmpty()) {
            file_.open(stdout, QIODevice::WriteOnly);
            return;
        }
        const int fd = ::open(fileName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            openError_ = errno;
        } else {
            file_.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
        }
    }
    bool isOpen() const { return file_.isOpen(); }
    int openError() const { return openError_; }
    void write(const QByteArray& record) {
        if (file_.write(record) != record.size()) {
            failed_ = true;
        }
    }
    // True when every record reached the file.
    bool finish() { return file_.flush() && !failed_ && file_.error() == QFileDevice::NoError; }
    QString errorString() const { return file_.errorString(); }

private:
    QFile file_;
    int openError_ = 0;
    bool failed_ = false;
};

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

    LogOutput log(options.logFile);
    if (!log.isOpen()) {
        err() << "varnelt-check: "
              << EnglishDescription(RuntimeError{log.openError(), DecodePath(options.logFile)})
              << Qt::endl;
        return 2;
    }
    log.write(LogHeaderRecord());

    const std::vector<ArchiveChecker> checkers =
        archivers.checkersFor(options.formats, options.rules);
    const bool progress = isatty(STDERR_FILENO) == 1;
    int good = 0;
    int bad = 0;
    int missing = 0;
    int unreadable = 0;
    DecideInParallel(rows, checkers, options.jobs, [&](size_t i, const FileOutcome& outcome) {
        TargetRow row = rows[i];
        row.verdict = outcome.verdict;
        switch (outcome.kind) {
            case OutcomeKind::Good:
                ++good;
                break;
            case OutcomeKind::Bad:
                ++bad;
                break;
            case OutcomeKind::Missing:
                ++missing;
                break;
            case OutcomeKind::Unreadable:
                ++unreadable;
                err() << (progress ? "\n" : "") << "varnelt-check: " << row.folder << row.name
                      << ": " << outcome.reason << Qt::endl;
                break;
        }
        log.write(LogRecord(row));
        if (progress) {
            err() << "\r" << (i + 1) << "/" << rows.size() << Qt::flush;
        }
    });
    if (!log.finish()) {
        err() << "varnelt-check: cannot write the log: " << log.errorString() << Qt::endl;
        ++errors;
    }
    err() << (progress ? "\n" : "") << "good " << good << ", bad " << bad << ", missing " << missing
          << ", unreadable " << unreadable << ", total " << rows.size() << ", elapsed "
          << FormatElapsedSeconds(clock.elapsed() / 1000) << Qt::endl;
    if (errors > 0) {
        return 2;
    }
    return bad > 0 || missing > 0 || unreadable > 0 ? 1 : 0;
}

}  // namespace varnelt
