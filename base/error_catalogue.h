// Numbers and descriptions of the failures the program reports. A failure the system gave
// an errno for carries that number; the others carry a number of the program's own.
#pragma once

#include <QString>

#include "base/runtime_error.h"

namespace varnelt {

inline constexpr int kErrorInvalidPattern = 1001;   // an unclosed "[" in the extension list
inline constexpr int kErrorNoFreeName = 1002;       // every numbered name is taken
inline constexpr int kErrorIncompleteWrite = 1003;  // a write that stopped short
inline constexpr int kErrorNotRegularFile = 1004;   // a pipe, device or folder where a file was
inline constexpr int kErrorWorkerFailed = 1005;     // the archive worker could not be started

// The description the window's error box shows, in the language in use (the Japanese is the
// source), followed by the path.
QString DescriptionInUse(const RuntimeError& error);
// The English description of the command line: the reason, then the path.
QString EnglishDescription(const RuntimeError& error);

}  // namespace varnelt
