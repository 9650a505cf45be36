#include "app/check_command.h"

#include <unistd.h>

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QThread>

#include <optional>

#include "app/elapsed.h"
#include "app/error_catalogue.h"
#include "app/log_format.h"
#include "app/parallel_check.h"
#include "app/version.h"
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
    "A summary (good, bad, missing, total, elapsed time) goes to standard error, and on a\n"
    "terminal a progress line too.\n"
    "\n"
    "Exit status: 0 every file good, 1 at least one bad or missing file, 2 bad usage or an\n"
    "error.\n";

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
    QString logFile;
    QStringList paths;
};

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

Options parseOptions(const QStringList& arguments, const ArchiverSet& archivers) {
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
    if (!parser.parse(QStringList{QStringLiteral("varnelt-check")} + arguments)) {
        throw UsageError{parser.errorText()};
    }
    Options options;
    if (parser.isSet(formats)) {
        options.formats = parseFormats(parser.value(formats), archivers);
    } else {
        for (const ArchiveFormat format : kAllFormats) {
            if (archivers.installed(format)) {
                options.formats.push_back(format);
            }
        }
    }
    if (parser.isSet(rules)) {
        parseRules(parser.value(rules), options.rules);
    }
    if (parser.isSet(count)) {
        const auto limit = parseNumber(parser.value(count), 2, 999999);
        if (!limit) {
            throw UsageError{QStringLiteral("--count takes a number from 2 to 999999, not '%1'")
                                 .arg(parser.value(count))};
        }
        options.rules.fileCountLimit = *limit;
    }
    options.rules.fileCountVerdict =
        FormatFileCountVerdict(options.rules.fileCountLimit, kBadNoFileSumCaption);
    options.filter =
        parseFilter(parser.isSet(filter) ? parser.value(filter) : QStringLiteral("off"),
                    options.formats, archivers);
    options.recursive = parser.isSet(recursive);
    options.jobs = QThread::idealThreadCount();
    if (parser.isSet(jobs)) {
        const auto value = parseNumber(parser.value(jobs), 1, 256);
        if (!value) {
            throw UsageError{QStringLiteral("--jobs takes a number from 1 to 256, not '%1'")
                                 .arg(parser.value(jobs))};
        }
        options.jobs = *value;
    }
    options.logFile = parser.value(log);
    options.paths = parser.positionalArguments();
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
    for (const QString& path : options.paths) {
        QString absolute = QFileInfo(path).absoluteFilePath();
        if (path.endsWith(u'/') && !absolute.endsWith(u'/')) {
            absolute += u'/';
        }
        if (const MaybeError error = registrar.AddPath(absolute, options.recursive)) {
            report(*error);
        }
    }
    return rows;
}

class LogOutput {
public:
    explicit LogOutput(const QString& fileName) {
        if (fileName.isEmpty()) {
            file_.open(stdout, QIODevice::WriteOnly);
        } else {
            file_.setFileName(fileName);
            file_.open(QIODevice::WriteOnly | QIODevice::Truncate);
        }
    }
    bool isOpen() const { return file_.isOpen(); }
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
    bool failed_ = false;
};

}  // namespace

int RunCheckCommand(const QStringList& arguments) {
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        QTextStream(stdout) << kUsage;
        return 0;
    }
    if (arguments.contains(QStringLiteral("--version"))) {
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
        err() << "varnelt-check: " << options.logFile << ": " << log.errorString() << Qt::endl;
        return 2;
    }
    log.write(LogHeaderRecord());

    const std::vector<ArchiveChecker> checkers =
        archivers.checkersFor(options.formats, options.rules);
    const bool progress = isatty(STDERR_FILENO) == 1;
    int good = 0;
    int bad = 0;
    int missing = 0;
    DecideInParallel(rows, checkers, options.jobs, [&](size_t i, const FileDecision& decision) {
        TargetRow row = rows[i];
        row.verdict = decision.outcome.verdict;
        if (decision.outcome.error) {
            err() << "\nvarnelt-check: " << EnglishDescription(*decision.outcome.error) << Qt::endl;
            ++errors;
        } else if (decision.missing) {
            ++missing;
        } else if (decision.outcome.result == 1) {
            ++good;
        } else {
            ++bad;
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
          << ", total " << rows.size() << ", elapsed "
          << FormatElapsedSeconds(clock.elapsed() / 1000) << Qt::endl;
    if (errors > 0) {
        return 2;
    }
    return bad > 0 || missing > 0 ? 1 : 0;
}

}  // namespace varnelt
