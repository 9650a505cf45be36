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
    return failures == 0 ? 0 : 1;
}
