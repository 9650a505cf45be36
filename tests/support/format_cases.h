// Every format that the substitute libraries read, with what the tests common to all of them
// need to know of it.
#pragma once

#include <ostream>

#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"

namespace varnelt::test {

using Maker = bool (*)(const QString&, const EntryList&);

struct FormatCase {
    const char* label;
    LibraryUnderTest library;
    Maker make;
    const char* extension;
    // Formats without any checksum over entry data (plain tar) cannot notice a changed byte.
    bool dataChecksummed;
    // Cabinets store files only, never a folder of their own.
    bool storesFolderEntries = true;
    // Cut right after an entry, the archive is a complete one of fewer entries: the format has
    // no directory and no end mark it cannot do without.
    bool cutAfterEntryIsArchive = false;
};

inline void PrintTo(const FormatCase& format, std::ostream* out) {
    *out << format.label;
}

inline const FormatCase kFormats[] = {
    {"zip", {"libunzip32.so", "UnZip", "-t -qq"}, &makeZip, "zip", true},
    {"sevenzip", {"lib7-zip32.so", "SevenZip", "t"}, &makeSevenZip, "7z", true},
    {"lzh", {"libunlha32.so", "Unlha", "t -ngm"}, &makeLzh, "lzh", true},
    {"cab", {"libcab32.so", "Cab", nullptr}, &makeCab, "cab", true, false},
    {"tar", {"libtar32.so", "Tar", nullptr}, &makeTar, "tar", false, true, true},
    {"tgz", {"libtar32.so", "Tar", nullptr}, &makeTgz, "tgz", true},
    {"tbz", {"libtar32.so", "Tar", nullptr}, &makeTbz, "tbz", true},
    {"txz", {"libtar32.so", "Tar", nullptr}, &makeTxz, "txz", true},
    {"rar4", {"libunrar32.so", "Unrar", nullptr}, &makeRar4, "rar", true, true, true},
    {"gza", {"libbga32.so", "Bga", nullptr, true}, &makeGza, "gza", true, true, true},
    {"bza", {"libbga32.so", "Bga", nullptr, true}, &makeBza, "bza", true, true, true},
};

}  // namespace varnelt::test
