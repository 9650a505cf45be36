#include "tests/support/zip_tools.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

// Runs program with the switches, the archive's full path and the entry names, in a folder
// where the entries are staged.
bool runOnStaged(const QString& program, const QStringList& switches, const QString& archive,
                 const EntryList& entries) {
    QTemporaryDir staging;
    if (!staging.isValid()) {
        return false;
    }
    stageEntries(staging.path(), entries);
    const QString target = QFileInfo(archive).absoluteFilePath();
    QFile::remove(target);
    QStringList arguments = switches + QStringList{target};
    for (const Entry& entry : entries) {
        arguments << entry.name;
    }
    return runTool(program, arguments, staging.path());
}

}  // namespace

bool makeZipWith(const QString& archive, const EntryList& entries, const QStringList& switches) {
    return runOnStaged(QStringLiteral("zip"),
                       QStringList{QStringLiteral("-q"), QStringLiteral("-X")} + switches, archive,
                       entries);
}

bool makeSevenZipZip(const QString& archive, const EntryList& entries,
                     const QStringList& switches) {
    return runOnStaged(
        QStringLiteral("7zz"),
        QStringList{QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-tzip")} + switches,
        archive, entries);
}

bool makeBsdtarZip(const QString& archive, const EntryList& entries) {
    return runOnStaged(QStringLiteral("bsdtar"),
                       {QStringLiteral("-c"), QStringLiteral("--format"), QStringLiteral("zip"),
                        QStringLiteral("-f")},
                       archive, entries);
}

}  // namespace varnelt::test
