// One registered file: a row of the target list.
#pragma once

#include <QString>

namespace varnelt {

struct TargetRow {
    QString name;      // file name with extension
    QString folder;    // ends in "/", so folder + name is the full path
    qint64 size = -1;  // bytes; -1 when the size could not be read
    QString modified;  // "yyyy/MM/dd HH:mm", local time
    QString verdict;   // empty until the file is checked

    QString path() const { return folder + name; }
    // Plain decimal digits, or an empty text when unknown.
    QString sizeText() const { return size < 0 ? QString() : QString::number(size); }
};

}  // namespace varnelt
