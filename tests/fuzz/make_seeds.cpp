// Writes the fuzzers' seed corpus: small archives of every format, made here by the same
// makers the tests use. Usage: make_fuzz_seeds <folder>; one subfolder per format.
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include "tests/fuzz/zip_seeds.h"
#include "tests/support/archive_makers.h"
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
    return failures == 0 ? 0 : 1;
}
