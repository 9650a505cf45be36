// Test helper: calls one archiver library on one file in a process of its own, so that tests
// can run the call under a read-fault interposer or as another user.
// Usage: call_archiver <library> <prefix> <test switches, or "-"> <archive>
// Prints the answers of the command function ("-" without switches), CheckArchive (mode 2),
// GetFileCount, and whether OpenArchive gave a handle: "<command> <check> <count> <opened>".
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "checkers/archiver_api.h"

namespace {

struct Closer {
    void operator()(void* handle) const { dlclose(handle); }
};

template <typename Fn>
Fn resolve(void* library, const std::string& name) {
    return reinterpret_cast<Fn>(dlsym(library, name.c_str()));
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 5) {
        std::fputs("usage: call_archiver <library> <prefix> <switches|-> <archive>\n", stderr);
        return 2;
    }
    const std::unique_ptr<void, Closer> library(dlopen(argv[1], RTLD_NOW | RTLD_LOCAL));
    const std::string prefix = argv[2];
    const char* const switches = argv[3];
    const char* const archive = argv[4];
    if (!library) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
        return 2;
    }
    const auto check = resolve<VarneltCheckArchiveFn>(library.get(), prefix + "CheckArchive");
    const auto count = resolve<VarneltGetFileCountFn>(library.get(), prefix + "GetFileCount");
    const auto open = resolve<VarneltOpenArchiveFn>(library.get(), prefix + "OpenArchive");
    const auto close = resolve<VarneltCloseArchiveFn>(library.get(), prefix + "CloseArchive");
    const auto command = resolve<VarneltCommandFn>(library.get(), prefix);
    const bool withCommand = std::strcmp(switches, "-") != 0;
    if (!check || !count || !open || !close || (withCommand && !command)) {
        std::fputs("a function is missing\n", stderr);
        return 2;
    }
    std::string commandAnswer = "-";
    if (withCommand) {
        const std::string line = std::string(switches) + " \"" + archive + '"';
        commandAnswer = std::to_string(command(nullptr, line.c_str(), nullptr, 0));
    }
    const int32_t checked = check(archive, 2);
    const int32_t counted = count(archive);
    VarneltArchive handle = open(nullptr, archive, 0);
    if (handle != nullptr) {
        close(handle);
    }
    std::printf("%s %d %d %d\n", commandAnswer.c_str(), checked, counted,
                handle != nullptr ? 1 : 0);
    return 0;
}
