// varnelt-check run as a script runs it, and its JSON output read back.
#pragma once

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include "tests/support/raw_process.h"

namespace varnelt::test {

// varnelt-check with arguments of any bytes, after an optional prefix (another user, env).
inline ProcessRun runCheckWith(const QByteArrayList& prefix, const QByteArrayList& arguments) {
    const QByteArray program =
        QFileInfo(QString::fromUtf8(selfPath())).path().toUtf8() + "/varnelt-check";
    return runProgram(prefix + QByteArrayList{program} + arguments);
}

inline ProcessRun runCheck(const QStringList& arguments) {
    QByteArrayList bytes;
    for (const QString& argument : arguments) {
        bytes << argument.toUtf8();
    }
    return runCheckWith({}, bytes);
}

// One JSON object per line; a line that is not one fails the test.
inline QList<QJsonObject> parseJsonLines(const QByteArray& text) {
    QList<QJsonObject> objects;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty()) {
            continue;
        }
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.constData();
        EXPECT_TRUE(document.isObject()) << line.constData();
        objects << document.object();
    }
    return objects;
}

}  // namespace varnelt::test
