// What one substitute library knows about its format. The shared core turns a Backend into
// the exported functions of the archiver calling convention; each library defines
// formatBackend() once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace varnelt::archiver {

// An archive opened by OpenArchive: headers only, never entry data.
class ArchiveSession {
public:
    virtual ~ArchiveSession() = default;
    // The first entry's name as stored (UTF-8, "/" separators), or nullopt when there is none
    // or the headers cannot be read.
    virtual std::optional<std::string> firstEntryName() = 0;
    // 0 for a plain archive, VARNELT_SFX_EXECUTABLE when it sits behind an executable stub,
    // negative on error.
    virtual int32_t sfxState() = 0;
};

class Backend {
public:
    virtual ~Backend() = default;
    // Reads every entry's data to its end. VARNELT_ARC_OK, VARNELT_ARC_ERROR_PASSWORD or
    // another error code.
    virtual int32_t test(const std::string& path) const = 0;
    // CheckArchive's answer: 1 when the full test passes, else 0.
    virtual int32_t checkArchive(const std::string& path, int32_t mode) const;
    // Entries the archive lists, folders included; negative when it cannot be read.
    virtual int32_t countEntries(const std::string& path) const = 0;
    // nullptr when the file is not a readable archive of this format.
    virtual std::unique_ptr<ArchiveSession> open(const std::string& path) const = 0;
};

const Backend& formatBackend();

}  // namespace varnelt::archiver
