#include "engine/log_format.h"

#include <QStringList>

#include "targets/target_list_model.h"

namespace varnelt {

namespace {

QByteArray record(const QStringList& fields) {
    QByteArray out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        QString field = fields[i];
        out += '"' + field.replace(u'"', QStringLiteral("\"\"")).toUtf8() + '"';
    }
    return out + "\r\n";
}

}  // namespace

QByteArray LogHeaderRecord() {
    QStringList titles;
    for (int column = 0; column < TargetListModel::ColumnCount; ++column) {
        titles << TargetListModel::columnTitle(static_cast<TargetListModel::Column>(column));
    }
    return record(titles);
}

QByteArray LogRecord(const TargetRow& row) {
    return record({row.name, row.folder, row.sizeText(), row.modified, row.verdict});
}

}  // namespace varnelt
