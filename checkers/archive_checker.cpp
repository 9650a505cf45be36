#include "checkers/archive_checker.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "app/paths.h"

namespace varnelt {

namespace {

// The file's first bytes, padded with zero bytes when it is shorter.
struct LeadingBytes {
    char bytes[3] = {};
    MaybeError error;
};

LeadingBytes readLeadingBytes(const QString& path) {
    LeadingBytes head;
    const QByteArray native = path.toUtf8();
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        head.error = RuntimeError{errno, path};
        return head;
    }
    size_t filled = 0;
    while (filled < sizeof head.bytes) {
        const ssize_t got = ::read(fd, head.bytes + filled, sizeof head.bytes - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            head.error = RuntimeError{errno, path};
        }
        if (got <= 0) {
            break;
        }
        filled += static_cast<size_t>(got);
    }
    ::close(fd);
    return head;
}

bool startsWith(const LeadingBytes& head, std::string_view bytes) {
    return std::string_view(head.bytes, bytes.size()) == bytes;
}

}  // namespace

ArchiveChecker::ArchiveChecker(const FormatTraits& traits, const ArchiverLibrary& library,
                               const CheckRules& rules)
    : traits_(traits), library_(library), rules_(rules) {}

ArchiveChecker::TestOutcome ArchiveChecker::runTest(const QByteArray& path) const {
    if (traits_.testCall == TestCall::Command) {
        if (library_.command == nullptr) {
            return {TestVerdict::Failed, -1};
        }
        const QByteArray commandLine = traits_.commandSwitches + ('"' + path + '"');
        const int32_t answer = library_.command(nullptr, commandLine.constData(), nullptr, 0);
        if (answer == 0) {
            return {TestVerdict::Passed, answer};
        }
        if (traits_.hasPasswordAnswer && answer == VARNELT_ARC_ERROR_PASSWORD) {
            return {TestVerdict::Password, answer};
        }
        return {TestVerdict::Failed, answer};
    }
    if (library_.checkArchive == nullptr) {
        return {TestVerdict::Failed, -1};
    }
    // Further modes are tried only while the library answers 0; the last answer decides.
    int32_t answer = 0;
    for (const int32_t mode : traits_.checkModes) {
        answer = library_.checkArchive(path.constData(), mode);
        if (answer != 0) {
            break;
        }
    }
    const bool passed = answer == 1 || (traits_.secondResultPasses && answer == 2);
    return {passed ? TestVerdict::Passed : TestVerdict::Failed, answer};
}

CheckOutcome ArchiveChecker::CheckFile(const QString& path) const {
    const TestOutcome test = runTest(path.toUtf8());
    switch (test.verdict) {
        case TestVerdict::Failed:
            if (rules_.badFile) {
                return {0, rules_.badFileCaption, std::nullopt};
            }
            return {1, kGoodVerdict, std::nullopt};
        case TestVerdict::Password:
            if (rules_.badNoPassword) {
                return {-1, rules_.badNoPasswordCaption, std::nullopt};
            }
            break;
        case TestVerdict::Passed:
            break;
    }
    return applyRules(path, test.answer);
}

CheckOutcome ArchiveChecker::applyRules(const QString& path, int32_t testResult) const {
    if (rules_.badNoExt) {
        const RuleAnswer extension = CheckExtension(path, testResult);
        if (extension.error) {
            return {0, QString(), extension.error};
        }
        if (extension.answer == -1) {
            return {-1, rules_.badNoExtCaption, std::nullopt};
        }
    }
    if (rules_.badNoFileSum) {
        if (CheckFileCount(path) == -1) {
            return {-1, rules_.fileCountVerdict, std::nullopt};
        }
        // The stored-name rule lives inside the count rule: only single-entry archives reach it.
        if (rules_.fileCountLimit == 2 && rules_.badNoFileName && CheckStoredName(path) == -1) {
            return {-1, rules_.badNoFileNameCaption, std::nullopt};
        }
    }
    return {1, kGoodVerdict, std::nullopt};
}

int ArchiveChecker::CheckFileCount(const QString& path) const {
    if (library_.getFileCount == nullptr) {
        return 0;
    }
    const int32_t count = library_.getFileCount(path.toUtf8().constData());
    // A negative count is the library's error value and never breaks the rule.
    return count >= rules_.fileCountLimit ? -1 : 0;
}

int ArchiveChecker::CheckStoredName(const QString& path) const {
    if (library_.openArchive == nullptr || library_.findFirst == nullptr ||
        library_.closeArchive == nullptr) {
        return -1;
    }
    const QString archiveName = GetFileName(path, true);
    VarneltArchive archive = library_.openArchive(nullptr, path.toUtf8().constData(), 0);
    if (archive == nullptr) {
        return -1;
    }
    int answer = -1;
    VarneltEntryInfo info{};
    if (library_.findFirst(archive, "*.*", &info) == 0) {
        info.fileName[sizeof info.fileName - 1] = '\0';
        const QString stored = StripExtension(QString::fromUtf8(info.fileName));
        answer = stored == archiveName ? 0 : -1;
    }
    library_.closeArchive(archive);
    return answer;
}

RuleAnswer ArchiveChecker::CheckExtension(const QString& path, int32_t testResult) const {
    const QString extension = GetExtension(path).toLower();
    switch (traits_.extensionRule) {
        case ExtensionRule::LeadingBytes:
            return checkLeadingBytes(path, extension);
        case ExtensionRule::SfxQuery:
            return {checkSfx(path.toUtf8(), extension), std::nullopt};
        case ExtensionRule::BgaResult: {
            // The test result names the kind; only a self-extracting one needs its bytes read.
            const QLatin1String kind(testResult == 1 ? "gza" : "bza");
            if (extension == kind) {
                return {0, std::nullopt};
            }
            const LeadingBytes head = readLeadingBytes(path);
            if (head.error) {
                return {0, head.error};
            }
            const bool keeps = startsWith(head, "MZ") && extension == QLatin1String("exe");
            return {keeps ? 0 : -1, std::nullopt};
        }
    }
    return {-1, std::nullopt};
}

RuleAnswer ArchiveChecker::checkLeadingBytes(const QString& path, const QString& extension) const {
    const LeadingBytes head = readLeadingBytes(path);
    if (head.error) {
        return {0, head.error};
    }
    for (const LeadingBytesRule& rule : traits_.leadingBytes) {
        if (startsWith(head, rule.bytes)) {
            return {extension == QLatin1String(rule.extension) ? 0 : -1, std::nullopt};
        }
    }
    return {-1, std::nullopt};
}

int ArchiveChecker::checkSfx(const QByteArray& path, const QString& extension) const {
    if (library_.openArchive == nullptr || library_.isSfxFile == nullptr ||
        library_.closeArchive == nullptr) {
        return -1;
    }
    VarneltArchive archive = library_.openArchive(nullptr, path.constData(), 0);
    if (archive == nullptr) {
        return -1;
    }
    const int32_t sfx = library_.isSfxFile(archive);
    int answer = -1;
    if (sfx == 0) {
        answer = extension == QLatin1String(traits_.plainExtension) ? 0 : -1;
    } else if (sfx > 0) {
        answer = extension == QLatin1String("exe") ? 0 : -1;
    }
    library_.closeArchive(archive);
    return answer;
}

}  // namespace varnelt
