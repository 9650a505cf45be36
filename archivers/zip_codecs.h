// The decoders of the ZIP methods this library decodes itself, one class per method.
#pragma once

#include <cstdint>
#include <memory>

#include "stream_decoder.h"

namespace varnelt::archiver::zip {

// A fresh decoder for an entry of this method and uncompressed size, or nullptr when the
// method is not decoded here.
std::unique_ptr<StreamDecoder> makeDecoder(uint16_t method, uint64_t uncompressedSize);

}  // namespace varnelt::archiver::zip
