// A log written through its descriptor: every failure, a full disk among them, carries the
// system's number.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "base/regular_file.h"

namespace varnelt {

class LogFile {
public:
    // Creates the file, or empties the one of that name (the system's bytes).
    static LogFile Create(const QByteArray& nativePath);
    // Standard output, through a descriptor of its own.
    static LogFile StandardOutput();

    bool isOpen() const { return fd_.get() >= 0; }
    // The errno of the first failure, or 0.
    int error() const { return error_; }
    // Written straight through: a run that is killed leaves every record written so far.
    void write(QByteArrayView bytes);
    // True when the file was opened, every write succeeded and so did the close.
    bool close();

private:
    explicit LogFile(int fd);

    FileDescriptor fd_;
    int error_ = 0;
};

}  // namespace varnelt
