#include "reader.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "archive_reader.h"
#include "fault.h"
#include "files_info.h"
#include "folder_decoder.h"
#include "methods.h"
#include "side_by_side.h"
#include "thread_budget.h"

namespace varnelt::archiver::sevenzip {
namespace {

// What the folders decoded side by side may hold in dictionaries, well inside a worker's
// address space.
constexpr uint64_t kSideBySideMemory = uint64_t{768} << 20;

// The name of the folder's first coder of this kind, for a reason.
std::string firstCoderOf(const Folder& folder, CoderKind kind) {
    for (const Coder& coder : folder.coders) {
        if (coderKind(coder) == kind) {
            return methodName(coder.method);
        }
    }
    return {};
}

// How many folders may be decoded at once: as many as threads are lent, as long as their
// dictionaries, which never exceed a folder's output, fit the memory set aside for them.
int foldersAtOnce(const std::vector<Folder>& folders, const std::vector<size_t>& decodable) {
    uint64_t largest = 0;
    for (const size_t index : decodable) {
        for (const uint64_t size : folders[index].unpackSizes) {
            largest = std::max(largest, size);
        }
    }
    const uint64_t fitting = kSideBySideMemory / std::max<uint64_t>(largest, 1);
    return static_cast<int>(
        std::clamp<uint64_t>(fitting, 1, static_cast<uint64_t>(threadBudget())));
}

}  // namespace

int32_t Reader::test(const InputFile& file, uint64_t signatureOffset) const {
    Archive archive;
    try {
        archive = readArchive(file, signatureOffset);
    } catch (const Fault& fault) {
        return fault.code == VARNELT_ARC_ERROR_METHOD ? fallback_.test(file) : fault.code;
    }
    // Encrypted folders cannot be checked without a password and others libarchive decodes:
    // every other folder is verified first, and a real fault anywhere wins. Each kept answer
    // holds the reason for the first folder that gave it.
    const std::vector<Folder>& folders = archive.header.streams.folders;
    std::vector<uint64_t> dataBefore;  // substreams of the folders before each one
    std::vector<size_t> decodable;     // the folders decoded here, in the archive's order
    for (uint64_t before = 0; const Folder& folder : folders) {
        dataBefore.push_back(before);
        before += folder.substreams.size();
        if (!folder.substreams.empty() && folderSupport(folder) == FolderSupport::Decodable) {
            decodable.push_back(static_cast<size_t>(&folder - folders.data()));
        }
    }
    const auto labelOf = [&files = archive.header.files, &dataBefore](size_t folder) {
        return [&files, first = dataBefore[folder]](size_t substream) {
            return dataFileLabel(files, first + substream);
        };
    };
    // Decodable folders are independent: on lent threads they are decoded side by side.
    const std::vector<PartOutcome> decoded = testSideBySide(
        decodable.size(), foldersAtOnce(folders, decodable),
        [&](size_t i) { return testFolder(file, folders[decodable[i]], labelOf(decodable[i])); },
        [](int32_t result) { return result != VARNELT_ARC_OK; });
    std::optional<std::string> encrypted;
    std::optional<std::string> needsFallback;
    std::optional<std::string> undecodable;
    for (size_t index = 0, next = 0; index < folders.size(); ++index) {
        const Folder& folder = folders[index];
        const auto label = labelOf(index);
        if (folder.substreams.empty()) {
            continue;  // no file's data lies in it
        }
        const auto keep = [&label](std::optional<std::string>& reason, const std::string& what) {
            if (!reason) {
                const EntryLabel at = label(0);
                reason = inEntry(what, at.name, at.number);
            }
        };
        switch (folderSupport(folder)) {
            case FolderSupport::Decodable:
                if (const int32_t result = replayOutcome(decoded[next++]);
                    result != VARNELT_ARC_OK) {
                    return result;
                }
                break;
            case FolderSupport::Encrypted:
                keep(encrypted, "no password for the encrypted data");
                break;
            case FolderSupport::Other:
                keep(needsFallback, "unsupported method " + firstCoderOf(folder, CoderKind::Other));
                break;
            case FolderSupport::Undecodable:
                keep(undecodable,
                     "unsupported " + firstCoderOf(folder, CoderKind::Undecodable) + " properties");
                break;
        }
    }
    if (undecodable) {
        // libarchive decodes LZMA through liblzma as well.
        return failWith(VARNELT_ARC_ERROR_METHOD, *undecodable);
    }
    if (needsFallback) {
        // A method libarchive lacks too is named as this reader knows it.
        const int32_t result = fallback_.test(file);
        return result == VARNELT_ARC_ERROR_METHOD ? failWith(result, *needsFallback) : result;
    }
    return encrypted ? failWith(VARNELT_ARC_ERROR_PASSWORD, *encrypted) : VARNELT_ARC_OK;
}

int32_t Reader::countEntries(const InputFile& file, uint64_t signatureOffset) const {
    try {
        return static_cast<int32_t>(readArchive(file, signatureOffset).header.files.count);
    } catch (const Fault& fault) {
        return fault.code == VARNELT_ARC_ERROR_METHOD ? fallback_.countEntries(file) : -1;
    }
}

std::unique_ptr<ArchiveSession> Reader::open(const InputFile& file,
                                             uint64_t signatureOffset) const {
    try {
        Archive archive = readArchive(file, signatureOffset);
        return std::make_unique<ArchiveSession>(std::move(archive.header.files.firstName),
                                                signatureOffset > 0);
    } catch (const Fault& fault) {
        return fault.code == VARNELT_ARC_ERROR_METHOD ? fallback_.open(file) : nullptr;
    }
}

}  // namespace varnelt::archiver::sevenzip
