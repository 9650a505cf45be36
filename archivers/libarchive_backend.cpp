#include "libarchive_backend.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "failure.h"
#include "side_by_side.h"
#include "thread_budget.h"

namespace varnelt::archiver {

void ReaderFree::operator()(archive* reader) const {
    archive_read_free(reader);
}

namespace {

// Large reads keep the number of calls through libarchive low on big archives.
constexpr size_t kReadBlockSize = 256 * 1024;
// What a reader that skips from header to header reads after each skip: a header and then some,
// not a large block of data it is about to skip too.
constexpr size_t kAfterSkipReadSize = 4 * 1024;

enum class Reads { Large, ShortAfterSkip };

// libarchive converts names to the charset of the calling thread's locale and warns when it
// cannot, e.g. a UTF-8 name under the C locale. The program's locale is not ours to change,
// so every call into libarchive runs under a UTF-8 locale of this thread only.
class Utf8LocaleScope {
public:
    Utf8LocaleScope() : utf8_(newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(0))) {
        if (utf8_ != static_cast<locale_t>(0)) {
            previous_ = uselocale(utf8_);
        }
    }
    ~Utf8LocaleScope() {
        if (utf8_ != static_cast<locale_t>(0)) {
            uselocale(previous_);
            freelocale(utf8_);
        }
    }
    Utf8LocaleScope(const Utf8LocaleScope&) = delete;
    Utf8LocaleScope& operator=(const Utf8LocaleScope&) = delete;

private:
    locale_t utf8_;
    locale_t previous_ = LC_GLOBAL_LOCALE;
};

// The calling thread's locale, as a part on another thread runs under it: made once, as making a
// locale looks for its files.
class BorrowedLocaleScope {
public:
    explicit BorrowedLocaleScope(locale_t locale) : previous_(uselocale(locale)) {}
    ~BorrowedLocaleScope() { uselocale(previous_); }
    BorrowedLocaleScope(const BorrowedLocaleScope&) = delete;
    BorrowedLocaleScope& operator=(const BorrowedLocaleScope&) = delete;

private:
    locale_t previous_;
};

// Hands libarchive the opened file through positioned reads, so that nothing reopens the path
// and a refused read is recorded on the file.
class PlainFileSource final : public InputSource {
public:
    PlainFileSource(const InputFile& file, Reads reads)
        : file_(file), buffer_(std::make_unique<uint8_t[]>(kReadBlockSize)), reads_(reads) {}

    int attach(archive* reader) override {
        archive_read_set_callback_data(reader, this);
        archive_read_set_read_callback(reader, &PlainFileSource::read);
        archive_read_set_skip_callback(reader, &PlainFileSource::skip);
        archive_read_set_seek_callback(reader, &PlainFileSource::seek);
        return archive_read_open1(reader);
    }

private:
    static PlainFileSource& of(void* self) { return *static_cast<PlainFileSource*>(self); }

    static la_ssize_t read(archive* reader, void* self, const void** buffer) {
        PlainFileSource& source = of(self);
        const size_t length = source.skipped_ ? kAfterSkipReadSize : kReadBlockSize;
        source.skipped_ = false;
        const ptrdiff_t got =
            source.file_.readSomeAt(source.buffer_.get(), length, source.position_);
        if (got < 0) {
            archive_set_error(reader, EIO, "read error");
            return ARCHIVE_FATAL;
        }
        source.position_ += static_cast<uint64_t>(got);
        *buffer = source.buffer_.get();
        return got;
    }

    // Never past the end, so that a cut archive shows as such at the next read.
    static la_int64_t skip(archive* /*reader*/, void* self, la_int64_t request) {
        PlainFileSource& source = of(self);
        const uint64_t size = static_cast<uint64_t>(source.file_.size());
        const uint64_t left = source.position_ < size ? size - source.position_ : 0;
        const uint64_t skipped = request > 0 ? std::min(static_cast<uint64_t>(request), left) : 0;
        source.position_ += skipped;
        source.skipped_ = source.reads_ == Reads::ShortAfterSkip && skipped > 0;
        return static_cast<la_int64_t>(skipped);
    }

