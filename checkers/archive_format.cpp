#include "checkers/archive_format.h"

namespace varnelt {

namespace {

using namespace std::string_view_literals;

constexpr int32_t kBasicMode[] = {2};
constexpr int32_t kRapidMode[] = {1};
constexpr int32_t kRecoveryMode[] = {16};
constexpr int32_t kGcaModes[] = {1, 8, 16};

constexpr LeadingBytesRule kZipBytes[] = {{"PK"sv, "zip"}, {"MZ"sv, "exe"}};
constexpr LeadingBytesRule kCabBytes[] = {{"MS"sv, "cab"}, {"MZ"sv, "exe"}};
constexpr LeadingBytesRule kGcaBytes[] = {{"GC"sv, "gca"}, {"MZ"sv, "exe"}};
constexpr LeadingBytesRule kSevenZipBytes[] = {{"\x37\x7A\xBC"sv, "7z"},
                                               {"\x4D\x5A\x90"sv, "exe"},
                                               {"\x50\x4B\x03"sv, "zip"},
                                               {"MZP"sv, "exe"}};
// Checked in this order: bzip2, then gzip (first byte alone), then anything else is a tar.
constexpr LeadingBytesRule kTarBytes[] = {{"BZh"sv, "tbz"}, {"\x1F"sv, "tgz"}, {""sv, "tar"}};

constexpr FormatTraits kTraits[kFormatCount] = {
    {ArchiveFormat::LZH,
     "lzh",
     "&LZH",
     "libunlha32.so",
     "Unlha",
     TestCall::Command,
     "t -ngm ",
     {},
     false,
     false,
     ExtensionRule::SfxQuery,
     {},
     "lzh"},
    {ArchiveFormat::ZIP,
     "zip",
     "&ZIP",
     "libunzip32.so",
     "UnZip",
     TestCall::Command,
     "-t -qq ",
     {},
     false,
     true,
     ExtensionRule::LeadingBytes,
     kZipBytes,
     nullptr},
    {ArchiveFormat::CAB, "cab", "&CAB", "libcab32.so", "Cab", TestCall::CheckArchive, nullptr,
     kBasicMode, false, false, ExtensionRule::LeadingBytes, kCabBytes, nullptr},
    {ArchiveFormat::TAR, "tar", "&TAR", "libtar32.so", "Tar", TestCall::CheckArchive, nullptr,
     kBasicMode, false, false, ExtensionRule::LeadingBytes, kTarBytes, nullptr},
    {ArchiveFormat::RAR,
     "rar",
     "&RAR",
     "libunrar32.so",
     "Unrar",
     TestCall::CheckArchive,
     nullptr,
     kBasicMode,
     false,
     false,
     ExtensionRule::SfxQuery,
     {},
     "rar"},
    {ArchiveFormat::BGA,
     "bga",
     "&BGA",
     "libbga32.so",
     "Bga",
     TestCall::CheckArchive,
     nullptr,
     kRapidMode,
     true,
     false,
     ExtensionRule::BgaResult,
     {},
     nullptr},
    {ArchiveFormat::YZ1,
     "yz1",
     "&YZ1",
     "libyz1.so",
     "Yz1",
     TestCall::CheckArchive,
     nullptr,
     kRecoveryMode,
     true,
     false,
     ExtensionRule::SfxQuery,
     {},
     "yz1"},
    {ArchiveFormat::GCA, "gca", "&GCA", "libungca32.so", "UnGCA", TestCall::CheckArchive, nullptr,
     kGcaModes, false, false, ExtensionRule::LeadingBytes, kGcaBytes, nullptr},
    {ArchiveFormat::SevenZip,
     "7z",
     "&7z",
     "lib7-zip32.so",
     "SevenZip",
     TestCall::Command,
     "t ",
     {},
     false,
     false,
     ExtensionRule::LeadingBytes,
     kSevenZipBytes,
     nullptr},
};

}  // namespace

const FormatTraits& TraitsOf(ArchiveFormat format) {
    return kTraits[static_cast<int>(format)];
}

}  // namespace varnelt
