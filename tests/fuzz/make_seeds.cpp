// Writes the fuzzers' seed corpus: small archives of every format, made here by the same
// makers the tests use, and the hand-made variants the tests build for what no tool writes.
// Usage: make_fuzz_seeds <folder>; one subfolder per format.
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include "tests/fuzz/zip_seeds.h"
#include "tests/support/archive_makers.h"
#include "tests/support/cab_layout.h"
#include "tests/support/rar4_writer.h"
#include "tests/support/scratch.h"

using namespace varnelt::test;

namespace {

// The first block of a one-block bzip2 stream as the block decoder's fuzzer takes it: a byte
// holding the level less one and, above it, the unused bits of the last byte; then the block's
// bits after its magic, which in a stream start at its tenth byte. Empty when the stream does
// not end in an end magic where a one-block stream ends it.
QByteArray bzip2BlockSeed(const QByteArray& stream) {
    constexpr uint64_t kEndMagic = 0x177245385090;
    constexpr uint64_t kBlockStart = 80;  // "BZh" and the level, then the block magic
    const auto bitAt = [&](uint64_t at) {
        return static_cast<uint64_t>(static_cast<uint8_t>(stream[at / 8]) >> (7 - at % 8) & 1);
    };
    const uint64_t total = static_cast<uint64_t>(stream.size()) * 8;
    // After the end magic come the stream's CRC and up to seven bits of padding.
    for (uint64_t padding = 0; padding < 8 && total >= kBlockStart + 48 + 32 + padding; ++padding) {
        const uint64_t magicAt = total - padding - 32 - 48;
        uint64_t magic = 0;
        for (uint64_t i = 0; i < 48; ++i) {
            magic = magic << 1 | bitAt(magicAt + i);
        }
        if (magic != kEndMagic) {
            continue;
        }
        const uint64_t blockBits = magicAt - kBlockStart;
        const auto unused = static_cast<unsigned>((8 - blockBits % 8) % 8);
        QByteArray seed(1, static_cast<char>((stream[3] - '1') | unused << 4));
        seed += stream.mid(kBlockStart / 8, static_cast<qsizetype>((blockBits + 7) / 8));
        seed.back() = static_cast<char>(static_cast<uint8_t>(seed.back()) & (0xFF << unused));
        return seed;
    }
    return {};
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: make_fuzz_seeds <folder>\n";
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QList<EntryList> contents = {
        {{QStringLiteral("a.txt"), "alpha"}},
        {{QStringLiteral("docs/表.txt"), sampleContent(3000, 1)},
         {QStringLiteral("b.bin"), sampleContent(700, 2)}},
    };
    struct Format {
        const char* folder;
        const char* extension;
        bool (*make)(const QString&, const EntryList&);
    };
    const Format formats[] = {
        {"unzip32", "zip", &makeZip},  {"sevenzip32", "7z", &makeSevenZip},
        {"unlha32", "lzh", &makeLzh},  {"cab32", "cab", &makeCab},
        {"tar32", "tar", &makeTar},    {"tar32", "tgz", &makeTgz},
        {"tar32", "tbz", &makeTbz},    {"tar32", "txz", &makeTxz},
        {"unrar32", "rar", &makeRar4}, {"bga32", "gza", &makeGza},
        {"bga32", "bza", &makeBza},
    };
    int failures = 0;
    for (const Format& format : formats) {
        const QString folder = root + u'/' + QLatin1String(format.folder);
        QDir().mkpath(folder);
        for (int i = 0; i < contents.size(); ++i) {
            const QString file = QStringLiteral("%1/seed%2.%3")
                                     .arg(folder)
                                     .arg(i)
                                     .arg(QLatin1String(format.extension));
            if (!format.make(file, contents[i])) {
                QTextStream(stderr) << "cannot make " << file << '\n';
                ++failures;
            }
        }
    }
    failures += writeZipSeeds(root + QStringLiteral("/unzip32"),
                              root + QStringLiteral("/deflate64"), contents);
    // Hand-made variants: RAR 4 links and chains without or with a longer end block, a cabinet
    // whose files share one offset, archives without entries and a run of zeros.
    const QList<rar4::Item> links{{QStringLiteral("target.txt"), "target"},
                                  {QStringLiteral("link"), "target.txt", rar4::Kind::Symlink},
                                  {QStringLiteral("packed"), "../x", rar4::Kind::Symlink, 0x33}};
    const QByteArray rar = rar4::archive(links, {.unixHost = true});
    const QByteArray cabinet = readFile(root + QStringLiteral("/cab32/seed1.cab"));
    const QList<cab::FileRecord> shared{
        {"a.txt", 0, 3000, 0}, {"b.txt", 0, 3000, 0}, {"c.txt", 2000, 1000, 0}};
    const struct {
        const char* name;
        QByteArray bytes;
    } handMade[] = {
        {"unrar32/links.rar", rar},
        {"unrar32/no-end.rar", rar4::archive(links, {.unixHost = true, .endBlock = false})},
        {"unrar32/cut-end.rar", rar.chopped(3)},
        {"cab32/shared.cab", cab::withFiles(cabinet, shared)},
        {"tar32/empty.tar", QByteArray(10240, '\0')},
        {"tar32/zeros.tar", QByteArray(10240 + 512, '\0')},
    };
    for (const auto& seed : handMade) {
        writeFile(root + u'/' + QLatin1String(seed.name), seed.bytes);
    }
    // The bzip2 fuzzers start from the streams of the tbz seeds: whole, after the byte that
    // chooses the threads and pieces, and as their blocks alone.
    QDir().mkpath(root + QStringLiteral("/bzip2_blocks"));
    QDir().mkpath(root + QStringLiteral("/bzip2_decoder"));
    for (int i = 0; i < contents.size(); ++i) {
        const QByteArray stream = readFile(root + QStringLiteral("/tar32/seed%1.tbz").arg(i));
        writeFile(root + QStringLiteral("/bzip2_blocks/seed%1").arg(i), '\x15' + stream);
        const QByteArray block = bzip2BlockSeed(stream);
        if (block.isEmpty()) {
            QTextStream(stderr) << "no single block in tar32/seed" << i << ".tbz\n";
            ++failures;
        }
        writeFile(root + QStringLiteral("/bzip2_decoder/seed%1").arg(i), block);
    }
    return failures == 0 ? 0 : 1;
}