    static la_int64_t seek(archive* /*reader*/, void* self, la_int64_t offset, int whence) {
        PlainFileSource& source = of(self);
        const int64_t base = whence == SEEK_SET   ? 0
                             : whence == SEEK_CUR ? static_cast<int64_t>(source.position_)
                                                  : source.file_.size();
        int64_t target = 0;
        if (__builtin_add_overflow(base, offset, &target) || target < 0) {
            return ARCHIVE_FATAL;
        }
        source.position_ = static_cast<uint64_t>(target);
        return target;
    }

    const InputFile& file_;
    std::unique_ptr<uint8_t[]> buffer_;
    uint64_t position_ = 0;
    Reads reads_;
    bool skipped_ = false;
};

// A reader over its input. The source is declared first so that it outlives the reader,
// whose callbacks may point into it.
struct OpenedReader {
    std::unique_ptr<InputSource> source;
    Reader reader;
    int32_t error = VARNELT_ARC_OK;
};

enum class Phase { FirstHeader, Header, Data };

bool mentions(const char* message, std::initializer_list<const char*> words) {
    for (const char* word : words) {
        if (strcasestr(message, word) != nullptr) {
            return true;
        }
    }
    return false;
}

const char* messageOf(archive* reader) {
    const char* message = archive_error_string(reader);
    return message == nullptr ? "" : message;
}

// libarchive answers a status and a message; the status alone does not tell a checksum from a
// truncation or an unsupported method, so the message decides where it can.
int32_t codeFor(archive* reader, Phase phase) {
    const char* message = messageOf(reader);
    if (mentions(message, {"encrypt", "passphrase", "password"})) {
        return VARNELT_ARC_ERROR_PASSWORD;
    }
    if (phase == Phase::FirstHeader && archive_format(reader) == 0) {
        return VARNELT_ARC_ERROR_NOT_ARC_FILE;  // no reader of this library took the file
    }
    if (mentions(message, {"unsupported", "not supported", "unknown compression", "unknown codec",
                           "unexpected codec"})) {
        return VARNELT_ARC_ERROR_METHOD;
    }
    if (mentions(message, {"truncat", "premature end", "unexpected end", "unexpected eof"})) {
        return VARNELT_ARC_ERROR_EOF;
    }
    if (phase == Phase::Data) {
        return VARNELT_ARC_ERROR_FILE_CRC;
    }
    return mentions(message, {"header crc", "checksum"}) ? VARNELT_ARC_ERROR_HEADER_CRC
                                                         : VARNELT_ARC_ERROR_HEADER_BROKEN;
}

// Where a fault lies, before the reason: the entry's name, else its place; nothing before the
// first entry.
std::string placeOf(const std::optional<EntryLabel>& entry) {
    if (!entry) {
        return {};
    }
    return entry->name.empty() ? "entry " + std::to_string(entry->number) : entry->name;
}

// The failed call's code, with the reason recorded: the input's own, which explains the
// reader's error better than the reader can, else libarchive's message.
int32_t classify(archive* reader, Phase phase, const InputSource& source,
                 const std::optional<EntryLabel>& entry) {
    int32_t code = source.failure();
    std::string reason;
    if (code != VARNELT_ARC_OK) {
        reason = recordedReason(code);
    } else {
        code = codeFor(reader, phase);
        reason = code == VARNELT_ARC_ERROR_NOT_ARC_FILE ? std::string() : libarchiveReason(reader);
    }
    const std::string place = placeOf(entry);
    return failWith(code, reason.empty() || place.empty() ? reason : place + ": " + reason);
}

OpenedReader openReader(const LibarchiveFormat& format, const InputFile& file,
                        Reads reads = Reads::Large) {
    OpenedReader opened;
    if (file.size() == 0) {
        opened.error = VARNELT_ARC_ERROR_NOT_ARC_FILE;
        return opened;
    }
    opened.source = format.openSource ? format.openSource(file)
                                      : std::make_unique<PlainFileSource>(file, reads);
    opened.reader.reset(archive_read_new());
    if (!opened.source || !opened.reader) {
        opened.error = VARNELT_ARC_ERROR_ENOUGH_MEMORY;
        return opened;
    }
    format.enableReaders(opened.reader.get());
    if (opened.source->attach(opened.reader.get()) != ARCHIVE_OK) {
        opened.error = classify(opened.reader.get(), Phase::FirstHeader, *opened.source, {});
    }
    return opened;
}

// Reads the current entry's data to its end, so that libarchive checks its checksum.
int32_t readEntryData(archive* reader, const InputSource& source, DataCheck* check,
                      const EntryLabel& entry) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF) {
            return check ? check->endEntry() : VARNELT_ARC_OK;
        }
        if (status != ARCHIVE_OK) {
            return classify(reader, Phase::Data, source, entry);
        }
        if (check) {
            check->update(block, size);
        }
    }
}

