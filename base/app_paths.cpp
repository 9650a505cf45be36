#include "base/app_paths.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

namespace varnelt {

QString IniFilePath() {
    const QString portable =
        QCoreApplication::applicationDirPath() + QStringLiteral("/varnelt.ini");
    if (QFileInfo(portable).isFile()) {
        return portable;
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/varnelt/varnelt.ini");
}

QString HelpFilePath() {
    const QString program = QCoreApplication::applicationDirPath();
    const QString beside = program + QStringLiteral("/help/index.html");
    if (QFileInfo(beside).isFile()) {
        return beside;
    }
    return QFileInfo(program + QStringLiteral("/../share/varnelt/help/index.html"))
        .absoluteFilePath();
}

QString WorkerProgramPath() {
    const QString program = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {program + QStringLiteral("/varnelt-worker"),
                                     program + QStringLiteral("/../lib/varnelt/varnelt-worker")}) {
        const QFileInfo file(candidate);
        if (file.isFile() && file.isExecutable()) {
            return file.absoluteFilePath();
        }
    }
    return {};
}

}  // namespace varnelt
