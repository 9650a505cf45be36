// The worker's side: a program of its own that the check run starts several of. It reads its
// configuration, loads the archiver libraries through the binder, gives up what testing never
// needs, and then decides one file per request, in the order they come.
#pragma once

namespace varnelt::worker {

// Serves requests on standard input and answers on standard output until standard input
// ends. progressFd is the shared progress page (-1: none). Returns the exit status.
int ServeWorker(int progressFd);

}  // namespace varnelt::worker
