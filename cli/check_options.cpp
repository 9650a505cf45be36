#include "cli/check_options.h"

#include <QCommandLineParser>

#include <algorithm>
#include <optional>

#include "base/decimal_text.h"
#include "base/name_decoding.h"
#include "base/paths.h"
#include "cli/action_words.h"
#include "cli/check_messages.h"

namespace varnelt {

const char kCheckUsage[] = QT_TRANSLATE_NOOP(
    "varnelt::CheckMessages",
    "Usage: varnelt-check [options] [--] PATH...\n"
    "\n"
    "Tests every archive among the given files and folders and writes a record of each\n"
    "verdict. A PATH that is a folder registers its own regular files; hidden (dot) files,\n"
    "pipes, sockets and devices are never registered. Options may also follow the paths;\n"
    "\"--\" ends the options, so that a PATH may begin with \"-\".\n"
    "\n"
    "What to test and how to judge:\n"
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
    "\n"
    "What happens to a bad archive (never to a missing or unreadable file):\n"
    "  --action ACTION leave (default), move (to --move-to), trash (the freedesktop\n"
    "                  trash of the file's own file system, with its .trashinfo file) or\n"
    "                  delete (at once, without a question: the option is the consent)\n"
    "  --move-to DIR   where move puts bad archives; a taken name becomes \"name (1).ext\",\n"
    "                  \"name (2).ext\", ...; no file is ever replaced, and a copy to another\n"
    "                  file system is synced before the original is removed\n"
    "  --create-dir    create DIR (and its parents) when it is missing\n"
    "A file that cannot be disposed of stays where it was; the run then stops with the\n"
    "system's reason and the path, and the exit status is 2.\n"
    "\n"
    "Output:\n"
    "  --format FORMAT log (default): a header record, then one record per file with its\n"
    "                  name, folder, size, modification time and verdict; five quoted\n"
    "                  fields, CR LF line ends, UTF-8.\n"
    "                  jsonl: one JSON object per line and file, in registration order:\n"
    "                  path, name, folder, size, mtime (ISO 8601 with offset), verdict,\n"
    "                  kind (good, broken, password, extension, count, name, missing,\n"
    "                  unreadable), format (the format that decided, or null), reason\n"
    "                  (why the archive failed or could not be read, or null), disposal\n"
    "                  (null, or {\"action\": move|trash|delete, \"to\": path or null}).\n"
    "                  A path whose bytes are not UTF-8 is given decoded (UTF-8, else\n"
    "                  CP932, else U+FFFD) and its exact bytes follow in base64 as\n"
    "                  \"path_bytes\" (\"to_bytes\" in disposal): base64 -d restores them.\n"
    "  --log FILE      write the records to FILE instead of standard output\n"
    "  --summary MODE  text (default): the line \"good N, bad N, missing N, unreadable N,\n"
    "                  total N, elapsed HH:MM:SS\" (with the files moved, trashed or\n"
    "                  deleted); json: the same as one JSON object. On standard error.\n"
    "  -q, --quiet     nothing on standard error but errors: no progress, no notes on\n"
    "                  single files and no summary unless --summary json is given\n"
    "  -h, --help      show this text\n"
    "  --version       show the version of the program and of each archiver library\n"
    "\n"
    "A file that cannot be read (no permission, a failing disk) is never judged: its record\n"
    "says so and the system's reason goes to standard error.\n"
    "Archives are tested in separate worker processes. A test that crashes its library or\n"
    "passes a limit fails like a damaged archive, and the reason goes to standard error.\n"
    "Each record is written as soon as it and every record before it are decided. On\n"
    "SIGINT or SIGTERM no further file is begun, the tests under way are given up, the\n"
    "summary is printed and the exit status is 130.\n"
    "\n"
    "Exit status: 0 every file good, 1 at least one bad, missing or unreadable file, 2 bad\n"
    "usage or an error.\n");

namespace {

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
            throw UsageError{CheckMessages::tr("unknown format '%1' in --formats").arg(name)};
        }
        if (!archivers.installed(*found)) {
            throw UsageError{CheckMessages::tr("format %1: its library %2 is not installed")
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
            throw UsageError{CheckMessages::tr("unknown rule '%1' in --rules").arg(name)};
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
            CheckMessages::tr("--filter '%1' holds an invalid pattern (an unclosed '[')")
                .arg(mode)};
    }
    return *filter;
}

// One of the words an option takes, as the index of the word.
template <size_t N>
size_t oneOf(const QString& option, const QString& value, const char* const (&words)[N]) {
    for (size_t i = 0; i < N; ++i) {
        if (value == QLatin1String(words[i])) {
            return i;
        }
    }
    QStringList choices;
    for (const char* word : words) {
        choices << QLatin1String(word);
    }
    throw UsageError{CheckMessages::tr("--%1 takes one of %2, not '%3'")
                         .arg(option, choices.join(QStringLiteral(", ")), value)};
}

QCommandLineOption valued(const char* name, const char* valueName) {
    return QCommandLineOption(QLatin1String(name), QString(), QLatin1String(valueName));
}

}  // namespace

