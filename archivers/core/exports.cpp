// The exported functions of one substitute library. This file is compiled once per library
// with VARNELT_ARCHIVER_PREFIX set to the library's prefix (UnZip, Unlha, ...); the
// VARNELT_ARCHIVER_HAS_COMMAND and VARNELT_ARCHIVER_HAS_SFX switches add the command function
// and IsSFXFile where the format's callers use them. Every function but GetLastErrorText
// starts by forgetting the reason of the previous call on its thread.
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>

#include "backend.h"
#include "core.h"
#include "failure.h"
#include "thread_budget.h"

#ifndef VARNELT_ARCHIVER_PREFIX
#error "VARNELT_ARCHIVER_PREFIX must name the library's function prefix"
#endif

#define VARNELT_CONCAT2(a, b) a##b
#define VARNELT_CONCAT(a, b) VARNELT_CONCAT2(a, b)
#define VARNELT_API(suffix) VARNELT_CONCAT(VARNELT_ARCHIVER_PREFIX, suffix)
#define VARNELT_EXPORT __attribute__((visibility("default")))

namespace {

using varnelt::archiver::ArchiveSession;
using varnelt::archiver::clearFailure;
using varnelt::archiver::formatBackend;
using varnelt::archiver::InputFile;
using varnelt::archiver::settleFailure;

// Archives are handed out as pointers to sessions; the registry lets a stale or foreign
// handle be refused instead of dereferenced, and keeps a session alive while a call uses it
// even if another thread closes the handle meanwhile.
class SessionRegistry {
public:
    VarneltArchive add(std::unique_ptr<ArchiveSession> session) {
        std::shared_ptr<ArchiveSession> shared(std::move(session));
        const std::lock_guard lock(mutex_);
        auto* key = shared.get();
        sessions_.emplace(key, std::move(shared));
        return reinterpret_cast<VarneltArchive>(key);
    }
    template <typename Fn>
    int32_t with(VarneltArchive handle, int32_t missing, Fn&& fn) {
        const std::shared_ptr<ArchiveSession> session = lookup(handle);
        return session ? fn(*session) : missing;
    }
    bool remove(VarneltArchive handle) {
        std::shared_ptr<ArchiveSession> removed;
        const std::lock_guard lock(mutex_);
        const auto found = sessions_.find(reinterpret_cast<ArchiveSession*>(handle));
        if (found == sessions_.end()) {
            return false;
        }
        removed = std::move(found->second);
        sessions_.erase(found);
        return true;
    }

private:
    std::shared_ptr<ArchiveSession> lookup(VarneltArchive handle) {
        const std::lock_guard lock(mutex_);
        const auto found = sessions_.find(reinterpret_cast<ArchiveSession*>(handle));
        return found == sessions_.end() ? nullptr : found->second;
    }
    std::mutex mutex_;
    std::unordered_map<ArchiveSession*, std::shared_ptr<ArchiveSession>> sessions_;
};

SessionRegistry& registry() {
    static SessionRegistry instance;
    return instance;
}

// What a call answers when it never got to judge the archive.
template <typename Result>
struct Unjudged {
    Result cannotOpen;  // the file cannot be opened, or is no regular file
    Result cannotRead;  // the system refused a read: the file is unreadable, not damaged
    Result outOfMemory;
};

// Opens the archive once and runs fn on it. A read the system refused decides the answer
// whatever the backend made of the bytes it did not get, so that an unreadable file is never
// reported as a damaged archive; its reason replaces the backend's too.
template <typename Result, typename Fn>
Result onArchiveFile(const char* path, Unjudged<Result> unjudged, Fn&& fn) {
    InputFile file;
    if (file.open(path) != VARNELT_ARC_OK) {
        settleFailure(VARNELT_ARC_ERROR_ARC_FILE_OPEN);
        return std::move(unjudged.cannotOpen);
    }
    try {
        Result result = fn(file);
        if (!file.readFailed()) {
            return result;
        }
    } catch (const std::bad_alloc&) {
        if (!file.readFailed()) {
            settleFailure(VARNELT_ARC_ERROR_ENOUGH_MEMORY);
            return std::move(unjudged.outOfMemory);
        }
    }
    settleFailure(VARNELT_ARC_ERROR_CANNOT_READ);
    return std::move(unjudged.cannotRead);
}

// The full test's answer, its reason settled.
int32_t fullTest(const InputFile& file) {
    return settleFailure(formatBackend().test(file));
}

}  // namespace

