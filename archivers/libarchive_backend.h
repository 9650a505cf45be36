// The Backend of the libraries built over libarchive. Each library describes its format as
// data (which readers to enable, how names are stored) plus, for compressed tar, its own input
// source; the reading, the verdict and the locale handling live here once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "backend.h"
#include "core.h"
#include "failure.h"

struct archive;
struct archive_entry;

namespace varnelt::archiver {

struct ReaderFree {
    void operator()(archive* reader) const;
};
using Reader = std::unique_ptr<archive, ReaderFree>;

// The bytes a libarchive reader decodes. The plain source hands the reader the file itself;
// a library may put a decoder of its own in between (see tar.cpp).
class InputSource {
public:
    virtual ~InputSource() = default;
    // Connects the reader to the input: ARCHIVE_OK or libarchive's answer.
    virtual int attach(archive* reader) = 0;
    // The reader met the archive's end before any entry: OK when an archive without entries
    // may look like this input, else an error code.
    virtual int32_t emptyArchive() { return VARNELT_ARC_OK; }
    // Called once the reader has met the archive's end: reads what is left of the input, so
    // that checks at the very end of a compressed stream are made. An error code or OK.
    virtual int32_t finish() { return VARNELT_ARC_OK; }
    // A failure the source met itself (a compressed stream's checksum, say), which explains
    // the reader's error better than the reader can; OK when there was none.
    virtual int32_t failure() const { return VARNELT_ARC_OK; }
};

// The file itself, seekable, read through the opened file. The file must outlive the source.
std::unique_ptr<InputSource> plainFileSource(const InputFile& file);

// libarchive's message on reader as a reason: lower-case start unless an acronym opens it, no
// final period.
std::string libarchiveReason(archive* reader);

// A check that libarchive leaves out for some format, made over each entry's data as the
// test reads it.
class DataCheck {
public:
    virtual ~DataCheck() = default;
    // The reader has just read the next entry's header; every entry is announced, also those
    // whose data is then skipped. nullopt lets the reader read the entry's data; a code is the
    // verdict on data the check verified itself, for entries whose data libarchive cannot
    // deliver as stored. label names the entry in the reasons the check records.
    virtual std::optional<int32_t> beginEntry(archive* reader, archive_entry* entry,
                                              const EntryLabel& label) = 0;
    // The reader has just read the header of an entry whose data another reader tests: keeps in
    // step with the reader, checking nothing.
    virtual void passEntry(archive* reader, archive_entry* entry) = 0;
    virtual void update(const void* data, size_t size) = 0;
    // The entry's data was read to its end: OK or an error code, its reason recorded.
    virtual int32_t endEntry() = 0;
    // The reader has met the archive's end: what is still wrong after the last entry, or OK.
    virtual int32_t endArchive() { return VARNELT_ARC_OK; }
};

struct LibarchiveFormat {
    // Enables the libarchive formats and filters that this library accepts, and no other.
    void (*enableReaders)(archive* reader);
    // The input for the reader; nullptr means plainFileSource. May answer nullptr itself when
    // it cannot be set up.
    std::unique_ptr<InputSource> (*openSource)(const InputFile& file) = nullptr;
    // An extra check of the entries' data during the test; nullptr when libarchive's own
    // checks suffice.
    std::unique_ptr<DataCheck> (*makeDataCheck)(const InputFile& file) = nullptr;
    // Names written by tools that use "\" between folders (see storedNameToUtf8).
    bool backslashSeparators = false;
    // Asked once the reader has read the first entry's header: true when each entry's data can be
    // tested by a reader of its own that skipped the entries before it (nothing solid, split over
    // volumes or behind encrypted headers). The test then reads entries side by side when threads
    // are lent; nullptr keeps it in order.
    bool (*entriesApart)(archive* reader, const InputFile& file) = nullptr;
};

class LibarchiveBackend final : public Backend {
public:
    explicit LibarchiveBackend(const LibarchiveFormat& format) : format_(format) {}

    int32_t test(const InputFile& file) const override;
    int32_t countEntries(const InputFile& file) const override;
    std::unique_ptr<ArchiveSession> open(const InputFile& file) const override;

private:
    // The test with entries read side by side, or nullopt where it must be made in order.
    std::optional<int32_t> testApart(const InputFile& file) const;

    LibarchiveFormat format_;
};

}  // namespace varnelt::archiver
