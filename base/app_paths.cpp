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

namespace {

// A file or folder of the program's own data: beside the program in a build tree, in
// ../share/varnelt once installed.
QString ProgramData(const QString& relative) {
    const QString program = QCoreApplication::applicationDirPath();
    const QString beside = program + u'/' + relative;
    if (QFileInfo::exists(beside)) {
        return beside;
    }
    return QFileInfo(program + QStringLiteral("/../share/varnelt/") + relative).absoluteFilePath();
}

}  // namespace

QString HelpFilePath(const QString& page) {
    return ProgramData(QStringLiteral("help/") + page);
}

QString TranslationsFolder() {
    return ProgramData(QStringLiteral("translations"));
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