std::string entryName(archive_entry* entry, bool backslashSeparators) {
    const char* raw = archive_entry_pathname(entry);
    if (raw == nullptr) {
        raw = archive_entry_pathname_utf8(entry);
    }
    return raw == nullptr ? std::string() : storedNameToUtf8(raw, backslashSeparators);
}

std::unique_ptr<DataCheck> makeCheck(const LibarchiveFormat& format, const InputFile& file) {
    return format.makeDataCheck ? format.makeDataCheck(file) : nullptr;
}

// A header that failed; the entry it belongs to has no name yet.
int32_t headerFailure(archive* reader, Phase phase, const InputSource& source, uint64_t entries) {
    return classify(
        reader, phase, source,
        phase == Phase::FirstHeader ? std::nullopt : std::optional<EntryLabel>({{}, entries + 1}));
}

// What the test answers once the reader has met the archive's end after every entry passed.
int32_t afterLastEntry(InputSource& source, DataCheck* check, uint64_t entries,
                       const std::optional<EntryLabel>& firstEncrypted) {
    if (entries == 0) {
        if (const int32_t empty = source.emptyArchive(); empty != VARNELT_ARC_OK) {
            return empty;
        }
    }
    if (const int32_t tail = source.finish(); tail != VARNELT_ARC_OK) {
        return tail;
    }
    if (const int32_t end = check ? check->endArchive() : VARNELT_ARC_OK; end != VARNELT_ARC_OK) {
        return end;
    }
    if (firstEncrypted) {
        return failWith(VARNELT_ARC_ERROR_PASSWORD,
                        inEntry("no password for the encrypted data", firstEncrypted->name,
                                firstEncrypted->number));
    }
    return VARNELT_ARC_OK;
}

// An entry whose data a reader of its own tests.
struct EntryPart {
    uint64_t number = 0;  // its place in the archive, from 1
    std::string name;
    la_int64_t size = 0;
};

// Bounds what the walk over the headers keeps of a hostile archive's entries.
constexpr size_t kMostParts = size_t{1} << 20;
// Each reader reads every header on its way, so entries much smaller than this cost more to
// reach than to test: their archive is tested in order. Judged on the first entries, so that an
// archive of small files does not pay for the whole walk.
constexpr uint64_t kLeastMeanPartSize = 128 * 1024;
constexpr size_t kJudgedParts = 256;

// The test's walk over the headers alone, entries with data left to the parts.
struct Listing {
    std::vector<EntryPart> parts;
    uint64_t partBytes = 0;
    uint64_t entries = 0;
    std::optional<EntryLabel> firstEncrypted;
    // What ended the walk before the archive's end, found after every part.
    std::optional<int32_t> failure;
    std::string failureReason;

    bool partsWorthIt() const {
        return partBytes / std::max<size_t>(parts.size(), 1) >= kLeastMeanPartSize;
    }

    // Records the answer that ends the walk and answers whether it does.
    bool ends(int32_t code) {
        if (code == VARNELT_ARC_OK) {
            return false;
        }
        failure = code;
        failureReason = recordedReason(code);
        return true;
    }
};

// A reader lent to the parts, kept at the entry where it stopped.
struct PartReader {
    OpenedReader opened;
    std::unique_ptr<DataCheck> check;
    uint64_t headersRead = 0;
};

// Readers handed on from part to part, so that each skips forward only.
class ReaderPool {
public:
    // The idle reader furthest on that has not yet passed the entry; nullptr when none is idle.
    std::unique_ptr<PartReader> take(uint64_t entry) {
        const std::scoped_lock lock(mutex_);
        auto best = idle_.end();
        for (auto it = idle_.begin(); it != idle_.end(); ++it) {
            if ((*it)->headersRead < entry &&
                (best == idle_.end() || (*it)->headersRead > (*best)->headersRead)) {
                best = it;
            }
        }
        if (best == idle_.end()) {
            return nullptr;
        }
        std::unique_ptr<PartReader> reader = std::move(*best);
        idle_.erase(best);
        return reader;
    }
    void giveBack(std::unique_ptr<PartReader> reader) {
        const std::scoped_lock lock(mutex_);
        idle_.push_back(std::move(reader));
    }

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<PartReader>> idle_;
};

