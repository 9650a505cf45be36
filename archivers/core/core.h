// Helpers shared by every substitute library: the command line, stored names and the entry
// record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "../../checkers/archiver_api.h"
#include "input_file.h"

namespace varnelt::archiver {

struct TestCommand {
    std::string archivePath;
};

// Parses a command line such as `t -ngm "path"` or `-t -qq "path"`: the command word "t"
// (or the switch "-t"), other switches beginning with "-", and the archive path taken as the
// text between the first and the last double quote. nullopt for any other command.
std::optional<TestCommand> parseTestCommand(std::string_view commandLine);

// A stored name as UTF-8: kept when it is valid UTF-8, else decoded as CP932. With
// backslashSeparators, "\" folder separators are turned into "/" after decoding, so that the
// second byte of a double-byte character is never taken for one.
std::string storedNameToUtf8(std::string_view raw, bool backslashSeparators);

bool isValidUtf8(std::string_view text);

// The length of text's longest start that ends on a character boundary and holds at most limit
// bytes; a byte that begins no valid sequence counts as a character of its own.
size_t utf8PrefixLength(std::string_view text, size_t limit);

// Fills the record's name, cut on a character boundary so that it always ends in NUL.
void fillEntryName(VarneltEntryInfo& info, std::string_view utf8Name);

// True when the file starts with the executable signature "MZ".
bool startsWithExecutableStub(const InputFile& file);

}  // namespace varnelt::archiver
