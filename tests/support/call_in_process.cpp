#include "tests/support/call_in_process.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include "base/paths.h"

namespace varnelt::test {

std::optional<Answers> callInProcess(const LibraryUnderTest& library, const QString& archive,
                                     const ProcessOptions& options) {
    QStringList command = options.runAs;
    command << QStringLiteral(VARNELT_CALL_ARCHIVER)
            << LocateOnPath(QString::fromLatin1(library.fileName))
            << QString::fromLatin1(library.prefix)
            << (library.testSwitches != nullptr ? QString::fromLatin1(library.testSwitches)
                                                : QStringLiteral("-"))
            << archive;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : options.environment) {
        env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    }
    process.setProcessEnvironment(env);
    process.start(command.takeFirst(), command);
    if (!process.waitForFinished(options.timeoutMs)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "the call did not return within " << options.timeoutMs << " ms";
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        ADD_FAILURE() << "helper failed: " << process.readAllStandardError().toStdString();
        return std::nullopt;
    }
    const QStringList fields =
        QString::fromLatin1(process.readAllStandardOutput()).simplified().split(u' ');
    if (fields.size() != 4) {
        ADD_FAILURE() << "unexpected helper output";
        return std::nullopt;
    }
    return Answers{fields[0] == u'-' ? 0 : fields[0].toInt(), fields[1].toInt(), fields[2].toInt(),
                   fields[3] == u'1'};
}

}  // namespace varnelt::test
