#include "core.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace varnelt::archiver {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::optional<TestCommand> parseTestCommand(std::string_view commandLine) {
    const size_t firstQuote = commandLine.find('"');
    const size_t lastQuote = commandLine.rfind('"');
    if (firstQuote == std::string_view::npos || lastQuote == firstQuote) {
        return std::nullopt;
    }
    // Nothing but blanks may follow the path.
    for (size_t i = lastQuote + 1; i < commandLine.size(); ++i) {
        if (!isBlank(commandLine[i])) {
            return std::nullopt;
        }
    }
    bool testRequested = false;
    const std::string_view head = commandLine.substr(0, firstQuote);
    size_t pos = 0;
    while (pos < head.size()) {
        while (pos < head.size() && isBlank(head[pos])) {
            ++pos;
        }
        size_t end = pos;
        while (end < head.size() && !isBlank(head[end])) {
            ++end;
        }
        const std::string_view token = head.substr(pos, end - pos);
        pos = end;
        if (token.empty()) {
            continue;
        }
        if (token == "t" || token == "T" || token == "-t") {
            testRequested = true;
        } else if (token.front() != '-') {
            return std::nullopt;  // any other command word
        }
    }
    if (!testRequested) {
        return std::nullopt;
    }
    TestCommand command;
    command.archivePath =
        std::string(commandLine.substr(firstQuote + 1, lastQuote - firstQuote - 1));
    if (command.archivePath.empty()) {
        return std::nullopt;
    }
    return command;
}

namespace {

// Length of the UTF-8 sequence starting at text[i], or 0 when it is not a valid one.
size_t utf8SequenceLength(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    uint32_t codePoint = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return 0;  // overlong forms and surrogates are not UTF-8
    }
    return length;
}

struct IconvCloser {
    void operator()(iconv_t cd) const { iconv_close(cd); }
};

std::string decodeCp932(std::string_view raw) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::string(raw);
    }
    const std::unique_ptr<void, IconvCloser> closer(cd);
    std::string out;
    std::vector<char> input(raw.begin(), raw.end());
    char* in = input.data();
    size_t inLeft = input.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            // A byte that CP932 cannot map either: keep a replacement mark and go on.
            out.append("\xEF\xBF\xBD");
            ++in;
            --inLeft;
        }
    }
    return out;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8SequenceLength(text, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string storedNameToUtf8(std::string_view raw, bool backslashSeparators) {
    std::string name = isValidUtf8(raw) ? std::string(raw) : decodeCp932(raw);
    if (backslashSeparators) {
        for (char& c : name) {
            if (c == '\\') {
                c = '/';
            }
        }
    }
    return name;
}

size_t utf8PrefixLength(std::string_view text, size_t limit) {
    size_t used = 0;
    while (used < text.size()) {
        const size_t length = std::max<size_t>(utf8SequenceLength(text, used), 1);
        if (used + length > limit) {
            break;
        }
        used += length;
    }
    return used;
}

void fillEntryName(VarneltEntryInfo& info, std::string_view utf8Name) {
    std::memset(info.fileName, 0, sizeof info.fileName);
    std::memcpy(info.fileName, utf8Name.data(),
                utf8PrefixLength(utf8Name, sizeof info.fileName - 1));
}

bool startsWithExecutableStub(const InputFile& file) {
    char head[2] = {};
    return file.readAt(head, sizeof head, 0) && head[0] == 'M' && head[1] == 'Z';
}

}  // namespace varnelt::archiver
