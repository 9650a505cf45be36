#include "tests/support/scratch.h"

#include <QFile>
#include <QProcess>

#include <stdexcept>

namespace varnelt::test {

ScratchDir::ScratchDir() : root_(dir_.path() + u'/') {
    if (!dir_.isValid()) {
        throw std::runtime_error("cannot create a temporary folder");
    }
}

QString ScratchDir::path(const QString& name) const {
    return root_ + name;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        throw std::runtime_error("cannot write " + path.toStdString());
    }
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("cannot read " + path.toStdString());
    }
    return file.readAll();
}

void flipByte(const QString& path, qint64 offset) {
    QByteArray bytes = readFile(path);
    if (offset < 0 || offset >= bytes.size()) {
        throw std::runtime_error("offset outside " + path.toStdString());
    }
    bytes[offset] = static_cast<char>(~bytes[offset]);
    writeFile(path, bytes);
}

void truncateToPercent(const QString& path, int percent) {
    const QByteArray bytes = readFile(path);
    writeFile(path, bytes.left(bytes.size() * percent / 100));
}

QByteArray sampleContent(int size, int seed) {
    static const char* const kWords[] = {"archive ", "verdict ", "folder ", "stored ", "name ",
                                         "check ",   "data ",    "entry ",  "byte ",   "list "};
    QByteArray content;
    content.reserve(size + 16);
    uint32_t state = 2166136261u ^ static_cast<uint32_t>(seed);
    while (content.size() < size) {
        state = state * 1664525u + 1013904223u;
        if ((state >> 28) < 3) {
            content.append(static_cast<char>('0' + (state >> 8) % 10));
        } else {
            content.append(kWords[(state >> 16) % 10]);
        }
    }
    content.truncate(size);
    return content;
}

bool runTool(const QString& program, const QStringList& arguments, const QString& workingFolder) {
    QProcess process;
    // Tools read names from their arguments by the locale (Java turns every non-ASCII
    // character into "?" without a UTF-8 one), whatever the test's own locale.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingFolder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000)) {
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

}  // namespace varnelt::test
