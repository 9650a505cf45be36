// The nine archive formats and what sets each apart: its library, how the library is asked
// to test an archive, which answers pass, and how the extension rule reads the file.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace varnelt {

// In the order in which a file is offered to the checkers.
enum class ArchiveFormat { LZH, ZIP, CAB, TAR, RAR, BGA, YZ1, GCA, SevenZip };
inline constexpr int kFormatCount = 9;

inline constexpr std::array<ArchiveFormat, kFormatCount> kAllFormats = {
    ArchiveFormat::LZH, ArchiveFormat::ZIP, ArchiveFormat::CAB,
    ArchiveFormat::TAR, ArchiveFormat::RAR, ArchiveFormat::BGA,
    ArchiveFormat::YZ1, ArchiveFormat::GCA, ArchiveFormat::SevenZip};

// One line of a leading-bytes table: the file's first bytes (an empty text matches any file)
// and the extension that keeps the rule.
struct LeadingBytesRule {
    std::string_view bytes;
    const char* extension;
};

enum class TestCall {
    Command,       // the command function with a command line
    CheckArchive,  // CheckArchive with one mode or, for GCA, a sequence of modes
};

enum class ExtensionRule {
    LeadingBytes,  // first matching line of the table decides
    SfxQuery,      // the library says plain or self-extracting
    BgaResult,     // the test result picks gza or bza
};

struct FormatTraits {
    ArchiveFormat format;
    const char* name;            // lzh, zip, ...: the headless checker's format names
    const char* captionPrefix;   // &LZH
    const char* libraryFile;     // libunlha32.so
    const char* functionPrefix;  // Unlha
    TestCall testCall;
    const char* commandSwitches;          // put before the quoted path
    std::span<const int32_t> checkModes;  // CheckArchive modes, tried in order while 0 comes back
    bool secondResultPasses;              // CheckArchive's 2 passes too (BGA, YZ1)
    bool hasPasswordAnswer;               // 0x800A takes the password path (ZIP)
    ExtensionRule extensionRule;
    std::span<const LeadingBytesRule> leadingBytes;
    const char* plainExtension;  // SfxQuery: the extension of a plain archive
};

const FormatTraits& TraitsOf(ArchiveFormat format);

}  // namespace varnelt
