// What one substitute library knows about its format. The shared core turns a Backend into
// the exported functions of the archiver calling convention; each library defines
// formatBackend() once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "../../checkers/archiver_api.h"
#include "input_file.h"

namespace varnelt::archiver {

// An archive opened by OpenArchive: what its headers said when it was opened. Sessions hold
// no file and decode no data.
class ArchiveSession {
public:
    // firstName: the first entry's name as stored (UTF-8, "/" separators), or nullopt when
    // the archive lists none. behindStub: the archive sits behind an executable stub.
    ArchiveSession(std::optional<std::string> firstName, bool behindStub)
        : firstName_(std::move(firstName)), behindStub_(behindStub) {}

    const std::optional<std::string>& firstEntryName() const { return firstName_; }
    // 0 for a plain archive, VARNELT_SFX_EXECUTABLE for a self-extracting one.
    int32_t sfxState() const { return behindStub_ ? VARNELT_SFX_EXECUTABLE : 0; }

private:
    std::optional<std::string> firstName_;
    bool behindStub_;
};

class Backend {
public:
    virtual ~Backend() = default;
    // Reads every entry's data to its end. VARNELT_ARC_OK, VARNELT_ARC_ERROR_PASSWORD or
    // another error code.
    virtual int32_t test(const InputFile& file) const = 0;
    // CheckArchive's answer for an archive whose full test passed (a failed one answers 0).
    virtual int32_t passAnswer(const InputFile& /*file*/) const { return 1; }
    // Entries the archive lists, folders included; negative when it cannot be read.
    virtual int32_t countEntries(const InputFile& file) const = 0;
    // nullptr when the file is not a readable archive of this format.
    virtual std::unique_ptr<ArchiveSession> open(const InputFile& file) const = 0;
};

const Backend& formatBackend();

}  // namespace varnelt::archiver
