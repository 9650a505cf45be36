// varnelt-check: the headless checker over the same registration and checkers as the window.
#pragma once

#include <QByteArrayList>

namespace varnelt {

// Runs the command line (without the program's name, as the system's bytes) and answers the
// exit status: 0 every file good, 1 at least one bad, missing or unreadable, 2 bad usage or an
// error.
int RunCheckCommand(const QByteArrayList& arguments);

}  // namespace varnelt
