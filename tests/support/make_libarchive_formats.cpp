// Makers of the formats read through libarchive: ZIP, 7z and tar by the packaged tools, RAR 4
// by the writer of its published block layout (rar4_writer.h).
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "tests/support/archive_makers.h"
#include "tests/support/rar4_writer.h"
#include "tests/support/scratch.h"
#include "tests/support/tool_makers.h"

namespace varnelt::test {
namespace {

QStringList entryNames(const EntryList& entries) {
    QStringList names;
    for (const Entry& entry : entries) {
        names << entry.name;
    }
    return names;
}

}  // namespace

bool makeWithTool(const QString& program, const QStringList& switches, const QString& archive,
                  const EntryList& entries) {
    QTemporaryDir staging;
    if (!staging.isValid()) {
        return false;
    }
    stageEntries(staging.path(), entries);
    const QString target = QFileInfo(archive).absoluteFilePath();
    QFile::remove(target);
    return runTool(program, switches + QStringList{target} + entryNames(entries), staging.path());
}

namespace {

bool makeTarWith(const QString& archive, const EntryList& entries, const QString& compression) {
    QStringList switches{QStringLiteral("--no-recursion"), QStringLiteral("--format=gnu")};
    if (!compression.isEmpty()) {
        switches << compression;
    }
    switches << QStringLiteral("-cf");
    return makeWithTool(QStringLiteral("tar"), switches, archive, entries);
}

}  // namespace

bool makeZip(const QString& archive, const EntryList& entries) {
    return makeWithTool(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-X")},
                        archive, entries);
}

bool makeSevenZip(const QString& archive, const EntryList& entries) {
    const QString target = QFileInfo(archive).absoluteFilePath();
    QFile::remove(target);
    // 7-Zip sorts the names of one call and adds a named folder with all it holds, so each
    // entry is staged alone and added by a call of its own. 7-Zip still lists folders first.
    for (const Entry& entry : entries) {
        QTemporaryDir staging;
        if (!staging.isValid()) {
            return false;
        }
        stageEntries(staging.path(), {entry});
        QString name = entry.name;
        if (name.endsWith(u'/')) {
            name.chop(1);
        }
        if (!runTool(QStringLiteral("7zz"),
                     {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-y"),
                      QStringLiteral("-m0=lzma2"), target, name},
                     staging.path())) {
            return false;
        }
    }
    return !entries.isEmpty();
}

bool makeTar(const QString& archive, const EntryList& entries) {
    return makeTarWith(archive, entries, {});
}

bool makeTgz(const QString& archive, const EntryList& entries) {
    return makeTarWith(archive, entries, QStringLiteral("--gzip"));
}

bool makeTbz(const QString& archive, const EntryList& entries) {
    return makeTarWith(archive, entries, QStringLiteral("--bzip2"));
}

bool makeTxz(const QString& archive, const EntryList& entries) {
    return makeTarWith(archive, entries, QStringLiteral("--xz"));
}

bool makeRar4(const QString& archive, const EntryList& entries) {
    QList<rar4::Item> items;
    for (const Entry& entry : entries) {
        if (entry.data.size() > 0x7FFFFFFF) {
            return false;  // would need the HIGH_PACK_SIZE fields
        }
        items << rar4::itemFor(entry);
    }
    try {
        writeFile(archive, rar4::archive(items));
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace varnelt::test
