#include "zip_backend.h"

#include <archive.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "failure.h"
#include "libarchive_backend.h"
#include "side_by_side.h"
#include "thread_budget.h"
#include "zip_directory.h"
#include "zip_end_records.h"
#include "zip_entry.h"
#include "zip_format.h"
#include "zip_names.h"

namespace varnelt::archiver {

namespace {

using zip::CentralRecord;
using zip::DirectoryLocation;

// Methods that libarchive decodes and this library does not. Their entries are checked here
// for everything but their data; libarchive then checks the data of the whole archive.
bool libarchiveDecodes(uint16_t method) {
    return method == zip::kPpmd || method == zip::kZstd;
}

const Backend& libarchiveZip() {
    static const LibarchiveBackend backend({
        .enableReaders = [](archive* reader) { archive_read_support_format_zip_seekable(reader); },
        .backslashSeparators = true,
    });
    return backend;
}

// The answers that leave an archive sound as far as it could be checked, from the least to the
// most telling; any other answer is a fault, which wins over all of them.
int soundRank(int32_t result) {
    switch (result) {
        case VARNELT_ARC_OK:
            return 0;
        case VARNELT_ARC_ERROR_PASSWORD:
            return 1;
        case VARNELT_ARC_ERROR_METHOD:
            return 2;
        default:
            return -1;
    }
}

// The directory of a listable archive, or the error code.
int32_t locateListable(const InputFile& file, DirectoryLocation& location) {
    const int32_t located = zip::locateDirectory(file, location);
    if (located == VARNELT_ARC_OK && location.encrypted) {
        return failWith(VARNELT_ARC_ERROR_PASSWORD, "encrypted central directory");
    }
    return located;
}

class ZipBackend final : public Backend {
public:
    int32_t test(const InputFile& file) const override {
        DirectoryLocation location;
        if (const int32_t located = locateListable(file, location); located != VARNELT_ARC_OK) {
            return located;
        }
        std::vector<CentralRecord> records;
        // Grown as records are read: a forged count must not size the list.
        records.reserve(static_cast<size_t>(std::min<uint64_t>(location.entries, 4096)));
        const int32_t walked = zip::walkDirectory(
            file, location, [&records](const CentralRecord& record, auto name, auto extra) {
                records.push_back(record);
                records.back().name = zip::entryName(record.flags, name, extra);
                return VARNELT_ARC_OK;
            });
        if (walked != VARNELT_ARC_OK) {
            return walked;
        }
        if (const int32_t limited = zip::assignLimits(records, location.start);
            limited != VARNELT_ARC_OK) {
            return limited;
        }
        int32_t verdict = VARNELT_ARC_OK;
        // Later entries record reasons of their own; the verdict keeps the one it was given.
        std::string verdictReason;
        bool handOver = false;
        const auto note = [&verdict, &verdictReason](int32_t result) {
            if (soundRank(result) < 0) {
                return false;
            }
            if (soundRank(result) > soundRank(verdict)) {
                verdict = result;
                verdictReason = recordedReason(result);
            }
            return true;
        };
        // Entries are tested side by side when threads are lent, and decided here in their order.
        const std::vector<PartOutcome> outcomes = testSideBySide(
            records.size(), threadBudget(),
            [&file, &records](size_t i) { return zip::testEntry(file, records[i]); },
            [](int32_t result) { return soundRank(result) < 0; });
        for (size_t i = 0; i < records.size(); ++i) {
            const CentralRecord& record = records[i];
            const int32_t result = replayOutcome(outcomes[i]);
            if (result == VARNELT_ARC_ERROR_METHOD && libarchiveDecodes(record.method)) {
                handOver = true;
            } else if (!note(result)) {
                return result;
            }
        }
        if (handOver) {
            if (const int32_t result = libarchiveZip().test(file); !note(result)) {
                return result;
            }
        }
        return failWith(verdict, verdictReason);
    }

    int32_t countEntries(const InputFile& file) const override {
        DirectoryLocation location;
        if (locateListable(file, location) != VARNELT_ARC_OK) {
            return -1;
        }
        uint64_t count = 0;
        const int32_t walked = zip::walkDirectory(file, location, [&count](auto&&...) {
            ++count;
            return VARNELT_ARC_OK;
        });
        return walked == VARNELT_ARC_OK && count <= INT32_MAX ? static_cast<int32_t>(count) : -1;
    }

    std::unique_ptr<ArchiveSession> open(const InputFile& file) const override {
        DirectoryLocation location;
        if (locateListable(file, location) != VARNELT_ARC_OK) {
            return nullptr;
        }
        std::optional<std::string> firstName;
        const int32_t walked = zip::walkDirectory(
            file, location, [&firstName](const CentralRecord& record, auto name, auto extra) {
                if (!firstName) {
                    firstName = zip::entryName(record.flags, name, extra);
                }
                return VARNELT_ARC_OK;
            });
        if (walked != VARNELT_ARC_OK) {
            return nullptr;
        }
        return std::make_unique<ArchiveSession>(std::move(firstName),
                                                startsWithExecutableStub(file));
    }
};

}  // namespace

const Backend& zipBackend() {
    static const ZipBackend backend;
    return backend;
}

}  // namespace varnelt::archiver
