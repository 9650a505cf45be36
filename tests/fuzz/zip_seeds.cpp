#include "tests/fuzz/zip_seeds.h"

#include <QDir>

#include "tests/support/scratch.h"
#include "tests/support/zip_tools.h"
#include "tests/support/zip_writer.h"

namespace varnelt::test {
namespace {

// Archives laid out by hand, sound ones first, then damaged.
QList<QByteArray> handMade() {
    const QByteArray text = sampleContent(5000, 3);
    QList<QByteArray> archives;
    for (const zip::Descriptor form : {zip::Descriptor::Signed32, zip::Descriptor::Unsigned32,
                                       zip::Descriptor::Signed64, zip::Descriptor::Unsigned64}) {
        archives << zip::writeZip(
                        {zip::HandEntry("a.txt", text, 8).withDescriptor(form), {"b.txt", "b"}})
                        .bytes;
    }
    const zip::HandZip zip64 =
        zip::writeZip({zip::HandEntry("a.txt", text, 8).withZip64(), {"b/", {}}},
                      zip::EndRecords::Zip64, "comment");
    archives << zip64.bytes << zip::endRecord(0, 0, 0) << "MZ" + text + zip64.bytes;

    // One local header under three central records.
    const zip::HandZip one = zip::writeZip({{"f0", QByteArray(65536, '\0'), 8}});
    const QByteArray record =
        one.bytes.mid(one.directoryOffset, one.endOffset - one.directoryOffset);
    archives << one.bytes.left(one.directoryOffset) + record + record + record +
                    zip::endRecord(3, static_cast<uint32_t>(record.size() * 3),
                                   static_cast<uint32_t>(one.directoryOffset));
    QByteArray claimsMore = zip64.bytes;
    zip::set64(claimsMore, zip64.zip64EndOffset + 32, uint64_t{1} << 60);
    QByteArray brokenRecord = one.bytes;
    brokenRecord[one.centralOffsets[0] + 1] = 'X';
    archives << claimsMore << brokenRecord << QByteArray(78, '\0') + zip::endRecord(0xFFFF, 78, 0);
    return archives;
}

}  // namespace

int writeZipSeeds(const QString& zipFolder, const QString& deflate64Folder,
                  const QList<EntryList>& contents) {
    QDir().mkpath(zipFolder);
    QDir().mkpath(deflate64Folder);
    int failures = 0;
    int made = 0;
    // A block repeated further back than Deflate's window, for distance codes 30 and 31.
    const QByteArray block = sampleContent(12000, 7).toBase64().left(12000);
    QList<EntryList> withFarRepeats = contents;
    withFarRepeats << EntryList{
        {QStringLiteral("far.txt"), block + sampleContent(30000, 8) + block}};
    for (const char* method : {"Deflate64", "LZMA", "BZip2", "Xz", "PPMd"}) {
        for (const EntryList& entries : withFarRepeats) {
            const QString archive =
                QStringLiteral("%1/%2-%3.zip").arg(zipFolder).arg(method).arg(++made);
            if (!makeSevenZipZip(archive, entries,
                                 {QStringLiteral("-mm=") + QLatin1String(method)})) {
                ++failures;
                continue;
            }
            if (QLatin1String(method) == QLatin1String("Deflate64")) {
                const QByteArray bytes = readFile(archive);
                for (const char pieces : {'\x00', '\xC5'}) {
                    writeFile(QStringLiteral("%1/stream%2-%3")
                                  .arg(deflate64Folder)
                                  .arg(made)
                                  .arg(int{pieces & 0xFF}),
                              pieces + zip::entryBytes(
                                           bytes, zip::findParts(bytes).localOffsets.value(0)));
                }
            }
        }
    }
    for (const EntryList& entries : contents) {
        failures +=
            makeBsdtarZip(QStringLiteral("%1/bsdtar-%2.zip").arg(zipFolder).arg(++made), entries)
                ? 0
                : 1;
        failures += makeZipWith(QStringLiteral("%1/zip64-%2.zip").arg(zipFolder).arg(++made),
                                entries, {QStringLiteral("-fz")})
                        ? 0
                        : 1;
    }
    for (const QByteArray& archive : handMade()) {
        writeFile(QStringLiteral("%1/hand-%2.zip").arg(zipFolder).arg(++made), archive);
    }
    return failures;
}

}  // namespace varnelt::test
