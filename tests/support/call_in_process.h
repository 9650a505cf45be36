// A library call in a process of its own (the call_archiver helper): for calls run under a
// preloaded interposer or as another user, and for calls that might not return.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

#include "tests/support/bound_library.h"

namespace varnelt::test {

// What one library answered for one file.
struct Answers {
    int32_t command = 0;  // 0 when the library has no command function
    int32_t check = 0;    // CheckArchive, mode 2
    int32_t count = 0;
    bool opened = false;  // OpenArchive gave a handle
};

struct ProcessOptions {
    QStringList environment = {};  // extra NAME=value entries
    QStringList runAs = {};        // a command to run the helper under (setpriv ...), or none
    int timeoutMs = 60000;         // the helper is killed after this long
};

// nullopt, with a test failure recorded, when the helper did not run to its end in time.
std::optional<Answers> callInProcess(const LibraryUnderTest& library, const QString& archive,
                                     const ProcessOptions& options = {});

}  // namespace varnelt::test
