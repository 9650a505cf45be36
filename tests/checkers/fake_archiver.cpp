// A scriptable archiver library for the checker tests. It exports the functions of all nine
// prefixes; each answer comes from the "archive" file itself, which holds key=value lines
// after its first line (so the first bytes can still be chosen for the extension rule):
//   command=0x800A  check=1  check8=1  count=3  open=0  name=docs/readme.txt  sfx=9921
// unlink=1 removes the file right after the test (command or CheckArchive), as if it vanished;
// fifo=1 puts a named pipe in its place instead. A key may be given for one prefix only:
// Unlha.command=0x8019.
// Every call is appended to the file's name + ".calls", one line each (a worker's sandbox
// refuses that quietly).
// A library that misbehaves in its test (each key also for one prefix only): sleep=MS waits,
// crash=1 raises SIGSEGV, spin=1 never returns, hog=1 allocates without end (stopping, untouched,
// at 64 GiB). try=OP attempts what a library under test must not do and answers its script's answer
// only when the system refused with EPERM (else a failure): OP is socket, exec, create, write,
// append, rename, unlink, mkdir, chmod or ptrace, on the path target=PATH. threads=N fails the
// test unless the library was last told it may use N threads.
#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "checkers/archiver_api.h"

namespace {

std::map<std::string, std::string> readScript(const char* path) {
    std::map<std::string, std::string> script;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            script[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return script;
}

int32_t number(const std::map<std::string, std::string>& script, const std::string& key,
               int32_t fallback) {
    const auto found = script.find(key);
    return found == script.end()
               ? fallback
               : static_cast<int32_t>(std::strtol(found->second.c_str(), nullptr, 0));
}

void logCall(const std::string& path, const std::string& call) {
    std::ofstream(path + ".calls", std::ios::app) << call << '\n';
}

// What SetThreadCount was last told; the fake decodes nothing, so only its tests read it.
std::atomic<int32_t> threadCount{1};

bool threadsAsScripted(const std::map<std::string, std::string>& script) {
    return number(script, "threads", threadCount) == threadCount;
}

struct FakeArchive {
    std::string path;
    std::map<std::string, std::string> script;
};

std::string pathFromCommand(const char* commandLine) {
    const std::string line(commandLine);
    const size_t first = line.find('"');
    const size_t last = line.rfind('"');
    return first == std::string::npos || last == first ? std::string()
                                                       : line.substr(first + 1, last - first - 1);
}

// A key may be given for one prefix only ("Unlha.command=0x8019"), else for all.
int32_t answer(const std::map<std::string, std::string>& script, const char* prefix,
               const std::string& key, int32_t fallback) {
    return number(script, std::string(prefix) + '.' + key, number(script, key, fallback));
}

// What the script asks to become of the file once it has been tested.
void afterTest(const std::map<std::string, std::string>& script, const char* path) {
    if (number(script, "unlink", 0) == 1 || number(script, "fifo", 0) == 1) {
        std::remove(path);
    }
    if (number(script, "fifo", 0) == 1) {
        mkfifo(path, 0600);
    }
}

std::string text(const std::map<std::string, std::string>& script, const std::string& key) {
    const auto found = script.find(key);
    return found == script.end() ? std::string() : found->second;
}

// True when the system refused the forbidden operation the script names.
bool refused(const std::string& operation, const std::string& target) {
    errno = 0;
    int result = 0;
    if (operation == "socket") {
        result = ::socket(AF_UNIX, SOCK_STREAM, 0);
    } else if (operation == "exec") {
        char* const argv[] = {const_cast<char*>("true"), nullptr};
        result = ::execv("/bin/true", argv);
    } else if (operation == "create") {
        result = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    } else if (operation == "write") {
        result = ::open(target.c_str(), O_RDWR);
    } else if (operation == "append") {
        result = ::open(target.c_str(), O_WRONLY | O_APPEND);
    } else if (operation == "rename") {
        result = ::rename(target.c_str(), (target + ".renamed").c_str());
    } else if (operation == "unlink") {
        result = ::unlink(target.c_str());
    } else if (operation == "mkdir") {
        result = ::mkdir(target.c_str(), 0700);
    } else if (operation == "chmod") {
        result = ::chmod(target.c_str(), 0777);
    } else if (operation == "ptrace") {
        // Peeking without attaching fails with ESRCH where tracing is allowed at all.
        result = static_cast<int>(::ptrace(PTRACE_PEEKDATA, ::getppid(), nullptr, nullptr));
    }
    return result == -1 && errno == EPERM;
}

// What the script asks of a library that misbehaves; false when a forbidden operation was let
// through.
bool misbehave(const std::map<std::string, std::string>& script, const char* prefix) {
    if (const int32_t sleep = answer(script, prefix, "sleep", 0); sleep > 0) {
        ::usleep(static_cast<useconds_t>(sleep) * 1000);
    }
    if (answer(script, prefix, "crash", 0) == 1) {
        std::raise(SIGSEGV);
    }
    if (answer(script, prefix, "spin", 0) == 1) {
        volatile unsigned long turns = 0;
        for (;;) {
            turns = turns + 1;
        }
    }
    if (answer(script, prefix, "hog", 0) == 1) {
        std::vector<void*> blocks;
        constexpr size_t kBlock = size_t{64} << 20;
        while (blocks.size() < 1024) {
            void* block = std::malloc(kBlock);
            if (block == nullptr) {
                break;
            }
            blocks.push_back(block);
        }
        for (void* block : blocks) {
            std::free(block);
        }
    }
    const std::string operation = text(script, "try");
    return operation.empty() || refused(operation, text(script, "target"));
}

int32_t command(const char* prefix, const char* commandLine) {
    const std::string path = pathFromCommand(commandLine);
    logCall(path, std::string("command ") + commandLine);
    const auto script = readScript(path.c_str());
    const bool obeyed = misbehave(script, prefix) && threadsAsScripted(script);
    afterTest(script, path.c_str());
    return obeyed ? answer(script, prefix, "command", 0x8019) : 0x8019;
}

int32_t checkArchive(const char* prefix, const char* path, int32_t mode) {
    logCall(path, "check " + std::to_string(mode));
    const auto script = readScript(path);
    const bool obeyed = misbehave(script, prefix) && threadsAsScripted(script);
    afterTest(script, path);
    return obeyed ? answer(script, prefix, "check" + std::to_string(mode),
                           answer(script, prefix, "check", 0))
                  : 0;
}

int32_t getFileCount(const char* path) {
    logCall(path, "count");
    return number(readScript(path), "count", -1);
}

VarneltArchive openArchive(const char* path) {
    logCall(path, "open");
    auto script = readScript(path);
    if (number(script, "open", 1) == 0) {
        return nullptr;
    }
    auto archive = std::make_unique<FakeArchive>(FakeArchive{path, std::move(script)});
    return reinterpret_cast<VarneltArchive>(archive.release());
}

int32_t findFirst(VarneltArchive handle, VarneltEntryInfo* info) {
    const auto* archive = reinterpret_cast<FakeArchive*>(handle);
    logCall(archive->path, "findfirst");
    const auto name = archive->script.find("name");
    if (name == archive->script.end()) {
        return -1;
    }
    *info = VarneltEntryInfo{};
    std::snprintf(info->fileName, sizeof info->fileName, "%s", name->second.c_str());
    return 0;
}

int32_t isSfxFile(VarneltArchive handle) {
    const auto* archive = reinterpret_cast<FakeArchive*>(handle);
    logCall(archive->path, "sfx");
    return number(archive->script, "sfx", 0);
}

int32_t closeArchive(VarneltArchive handle) {
    const std::unique_ptr<FakeArchive> archive(reinterpret_cast<FakeArchive*>(handle));
    logCall(archive->path, "close");
    return 0;
}

}  // namespace

#define FAKE_EXPORTS(P)                                                                           \
    extern "C" __attribute__((visibility("default"))) int32_t P##GetVersion() {                   \
        const char* version = std::getenv("FAKE_ARCHIVER_VERSION");                               \
        return version ? static_cast<int32_t>(std::strtol(version, nullptr, 0)) : 123;            \
    }                                                                                             \
    extern "C" __attribute__((visibility("default"))) int32_t P(VarneltWindow, const char* c,     \
                                                                char*, int32_t) {                 \
        return command(#P, c);                                                                    \
    }                                                                                             \
    extern "C" __attribute__((visibility("default")))                                             \
    int32_t P##CheckArchive(const char* p, int32_t m) {                                           \
        return checkArchive(#P, p, m);                                                            \
    }                                                                                             \
    extern "C" __attribute__((visibility("default"))) int32_t P##GetFileCount(const char* p) {    \
        return getFileCount(p);                                                                   \
    }                                                                                             \
    extern "C" __attribute__((visibility("default")))                                             \
    VarneltArchive P##OpenArchive(VarneltWindow, const char* p, uint32_t) {                       \
        return openArchive(p);                                                                    \
    }                                                                                             \
    extern "C" __attribute__((visibility("default")))                                             \
    int32_t P##FindFirst(VarneltArchive a, const char*, VarneltEntryInfo* i) {                    \
        return findFirst(a, i);                                                                   \
    }                                                                                             \
    extern "C" __attribute__((visibility("default"))) int32_t P##IsSFXFile(VarneltArchive a) {    \
        return isSfxFile(a);                                                                      \
    }                                                                                             \
    extern "C" __attribute__((visibility("default"))) int32_t P##CloseArchive(VarneltArchive a) { \
        return closeArchive(a);                                                                   \
    }                                                                                             \
    extern "C" __attribute__((visibility("default"))) void P##SetThreadCount(int32_t n) {         \
        threadCount = n;                                                                          \
    }

FAKE_EXPORTS(Unlha)
FAKE_EXPORTS(UnZip)
FAKE_EXPORTS(Cab)
FAKE_EXPORTS(Tar)
FAKE_EXPORTS(Unrar)
FAKE_EXPORTS(Bga)
FAKE_EXPORTS(Yz1)
FAKE_EXPORTS(UnGCA)
FAKE_EXPORTS(SevenZip)
