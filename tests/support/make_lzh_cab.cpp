// makeLzh (jlha) and makeCab (gcab).
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>

#include "tests/support/archive_makers.h"
#include "tests/support/lzh_writer.h"
#include "tests/support/scratch.h"

namespace varnelt::test {

namespace {

bool isFolder(const Entry& entry) {
    return entry.name.endsWith(u'/');
}

bool nonEmptyFile(const QString& path) {
    return QFileInfo(path).isFile() && QFileInfo(path).size() > 0;
}

}  // namespace

bool makeLzhWith(const QString& archive, const EntryList& entries, const QString& switches) {
    QTemporaryDir staging;
    if (entries.isEmpty() || !staging.isValid()) {
        return false;
    }
    QFile::remove(archive);
    const QString files = stageEntries(staging.path() + QStringLiteral("/files"), entries);
    // "y" stores names in Shift-JIS, as Japanese LZH tools do.
    const QString command = QStringLiteral("ay") + switches;
    // jlha adds a folder with everything in it, so a folder entry is added from a folder of
    // its own that holds nothing else; files are added in runs, in the order given, since
    // each run appends.
    for (qsizetype i = 0; i < entries.size();) {
        QStringList arguments{command, archive};
        QString folder = files;
        if (isFolder(entries[i])) {
            folder = staging.path() + QStringLiteral("/folder%1").arg(i);
            const QString name = entries[i].name.chopped(1);
            QDir().mkpath(folder + u'/' + name);
            arguments.append(name);
            ++i;
        } else {
            for (; i < entries.size() && !isFolder(entries[i]); ++i) {
                arguments.append(entries[i].name);
            }
        }
        if (!runTool(QStringLiteral("jlha"), arguments, folder)) {
            return false;
        }
    }
    return nonEmptyFile(archive);
}

bool makeLzh(const QString& archive, const EntryList& entries) {
    return makeLzhWith(archive, entries, QString());
}

bool makeCab(const QString& archive, const EntryList& entries) {
    QTemporaryDir staging;
    // gcab stores files only, never a folder as an entry of its own.
    if (entries.isEmpty() || !staging.isValid() ||
        std::any_of(entries.begin(), entries.end(), isFolder)) {
        return false;
    }
    QFile::remove(archive);
    QStringList arguments{QStringLiteral("-c"), QStringLiteral("-z"), archive};
    for (const Entry& entry : entries) {
        arguments.append(entry.name);
    }
    const QString files = stageEntries(staging.path(), entries);
    return runTool(QStringLiteral("gcab"), arguments, files) && nonEmptyFile(archive);
}

}  // namespace varnelt::test
