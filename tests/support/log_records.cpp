#include "tests/support/log_records.h"

#include <gtest/gtest.h>

namespace varnelt::test {

QList<QStringList> parseLog(const QByteArray& log) {
    QList<QStringList> records;
    QStringList fields;
    QString field;
    const QString text = QString::fromUtf8(log);
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields << field;
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            fields << field;
            records << fields;
            fields.clear();
            field.clear();
            ++i;
        } else {
            ADD_FAILURE() << "text outside quotes at " << i;
        }
    }
    EXPECT_TRUE(fields.isEmpty() && field.isEmpty()) << "the last record must end in CR LF";
    return records;
}

}  // namespace varnelt::test