extern "C" {

VARNELT_EXPORT int32_t VARNELT_API(GetVersion)(void) {
    clearFailure();
    return VARNELT_ARCHIVER_VERSION;
}

VARNELT_EXPORT int32_t VARNELT_API(CheckArchive)(const char* path, int32_t /*mode*/) {
    clearFailure();
    // Codes outside 1 and 2 let the caller tell an unreadable file from a damaged archive (0).
    return onArchiveFile<int32_t>(
        path, {VARNELT_ARC_ERROR_ARC_FILE_OPEN, VARNELT_ARC_ERROR_CANNOT_READ, 0},
        [](const InputFile& file) {
            return fullTest(file) == VARNELT_ARC_OK ? formatBackend().passAnswer(file) : 0;
        });
}

#if VARNELT_ARCHIVER_HAS_COMMAND
VARNELT_EXPORT int32_t VARNELT_ARCHIVER_PREFIX(VarneltWindow /*window*/, const char* commandLine,
                                               char* output, int32_t outputSize) {
    clearFailure();
    if (output != nullptr && outputSize > 0) {
        output[0] = '\0';
    }
    if (commandLine == nullptr) {
        return settleFailure(VARNELT_ARC_ERROR_COMMAND_NAME);
    }
    try {
        const auto command = varnelt::archiver::parseTestCommand(commandLine);
        if (!command) {
            return settleFailure(VARNELT_ARC_ERROR_COMMAND_NAME);
        }
        return onArchiveFile<int32_t>(
            command->archivePath.c_str(),
            {VARNELT_ARC_ERROR_ARC_FILE_OPEN, VARNELT_ARC_ERROR_CANNOT_READ,
             VARNELT_ARC_ERROR_ENOUGH_MEMORY},
            &fullTest);
    } catch (const std::bad_alloc&) {
        return settleFailure(VARNELT_ARC_ERROR_ENOUGH_MEMORY);
    }
}
#endif

VARNELT_EXPORT int32_t VARNELT_API(GetFileCount)(const char* path) {
    clearFailure();
    return onArchiveFile<int32_t>(path, {-1, -1, -1}, [](const InputFile& file) {
        return formatBackend().countEntries(file);
    });
}

VARNELT_EXPORT VarneltArchive VARNELT_API(OpenArchive)(VarneltWindow /*window*/, const char* path,
                                                       uint32_t /*mode*/) {
    clearFailure();
    std::unique_ptr<ArchiveSession> session = onArchiveFile<std::unique_ptr<ArchiveSession>>(
        path, {}, [](const InputFile& file) { return formatBackend().open(file); });
    if (!session) {
        return nullptr;
    }
    try {
        return registry().add(std::move(session));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

VARNELT_EXPORT int32_t VARNELT_API(FindFirst)(VarneltArchive archive, const char* /*wildName*/,
                                              VarneltEntryInfo* info) {
    clearFailure();
    if (info == nullptr) {
        return -1;
    }
    return registry().with(archive, -1, [info](const ArchiveSession& session) -> int32_t {
        const auto& name = session.firstEntryName();
        if (!name) {
            return -1;
        }
        *info = VarneltEntryInfo{};
        varnelt::archiver::fillEntryName(*info, *name);
        return 0;
    });
}

#if VARNELT_ARCHIVER_HAS_SFX
VARNELT_EXPORT int32_t VARNELT_API(IsSFXFile)(VarneltArchive archive) {
    clearFailure();
    return registry().with(archive, -1,
                           [](const ArchiveSession& session) { return session.sfxState(); });
}
#endif

VARNELT_EXPORT int32_t VARNELT_API(CloseArchive)(VarneltArchive archive) {
    clearFailure();
    return registry().remove(archive) ? 0 : settleFailure(VARNELT_ARC_ERROR_HARC_ISNOT_OPENED);
}

VARNELT_EXPORT void VARNELT_API(SetThreadCount)(int32_t count) {
    clearFailure();
    varnelt::archiver::setThreadBudget(count);
}

VARNELT_EXPORT int32_t VARNELT_API(GetLastErrorText)(char* buffer, int32_t size) {
    return varnelt::archiver::copySettledFailure(buffer, size);
}

}  // extern "C"
