#include "tests/support/bga_writer.h"

#include <bzlib.h>
#include <iconv.h>
#include <zlib.h>

#include <QFile>

#include <memory>

namespace varnelt::test::bga {
namespace {

// 2024-01-01 12:00:00, so that archives written twice are equal.
constexpr uint16_t kDosDate = ((2024 - 1980) << 9) | (1 << 5) | 1;
constexpr uint16_t kDosTime = 12 << 11;

void put16(QByteArray& out, uint16_t value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8));
}

void put32(QByteArray& out, uint32_t value) {
    put16(out, static_cast<uint16_t>(value & 0xFFFF));
    put16(out, static_cast<uint16_t>(value >> 16));
}

std::optional<QByteArray> toShiftJis(const QString& text) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    const std::unique_ptr<void, int (*)(iconv_t)> closer(cd, &iconv_close);
    QByteArray input = text.toUtf8();
    QByteArray output(input.size() * 2 + 4, '\0');
    char* in = input.data();
    size_t inLeft = static_cast<size_t>(input.size());
    char* out = output.data();
    size_t outLeft = static_cast<size_t>(output.size());
    if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1)) {
        return std::nullopt;
    }
    output.truncate(output.size() - static_cast<qsizetype>(outLeft));
    return output;
}

}  // namespace

uint32_t headerChecksum(const QByteArray& headerAndNames) {
    uint32_t sum = 0;
    for (qsizetype i = 4; i < headerAndNames.size(); ++i) {
        sum += static_cast<uint32_t>(
            static_cast<int32_t>(static_cast<signed char>(headerAndNames[i])));
    }
    return sum;
}

void resealHeader(QByteArray& archive, qsizetype offset) {
    const auto field16 = [&](qsizetype at) {
        return static_cast<uint16_t>(static_cast<uint8_t>(archive[offset + at]) |
                                     (static_cast<uint8_t>(archive[offset + at + 1]) << 8));
    };
    const qsizetype length = kHeaderSize + field16(24) + field16(26);
    QByteArray sum;
    put32(sum, headerChecksum(archive.mid(offset, length)));
    archive.replace(offset, 4, sum);
}

QByteArray gzipMember(const QByteArray& data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        return {};
    }
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(data.size()))),
                   '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&stream, Z_FINISH);
    out.truncate(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return rc == Z_STREAM_END ? out : QByteArray();
}

QByteArray bzip2Stream(const QByteArray& data) {
    unsigned length = static_cast<unsigned>(data.size() + data.size() / 100 + 600);
    QByteArray out(static_cast<qsizetype>(length), '\0');
    if (BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(data.constData()),
                                 static_cast<unsigned>(data.size()), 9, 0, 0) != BZ_OK) {
        return {};
    }
    out.truncate(static_cast<qsizetype>(length));
    return out;
}

qsizetype dataOffset(const Member& member) {
    return kHeaderSize + member.folder.size() + member.file.size();
}

QByteArray encodeMember(const Member& member) {
    QByteArray payload = member.data;
    if (member.compress) {
        payload =
            member.method == Method::Gzip ? gzipMember(member.data) : bzip2Stream(member.data);
    }
    QByteArray out;
    put32(out, 0);  // the checksum, once the rest is known
    out.append(member.method == Method::Gzip ? QByteArray("GZIP", 4) : QByteArray("BZ2\0", 4));
    put32(out, static_cast<uint32_t>(payload.size()));
    put32(out, static_cast<uint32_t>(member.data.size()));
    put16(out, kDosDate);
    put16(out, kDosTime);
    out.append(static_cast<char>(member.attributes));
    out.append('\0');  // header type
    put16(out, member.arcType);
    put16(out, static_cast<uint16_t>(member.folder.size()));
    put16(out, static_cast<uint16_t>(member.file.size()));
    out.append(member.folder);
    out.append(member.file);
    resealHeader(out, 0);
    out.append(payload);
    return out;
}

std::optional<Member> memberFor(const Entry& entry, Method method) {
    QString name = entry.name;
    name.replace(u'/', u'\\');
    const qsizetype split = name.lastIndexOf(u'\\') + 1;
    const auto folder = toShiftJis(name.left(split));
    const auto file = toShiftJis(name.mid(split));
    if (!folder || !file) {
        return std::nullopt;
    }
    Member member;
    member.method = method;
    member.folder = *folder;
    member.file = *file;
    if (entry.name.endsWith(u'/')) {
        member.attributes = 0x10;
        member.compress = false;
        member.arcType = kArcStored;
    } else {
        member.data = entry.data;
    }
    return member;
}

bool writeArchive(const QString& path, const QList<Member>& members) {
    QByteArray bytes;
    for (const Member& member : members) {
        bytes.append(encodeMember(member));
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

}  // namespace varnelt::test::bga

namespace varnelt::test {
namespace {

bool makeBga(const QString& archive, const EntryList& entries, bga::Method method) {
    QList<bga::Member> members;
    for (const Entry& entry : entries) {
        auto member = bga::memberFor(entry, method);
        if (!member) {
            return false;
        }
        members.append(*member);
    }
    return bga::writeArchive(archive, members);
}

}  // namespace

bool makeGza(const QString& archive, const EntryList& entries) {
    return makeBga(archive, entries, bga::Method::Gzip);
}

bool makeBza(const QString& archive, const EntryList& entries) {
    return makeBga(archive, entries, bga::Method::Bzip2);
}

}  // namespace varnelt::test
