// An entry's name as the program shows it, from a central record's raw name and extra field.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace varnelt::archiver::zip {

// The Info-ZIP Unicode Path when its CRC-32 matches the raw name (the name was not changed by
// a tool that ignores the extra field), the raw name when flag bit 11 marks it UTF-8, else the
// raw name decoded as CP932; "\" between folders becomes "/".
std::string entryName(uint16_t flags, std::span<const uint8_t> name,
                      std::span<const uint8_t> extra);

}  // namespace varnelt::archiver::zip
