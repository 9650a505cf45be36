// What a worker gives up once its libraries are loaded: testing an archive only ever reads
// files, so a library that has been made to do anything else is refused by the kernel.
#pragma once

#include <QString>

namespace varnelt::worker {

// Forbids, for the rest of the process: sockets, running programs, opening a file for writing
// or creating one, renaming, linking or removing files and folders, changing their modes, and
// tracing other processes. Each is answered EPERM. False (with the reason) when the kernel
// would not take the filter.
bool EnterSandbox(QString& why);

}  // namespace varnelt::worker
