#include "engine/log_format.h"

#include <QStringList>

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
    return record({QStringLiteral("ファイル名"), QStringLiteral("フォルダ名"),
                   QStringLiteral("サイズ"), QStringLiteral("更新日時"),
                   QStringLiteral("検査結果")});
}

QByteArray LogRecord(const TargetRow& row) {
    return record({row.name, row.folder, row.sizeText(), row.modified, row.verdict});
}

}  // namespace varnelt