// Moves the reader to the part's entry, skipping the data of those before it, and reads the
// entry's data. nullopt when the reader sees the archive otherwise than the walk did.
std::optional<int32_t> readPart(PartReader& lent, const EntryPart& part, bool backslashSeparators) {
    archive* reader = lent.opened.reader.get();
    for (;;) {
        archive_entry* entry = nullptr;
        if (archive_read_next_header(reader, &entry) != ARCHIVE_OK) {
            return std::nullopt;
        }
        if (++lent.headersRead < part.number) {
            if (lent.check) {
                lent.check->passEntry(reader, entry);
            }
            continue;
        }
        const EntryLabel label{entryName(entry, backslashSeparators), part.number};
        if (label.name != part.name || archive_entry_size(entry) != part.size ||
            archive_entry_is_encrypted(entry) ||
            (lent.check && lent.check->beginEntry(reader, entry, label))) {
            return std::nullopt;
        }
        return readEntryData(reader, *lent.opened.source, lent.check.get(), label);
    }
}

}  // namespace

std::unique_ptr<InputSource> plainFileSource(const InputFile& file) {
    return std::make_unique<PlainFileSource>(file, Reads::Large);
}

std::string libarchiveReason(archive* reader) {
    std::string reason = messageOf(reader);
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) {
        reason.pop_back();
    }
    const auto lower = [](char c) { return c >= 'a' && c <= 'z'; };
    if (reason.size() > 1 && reason[0] >= 'A' && reason[0] <= 'Z' && lower(reason[1])) {
        reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
    }
    return reason;
}

int32_t LibarchiveBackend::test(const InputFile& file) const {
    const Utf8LocaleScope locale;
    if (threadBudget() > 1 && format_.entriesApart) {
        if (const std::optional<int32_t> apart = testApart(file)) {
            return *apart;
        }
        clearFailure();  // the test in order records its own reasons, as if made alone
    }
    const OpenedReader opened = openReader(format_, file);
    if (opened.error != VARNELT_ARC_OK) {
        return opened.error;
    }
    archive* reader = opened.reader.get();
    const std::unique_ptr<DataCheck> check = makeCheck(format_, file);
    // Encrypted entries cannot be checked without a password: they are skipped, every other
    // entry is still verified, and a real fault anywhere wins over the password answer.
    std::optional<EntryLabel> firstEncrypted;
    uint64_t entries = 0;
    for (Phase phase = Phase::FirstHeader;; phase = Phase::Header) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader, &entry);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (status != ARCHIVE_OK) {
            return headerFailure(reader, phase, *opened.source, entries);
        }
        const EntryLabel label{entryName(entry, format_.backslashSeparators), ++entries};
        if (const auto checked = check ? check->beginEntry(reader, entry, label) : std::nullopt) {
            if (*checked != VARNELT_ARC_OK) {
                return *checked;
            }
            continue;
        }
        if (archive_entry_is_encrypted(entry)) {
            if (!firstEncrypted) {
                firstEncrypted = label;
            }
            continue;
        }
        if (const int32_t result = readEntryData(reader, *opened.source, check.get(), label);
            result != VARNELT_ARC_OK) {
            return result;
        }
    }
    return afterLastEntry(*opened.source, check.get(), entries, firstEncrypted);
}

