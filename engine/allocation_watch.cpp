#include "engine/allocation_watch.h"

#include <unistd.h>

#include <cstddef>
#include <new>

namespace varnelt::worker {

namespace {

// The one place a failing allocation can reach from inside any library.
std::atomic<Progress*> watchedPage{nullptr};

[[noreturn]] void endOutOfMemory() {
    if (Progress* page = watchedPage.load(std::memory_order_relaxed)) {
        page->fault.store(static_cast<int32_t>(Fault::OutOfMemory), std::memory_order_relaxed);
    }
    ::_exit(kExitOutOfMemory);
}

bool watching() {
    return watchedPage.load(std::memory_order_relaxed) != nullptr;
}

}  // namespace

void WatchAllocations(Progress* page) {
    watchedPage.store(page, std::memory_order_relaxed);
    std::set_new_handler([] { endOutOfMemory(); });
}

}  // namespace varnelt::worker

// The libraries allocate through malloc, which a C library answers with a null pointer it may
// take for damage. These take the place of malloc for the whole worker (the sanitizers bring
// their own allocator, and memory limits are off under them).
#ifndef VARNELT_SANITIZED
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);

void* malloc(size_t size) {
    void* block = __libc_malloc(size);
    if (block == nullptr && varnelt::worker::watching()) {
        varnelt::worker::endOutOfMemory();
    }
    return block;
}

void* calloc(size_t count, size_t size) {
    void* block = __libc_calloc(count, size);
    if (block == nullptr && count != 0 && size != 0 && varnelt::worker::watching()) {
        varnelt::worker::endOutOfMemory();
    }
    return block;
}

void* realloc(void* block, size_t size) {
    void* moved = __libc_realloc(block, size);
    if (moved == nullptr && size != 0 && varnelt::worker::watching()) {
        varnelt::worker::endOutOfMemory();
    }
    return moved;
}
}
#endif
