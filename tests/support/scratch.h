// Files made at test time: a temporary folder, whole-file reads and writes, and the damage
// that tests inflict on archives.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace varnelt::test {

class ScratchDir {
public:
    ScratchDir();
    // Removes the folder by the bytes of its names: Qt's removal, by text, leaves a name that
    // is not UTF-8 behind.
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    // Full path of a name inside the folder.
    QString path(const QString& name) const;
    // The same as the system's bytes, for names that are not UTF-8.
    QByteArray nativePath(const QByteArray& name) const;
    const QString& root() const { return root_; }

private:
    QTemporaryDir dir_;
    QString root_;
};

void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
// Whole-file writes and reads by the bytes of a path, through the system calls themselves.
void writeNativeFile(const QByteArray& path, const QByteArray& bytes);
QByteArray readNativeFile(const QByteArray& path);
// True when something (a dangling link too) has the name.
bool nativeExists(const QByteArray& path);
// Flips every bit of the byte at offset.
void flipByte(const QString& path, qint64 offset);
// Cuts the file to percent of its size.
void truncateToPercent(const QString& path, int percent);
// Deterministic content that compresses somewhat, like real files.
QByteArray sampleContent(int size, int seed);
// Runs a program in a folder under a UTF-8 locale; true when it exits with status 0.
bool runTool(const QString& program, const QStringList& arguments, const QString& workingFolder);

}  // namespace varnelt::test
