// varnelt-check: the headless checker over the same registration and checkers as the window.
#pragma once

#include <QStringList>

namespace varnelt {

// Runs the command line (without the program's name) and answers the exit status:
// 0 every file good, 1 at least one bad or missing, 2 bad usage or an error.
int RunCheckCommand(const QStringList& arguments);

}  // namespace varnelt
