// Archives made at test time, by real tools where one is packaged and by small writers of the
// published layouts where none is. Each maker stores the entries under the names given (a
// name ending in "/" is a folder entry) and answers false when it cannot make the archive.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace varnelt::test {

struct Entry {
    QString name;
    QByteArray data;
};
using EntryList = QList<Entry>;

// Writes the entries into a staging folder, so tools can store them under relative names.
QString stageEntries(const QString& stagingFolder, const EntryList& entries);

bool makeZip(const QString& archive, const EntryList& entries);       // zip, deflate
bool makeSevenZip(const QString& archive, const EntryList& entries);  // 7zz, LZMA2
bool makeLzh(const QString& archive, const EntryList& entries);       // jlha
bool makeCab(const QString& archive, const EntryList& entries);       // gcab, MSZIP
bool makeTar(const QString& archive, const EntryList& entries);
bool makeTgz(const QString& archive, const EntryList& entries);
bool makeTbz(const QString& archive, const EntryList& entries);
bool makeTxz(const QString& archive, const EntryList& entries);
bool makeRar4(const QString& archive, const EntryList& entries);  // stored, written by hand
bool makeGza(const QString& archive, const EntryList& entries);   // written by hand
bool makeBza(const QString& archive, const EntryList& entries);   // written by hand

}  // namespace varnelt::test
