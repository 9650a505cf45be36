#include "methods.h"

#include <lzma.h>

#include <cstdio>

namespace varnelt::archiver::sevenzip {
namespace {

// liblzma takes at most four literal-context and literal-position bits together; 7-Zip
// writes LZMA with up to twelve on request.
bool lzmaPropertiesFit(const Coder& coder) {
    if (coder.properties.empty()) {
        return true;  // missing properties are a broken header, found when decoding
    }
    const unsigned packed = coder.properties[0];
    return packed >= 9 * 5 * 5 || packed % 9 + packed / 9 % 5 <= 4;
}

}  // namespace

CoderKind coderKind(const Coder& coder) {
    switch (coder.method) {
        case kCopy:
            return CoderKind::Copy;
        case kLzma:
            return lzmaPropertiesFit(coder) ? CoderKind::Lzma : CoderKind::Undecodable;
        case kLzma2:
            return CoderKind::Lzma;
        case kDelta:
        case kX86:
        case kPowerPc:
        case kIa64:
        case kArm:
        case kArmThumb:
        case kSparc:
            return CoderKind::Filter;
        case kArm64:
#ifdef LZMA_FILTER_ARM64
            return CoderKind::Filter;
#else
            return CoderKind::Other;
#endif
        case kDeflate:
            return CoderKind::Deflate;
        case kBzip2:
            return CoderKind::Bzip2;
        case kBcj2:
            return CoderKind::Bcj2;
        default:
            // 06 F1 is the family of 7z's ciphers.
            return coder.method >> 16 == 0x06F1 ? CoderKind::Encryption : CoderKind::Other;
    }
}

std::string methodName(uint64_t method) {
    switch (method) {
        case kCopy:
            return "Copy";
        case kDelta:
            return "Delta";
        case kArm64:
            return "ARM64";
        case kLzma2:
            return "LZMA2";
        case kLzma:
            return "LZMA";
        case kDeflate:
            return "Deflate";
        case 0x040109:
            return "Deflate64";
        case kBzip2:
            return "BZip2";
        case 0x030401:
            return "PPMd";
        case 0x04F71101:
            return "Zstandard";
        case kX86:
            return "BCJ";
        case kBcj2:
            return "BCJ2";
        case kPowerPc:
            return "PPC";
        case kIa64:
            return "IA64";
        case kArm:
            return "ARM";
        case kArmThumb:
            return "ARMT";
        case kSparc:
            return "SPARC";
        case 0x06F10701:
            return "AES-256";
        default: {
            char text[24];
            std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(method));
            return text;
        }
    }
}

FolderSupport folderSupport(const Folder& folder) {
    FolderSupport support = FolderSupport::Decodable;
    for (const Coder& coder : folder.coders) {
        switch (coderKind(coder)) {
            case CoderKind::Encryption:
                return FolderSupport::Encrypted;
            case CoderKind::Undecodable:
                support = FolderSupport::Undecodable;
                break;
            case CoderKind::Other:
                if (support == FolderSupport::Decodable) {
                    support = FolderSupport::Other;
                }
                break;
            default:
                break;
        }
    }
    return support;
}

}  // namespace varnelt::archiver::sevenzip
