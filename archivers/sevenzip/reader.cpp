#include "reader.h"

#include "archive_reader.h"
#include "fault.h"
#include "folder_decoder.h"
#include "methods.h"

namespace varnelt::archiver::sevenzip {

int32_t Reader::test(const InputFile& file, uint64_t signatureOffset) const {
    Archive archive;
    try {
        archive = readArchive(file, signatureOffset);
    } catch (const Fault& fault) {
        return fault.code == VARNELT_ARC_ERROR_METHOD ? fallback_.test(file) : fault.code;
    }
    // Encrypted folders cannot be checked without a password and others libarchive decodes:
    // every other folder is verified first, and a real fault anywhere wins.
    bool encrypted = false;
    bool needsFallback = false;
    bool undecodable = false;
    for (const Folder& folder : archive.header.streams.folders) {
        if (folder.substreams.empty()) {
            continue;  // no file's data lies in it
        }
        switch (folderSupport(folder)) {
            case FolderSupport::Decodable:
                if (const int32_t result = testFolder(file, folder); result != VARNELT_ARC_OK) {
                    return result;
                }
                break;
            case FolderSupport::Encrypted:
                encrypted = true;
                break;
            case FolderSupport::Other:
                needsFallback = true;
                break;
            case FolderSupport::Undecodable:
                undecodable = true;
                break;
        }
    }
    if (undecodable) {
        return VARNELT_ARC_ERROR_METHOD;  // libarchive decodes LZMA through liblzma as well
    }
    if (needsFallback) {
        return fallback_.test(file);
    }
    return encrypted ? VARNELT_ARC_ERROR_PASSWORD : VARNELT_ARC_OK;
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
