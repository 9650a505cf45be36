#include "properties.h"

#include "fault.h"

namespace varnelt::archiver::sevenzip {

void skipProperty(ByteReader& reader) {
    reader.take(reader.readNumber());
}

void skipUntil(ByteReader& reader, uint64_t id) {
    for (;;) {
        const uint64_t found = reader.readNumber();
        if (found == id) {
            return;
        }
        if (found == kEnd) {
            headerBroken();
        }
        skipProperty(reader);
    }
}

std::vector<std::optional<uint32_t>> readDigests(ByteReader& reader, size_t count) {
    const BitVector defined = BitVector::readDefined(reader, count);
    reader.requireRoomFor(defined.countSet(), 4);
    std::vector<std::optional<uint32_t>> digests(count);
    for (size_t i = 0; i < count; ++i) {
        if (defined[i]) {
            digests[i] = reader.readUInt32();
        }
    }
    return digests;
}

}  // namespace varnelt::archiver::sevenzip
