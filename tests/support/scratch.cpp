#include "tests/support/scratch.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>

#include <cstdio>
#include <stdexcept>

namespace varnelt::test {

ScratchDir::ScratchDir() : root_(dir_.path() + u'/') {
    if (!dir_.isValid()) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    dir_.setAutoRemove(false);
}

ScratchDir::~ScratchDir() {
    // Children first, and no link followed; what cannot be removed is left.
    nftw(
        dir_.path().toUtf8().constData(),
        [](const char* path, const struct stat*, int, FTW*) {
            ::remove(path);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

QString ScratchDir::path(const QString& name) const {
    return root_ + name;
}

QByteArray ScratchDir::nativePath(const QByteArray& name) const {
    return root_.toUtf8() + name;
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

void writeNativeFile(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written = fd >= 0 && ::write(fd, bytes.constData(),
                                            static_cast<size_t>(bytes.size())) == bytes.size();
    if (fd < 0 || ::close(fd) != 0 || !written) {
        throw std::runtime_error("cannot write " + path.toStdString());
    }
}

QByteArray readNativeFile(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error("cannot read " + path.toStdString());
    }
    QByteArray bytes;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
        bytes.append(buffer, got);
    }
    ::close(fd);
    return bytes;
}

bool nativeExists(const QByteArray& path) {
    struct stat info {};
    return lstat(path.constData(), &info) == 0;
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