CheckCommandLine ParseCheckCommandLine(const QByteArrayList& arguments,
                                       const ArchiverSet& archivers) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption formats = valued("formats", "LIST");
    const QCommandLineOption rules = valued("rules", "LIST");
    const QCommandLineOption count = valued("count", "N");
    const QCommandLineOption filter = valued("filter", "MODE");
    const QCommandLineOption recursive(QStringLiteral("r"));
    const QCommandLineOption jobs = valued("jobs", "N");
    const QCommandLineOption log = valued("log", "FILE");
    const QCommandLineOption timeLimit = valued("time-limit", "S");
    const QCommandLineOption memoryLimit = valued("memory-limit", "MB");
    const QCommandLineOption action = valued("action", "ACTION");
    const QCommandLineOption moveTo = valued("move-to", "DIR");
    const QCommandLineOption createDir(QStringLiteral("create-dir"));
    const QCommandLineOption format = valued("format", "FORMAT");
    const QCommandLineOption summary = valued("summary", "MODE");
    const QCommandLineOption quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({formats, rules, count, filter, recursive, jobs, log, timeLimit, memoryLimit,
                       action, moveTo, createDir, format, summary, quiet, help, version});
    QStringList latin1{QStringLiteral("varnelt-check")};
    for (const QByteArray& argument : arguments) {
        latin1 << QString::fromLatin1(argument);
    }
    if (!parser.parse(latin1)) {
        throw UsageError{textOf(parser.errorText())};
    }
    CheckCommandLine command;
    if (parser.isSet(help)) {
        command.request = CheckRequest::Help;
        return command;
    }
    if (parser.isSet(version)) {
        command.request = CheckRequest::Version;
        return command;
    }
    const auto text = [&parser](const QCommandLineOption& option) {
        return textOf(parser.value(option));
    };
    CheckOptions& options = command.options;
    if (parser.isSet(formats)) {
        options.formats = parseFormats(text(formats), archivers);
    } else {
        for (const ArchiveFormat each : kAllFormats) {
            if (archivers.installed(each)) {
                options.formats.push_back(each);
            }
        }
    }
    if (parser.isSet(rules)) {
        parseRules(text(rules), options.rules);
    }
    const auto number = [&](const QCommandLineOption& option, int low, int high, int fallback) {
        if (!parser.isSet(option)) {
            return fallback;
        }
        const auto value = parseNumber(text(option), low, high);
        if (!value) {
            throw UsageError{CheckMessages::tr("--%1 takes a number from %2 to %3, not '%4'")
                                 .arg(option.names().constFirst())
                                 .arg(low)
                                 .arg(high)
                                 .arg(text(option))};
        }
        return *value;
    };
    options.rules.fileCountLimit = number(count, 2, 999999, options.rules.fileCountLimit);
    options.rules.fileCountVerdict =
        FormatFileCountVerdict(options.rules.fileCountLimit, VerdictInUse(kBadNoFileSumCaption));
    options.filter = parseFilter(parser.isSet(filter) ? text(filter) : QStringLiteral("off"),
                                 options.formats, archivers);
    options.recursive = parser.isSet(recursive);
    options.jobs = number(jobs, 1, 256, AutomaticJobs());
    options.limits.timeLimitSeconds = number(timeLimit, 0, 86400 * 365, kDefaultTimeLimitSeconds);
    options.limits.memoryLimitMB =
        number(memoryLimit, 0, 1024 * 1024 * 1024, kDefaultMemoryLimitMB);
    options.logFile = parser.value(log).toLatin1();

    if (parser.isSet(action)) {
        const char* const names[] = {kActionWords[0].name, kActionWords[1].name,
                                     kActionWords[2].name, kActionWords[3].name};
        options.action = kActionWords[oneOf(QStringLiteral("action"), text(action), names)].action;
    }
    if (options.action == DisposalAction::Move) {
        if (!parser.isSet(moveTo) || parser.value(moveTo).isEmpty()) {
            throw UsageError{CheckMessages::tr("--action move needs --move-to DIR")};
        }
        options.moveTo = AbsoluteNativePath(parser.value(moveTo).toLatin1());
        if (!options.moveTo.endsWith('/')) {
            options.moveTo += '/';
        }
    } else if (parser.isSet(moveTo) || parser.isSet(createDir)) {
        throw UsageError{
            CheckMessages::tr("--move-to and --create-dir are only for --action move")};
    }
    options.createDir = parser.isSet(createDir);
    if (parser.isSet(format)) {
        options.format = oneOf(QStringLiteral("format"), text(format), {"log", "jsonl"}) == 0
                             ? RecordFormat::Log
                             : RecordFormat::JsonLines;
    }
    if (parser.isSet(summary)) {
        options.jsonSummary =
            oneOf(QStringLiteral("summary"), text(summary), {"text", "json"}) == 1;
    }
    options.quiet = parser.isSet(quiet);

    for (const QString& path : parser.positionalArguments()) {
        options.paths << path.toLatin1();
    }
    if (options.paths.isEmpty()) {
        throw UsageError{CheckMessages::tr("no PATH given")};
    }
    if (options.formats.empty()) {
        throw UsageError{CheckMessages::tr("no archiver library is installed")};
    }
    return command;
}

}  // namespace varnelt
