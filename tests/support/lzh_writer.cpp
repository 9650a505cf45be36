#include "tests/support/lzh_writer.h"

#include <stdexcept>

namespace varnelt::test {

namespace {

void appendLe16(QByteArray& out, uint32_t value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

void appendLe32(QByteArray& out, uint32_t value) {
    appendLe16(out, value & 0xFFFF);
    appendLe16(out, value >> 16);
}

}  // namespace

uint16_t lzhCrc16(const QByteArray& bytes) {
    uint16_t crc = 0;
    for (const char byte : bytes) {
        crc ^= static_cast<uint8_t>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<uint16_t>(crc >> 1);
        }
    }
    return crc;
}

QByteArray storedLzh(const QList<StoredLzhEntry>& entries) {
    QByteArray archive;
    for (const StoredLzhEntry& entry : entries) {
        if (entry.method.size() != 5 || entry.name.size() > 233) {
            throw std::invalid_argument("method must be 5 bytes, name at most 233");
        }
        QByteArray body;  // the header from its method on: what its checksum covers
        body.append(entry.method);
        appendLe32(body, static_cast<uint32_t>(entry.data.size()));  // compressed
        appendLe32(body, entry.originalSize.value_or(static_cast<uint32_t>(entry.data.size())));
        appendLe32(body, 0x5A218000);  // 2025-01-01 16:00, MS-DOS time and date
        body.append('\x20');           // attribute: archive
        body.append('\x00');           // header level
        body.append(static_cast<char>(entry.name.size()));
        body.append(entry.name);
        appendLe16(body, lzhCrc16(entry.data));
        unsigned sum = 0;
        for (const char byte : body) {
            sum += static_cast<uint8_t>(byte);
        }
        archive.append(static_cast<char>(body.size()));
        archive.append(static_cast<char>(sum & 0xFF));
        archive.append(body);
        archive.append(entry.data);
    }
    archive.append('\x00');
    return archive;
}

}  // namespace varnelt::test