// The walk of test() over the headers, each entry's data skipped unless it has none; the entries
// with data are then read side by side, each by a reader of its own, and decided in the archive's
// order with the answers and reasons the walk in order gives.
std::optional<int32_t> LibarchiveBackend::testApart(const InputFile& file) const {
    const OpenedReader opened = openReader(format_, file, Reads::ShortAfterSkip);
    if (opened.error != VARNELT_ARC_OK) {
        return std::nullopt;
    }
    archive* reader = opened.reader.get();
    const std::unique_ptr<DataCheck> check = makeCheck(format_, file);
    Listing listing;
    for (Phase phase = Phase::FirstHeader;; phase = Phase::Header) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader, &entry);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (phase == Phase::FirstHeader &&
            (status != ARCHIVE_OK || !format_.entriesApart(reader, file))) {
            return std::nullopt;
        }
        if (status != ARCHIVE_OK) {
            listing.ends(headerFailure(reader, phase, *opened.source, listing.entries));
            break;
        }
        const EntryLabel label{entryName(entry, format_.backslashSeparators), ++listing.entries};
        if (const auto checked = check ? check->beginEntry(reader, entry, label) : std::nullopt) {
            if (listing.ends(*checked)) {
                break;
            }
            continue;
        }
        if (archive_entry_is_encrypted(entry)) {
            if (!listing.firstEncrypted) {
                listing.firstEncrypted = label;
            }
            continue;
        }
        if (archive_entry_size(entry) <= 0) {
            // Nothing to hand over: read here, as in order.
            if (listing.ends(readEntryData(reader, *opened.source, check.get(), label))) {
                break;
            }
            continue;
        }
        if (listing.parts.size() == kMostParts) {
            return std::nullopt;
        }
        listing.parts.push_back({label.number, label.name, archive_entry_size(entry)});
        listing.partBytes +=
            std::min<uint64_t>(static_cast<uint64_t>(archive_entry_size(entry)), uint64_t{1} << 40);
        if (listing.parts.size() == kJudgedParts && !listing.partsWorthIt()) {
            return std::nullopt;
        }
    }
    if (listing.parts.size() < 2 || !listing.partsWorthIt()) {
        return std::nullopt;
    }
    ReaderPool pool;
    std::atomic<bool> doubt{false};
    const locale_t locale = uselocale(static_cast<locale_t>(0));
    const auto testPart = [&](size_t index) -> int32_t {
        const BorrowedLocaleScope partLocale(locale);  // for helper threads as for this one
        const EntryPart& part = listing.parts[index];
        std::unique_ptr<PartReader> lent = pool.take(part.number);
        if (!lent) {
            lent = std::make_unique<PartReader>(PartReader{
                openReader(format_, file, Reads::ShortAfterSkip), makeCheck(format_, file)});
        }
        const std::optional<int32_t> result =
            lent->opened.error == VARNELT_ARC_OK
                ? readPart(*lent, part, format_.backslashSeparators)
                : std::nullopt;
        if (!result) {
            doubt = true;
            return VARNELT_ARC_ERROR_HEADER_BROKEN;  // ends the walk; its answer is dropped
        }
        if (*result == VARNELT_ARC_OK) {
            pool.giveBack(std::move(lent));
        }
        return *result;
    };
    const std::vector<PartOutcome> outcomes =
        testSideBySide(listing.parts.size(), threadBudget(), testPart,
                       [](int32_t result) { return result != VARNELT_ARC_OK; });
    if (doubt) {
        return std::nullopt;
    }
    for (const PartOutcome& outcome : outcomes) {
        if (const int32_t result = replayOutcome(outcome); result != VARNELT_ARC_OK) {
            return result;
        }
    }
    if (listing.failure) {
        return failWith(*listing.failure, listing.failureReason);
    }
    return afterLastEntry(*opened.source, check.get(), listing.entries, listing.firstEncrypted);
}

int32_t LibarchiveBackend::countEntries(const InputFile& file) const {
    const Utf8LocaleScope locale;
    const OpenedReader opened = openReader(format_, file);
    if (opened.error != VARNELT_ARC_OK) {
        return -1;
    }
    // Moving to the next header skips data without decoding it, as long as no data was read.
    int32_t count = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(opened.reader.get(), &entry);
        if (status == ARCHIVE_EOF) {
            return count > 0 || opened.source->emptyArchive() == VARNELT_ARC_OK ? count : -1;
        }
        if (status != ARCHIVE_OK || count == INT32_MAX) {
            return -1;
        }
        ++count;
    }
}

std::unique_ptr<ArchiveSession> LibarchiveBackend::open(const InputFile& file) const {
    const Utf8LocaleScope locale;
    const OpenedReader opened = openReader(format_, file);
    if (opened.error != VARNELT_ARC_OK) {
        return nullptr;
    }
    archive_entry* entry = nullptr;
    const int status = archive_read_next_header(opened.reader.get(), &entry);
    std::optional<std::string> firstName;
    if (status == ARCHIVE_OK) {
        firstName = entryName(entry, format_.backslashSeparators);
    } else if (status != ARCHIVE_EOF || opened.source->emptyArchive() != VARNELT_ARC_OK) {
        return nullptr;
    }
    return std::make_unique<ArchiveSession>(std::move(firstName), startsWithExecutableStub(file));
}

}  // namespace varnelt::archiver
