// Feeds arbitrary bytes, as an archive file, to one substitute library's test, count,
// FindFirst and IsSFXFile. Built once per library, with that library's prefix.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "checkers/archiver_api.h"

#define VARNELT_CONCAT2(a, b) a##b
#define VARNELT_CONCAT(a, b) VARNELT_CONCAT2(a, b)
#define VARNELT_API(suffix) VARNELT_CONCAT(VARNELT_ARCHIVER_PREFIX, suffix)

extern "C" {
int32_t VARNELT_API(CheckArchive)(const char* path, int32_t mode);
int32_t VARNELT_API(GetFileCount)(const char* path);
VarneltArchive VARNELT_API(OpenArchive)(VarneltWindow window, const char* path, uint32_t mode);
int32_t VARNELT_API(FindFirst)(VarneltArchive archive, const char* wildName,
                               VarneltEntryInfo* info);
int32_t VARNELT_API(CloseArchive)(VarneltArchive archive);
#if VARNELT_ARCHIVER_HAS_COMMAND
int32_t VARNELT_ARCHIVER_PREFIX(VarneltWindow window, const char* commandLine, char* output,
                                int32_t outputSize);
#endif
#if VARNELT_ARCHIVER_HAS_SFX
int32_t VARNELT_API(IsSFXFile)(VarneltArchive archive);
#endif
}

namespace {

const std::string& scratchPath() {
    static const std::string path = "/tmp/varnelt-fuzz-" + std::to_string(getpid()) + ".bin";
    return path;
}

bool writeInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(scratchPath().c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!writeInput(data, size)) {
        return 0;
    }
    const char* path = scratchPath().c_str();
#if VARNELT_ARCHIVER_HAS_COMMAND
    const std::string command = "t \"" + scratchPath() + "\"";
    VARNELT_ARCHIVER_PREFIX(nullptr, command.c_str(), nullptr, 0);
#else
    VARNELT_API(CheckArchive)(path, 2);
#endif
    VARNELT_API(GetFileCount)(path);
    if (VarneltArchive archive = VARNELT_API(OpenArchive)(nullptr, path, 0)) {
        VarneltEntryInfo info{};
        if (VARNELT_API(FindFirst)(archive, "*.*", &info) == 0 &&
            info.fileName[VARNELT_ENTRY_NAME_SIZE - 1] != '\0') {
            __builtin_trap();  // the name must always end inside its field
        }
#if VARNELT_ARCHIVER_HAS_SFX
        VARNELT_API(IsSFXFile)(archive);
#endif
        VARNELT_API(CloseArchive)(archive);
    }
    return 0;
}
