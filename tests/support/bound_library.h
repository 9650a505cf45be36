// A substitute library bound the way the program binds it: located with the library search,
// loaded by that full path, functions resolved by name.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "checkers/archiver_library.h"

namespace varnelt::test {

struct LibraryUnderTest {
    const char* fileName;  // libunzip32.so
    const char* prefix;    // UnZip
    // The switches put before the quoted path when the format is tested through its command
    // function; nullptr when it is tested through CheckArchive.
    const char* testSwitches;
    // CheckArchive's 2 is a pass too (BGA answers 2 for an intact BZA).
    bool secondCheckAnswerPasses = false;
};

class BoundLibrary {
public:
    explicit BoundLibrary(const LibraryUnderTest& description);
    bool loaded() const { return library_ != nullptr; }
    const ArchiverLibrary& functions() const { return *library_; }

    // The command function's answer or, for CheckArchive formats, 0 when it answers 1.
    int32_t test(const QString& path) const;
    int32_t count(const QString& path) const;
    // FindFirst's name after OpenArchive; nullopt when opening or FindFirst fails.
    std::optional<std::string> firstName(const QString& path) const;
    // IsSFXFile's answer after OpenArchive; nullopt when the archive does not open.
    std::optional<int32_t> sfxState(const QString& path) const;
    // Why the library's last call on this thread failed; empty when it passed.
    QString reason() const;
    // Lets the library decode with this many threads from now on.
    void setThreads(int32_t count) const;

private:
    LibraryUnderTest description_;
    std::unique_ptr<ArchiverLibrary> library_;
};

}  // namespace varnelt::test
