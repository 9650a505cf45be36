#include "reader.h"

#include <optional>
#include <string>

#include "archive_reader.h"
#include "fault.h"
#include "files_info.h"
#include "folder_decoder.h"
#include "methods.h"

namespace varnelt::archiver::sevenzip {
namespace {

// The name of the folder's first coder of this kind, for a reason.
std::string firstCoderOf(const Folder& folder, CoderKind kind) {
    for (const Coder& coder : folder.coders) {
        if (coderKind(coder) == kind) {
            return methodName(coder.method);
        }
    }
    return {};
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
    std::optional<std::string> encrypted;
    std::optional<std::string> needsFallback;
    std::optional<std::string> undecodable;
    uint64_t dataBefore = 0;  // substreams of the folders before this one
    for (const Folder& folder : archive.header.streams.folders) {
        const auto label = [&files = archive.header.files, first = dataBefore](size_t substream) {
            return dataFileLabel(files, first + substream);
        };
        dataBefore += folder.substreams.size();
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
                if (const int32_t result = testFolder(file, folder, label);
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
