// One registered file: a row of the target list.
#pragma once

#include <QByteArray>
#include <QString>

namespace varnelt {

// Modification times as the list shows them: year first, so that they sort in time order as
// text.
inline const QString kModifiedTimeFormat = QStringLiteral("yyyy/MM/dd HH:mm");

struct TargetRow {
    QString name;      // file name with extension, decoded for the list and the log
    QString folder;    // decoded likewise; ends in "/", so folder + name is the full path
    qint64 size = -1;  // bytes; -1 when the size could not be read
    QString modified;  // in kModifiedTimeFormat, local time
    QString verdict;   // empty until the file is checked
    // The name and folder as the bytes the system gave: the file is opened, moved and deleted
    // by these, whatever its name decodes to.
    QByteArray nativeName;
    QByteArray nativeFolder;  // ends in "/"
    QString verdictNote;      // why the file failed (the library's reason, a library that
                              // crashed, a limit); shown with the verdict, never logged
    qint64 modifiedSeconds = 0;  // the modification time the list shows, in seconds since 1970

    QByteArray nativePath() const { return nativeFolder + nativeName; }
    QString path() const { return folder + name; }
    // Plain decimal digits, or an empty text when unknown.
    QString sizeText() const { return size < 0 ? QString() : QString::number(size); }
};

}  // namespace varnelt
