// The program's own reads of a user's file. None may block: a registered file can be swapped
// for a pipe or a device before it is read.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <QByteArray>

namespace varnelt {

// An open descriptor, closed when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Closes now, so that a failing close is seen: true when it succeeded.
    bool close();

private:
    int fd_;
};

// A user's file open for reading, or the errno of the failure.
struct OpenedFile {
    FileDescriptor fd;
    struct stat info {};
    int error = 0;
};

// Opens with O_NONBLOCK, so that a pipe or a device put in the file's place cannot hold the
// open; checks the open descriptor with fstat (anything but a regular file fails with
// kErrorNotRegularFile); then clears O_NONBLOCK for the reads.
OpenedFile OpenRegularFile(const QByteArray& path);

// read() that a signal does not cut short: the count, 0 at the end, -1 with errno set.
ssize_t ReadSome(int fd, void* buffer, size_t size);

// Reads the file from its start to its end: 0, or the errno of the open or of the failing read.
int ReadThrough(const QByteArray& path);

}  // namespace varnelt
