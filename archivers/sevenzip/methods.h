// The coders a 7z folder can name, and which of them this reader decodes.
#pragma once

#include <cstdint>
#include <string>

#include "model.h"

namespace varnelt::archiver::sevenzip {

enum MethodId : uint64_t {
    kCopy = 0x00,
    kDelta = 0x03,
    kArm64 = 0x0A,
    kLzma2 = 0x21,
    kLzma = 0x030101,
    kDeflate = 0x040108,
    kBzip2 = 0x040202,
    kX86 = 0x03030103,
    kBcj2 = 0x0303011B,
    kPowerPc = 0x03030205,
    kIa64 = 0x03030401,
    kArm = 0x03030501,
    kArmThumb = 0x03030701,
    kSparc = 0x03030805,
};

enum class CoderKind {
    Copy,
    Lzma,    // LZMA or LZMA2, the last filter of a liblzma chain
    Filter,  // a branch converter or Delta, which liblzma applies in front of LZMA or LZMA2
    Deflate,
    Bzip2,
    Bcj2,
    Encryption,
    Other,        // decoded by libarchive's reader, or by nobody
    Undecodable,  // valid, but beyond every decoder here (LZMA with lc + lp above 4)
};

CoderKind coderKind(const Coder& coder);

// The method as reasons name it: "Deflate64", or its id in hexadecimal when it has no name here.
std::string methodName(uint64_t method);

enum class FolderSupport { Decodable, Encrypted, Other, Undecodable };

// What the folder's coders allow, the most limiting one deciding.
FolderSupport folderSupport(const Folder& folder);

}  // namespace varnelt::archiver::sevenzip
