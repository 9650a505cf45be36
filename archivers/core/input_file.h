// The archive file that one library call works on: opened once, never blocking, and always a
// regular file. Backends read through it instead of opening the path themselves, so that a
// file swapped for a pipe between two opens cannot hang a test, and so that a read the system
// refuses is told apart from a damaged archive.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "../../checkers/archiver_api.h"

namespace varnelt::archiver {

class InputFile {
public:
    InputFile() = default;
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // Opens path with O_NONBLOCK, checks the open descriptor with fstat (a regular file, else
    // the call fails), then clears O_NONBLOCK. VARNELT_ARC_OK, or
    // VARNELT_ARC_ERROR_ARC_FILE_OPEN when the file cannot be opened or is no regular file.
    int32_t open(const char* path);

    int fd() const { return fd_; }
    int64_t size() const { return size_; }
    const std::string& path() const { return path_; }

    // Exactly length bytes from offset. False at the end of the file or on a read error;
    // readFailed() then tells which. Safe to call from several threads at once.
    bool readAt(void* buffer, size_t length, uint64_t offset) const;
    // Up to length bytes from offset: the count read, 0 at the end, -1 on a read error.
    ptrdiff_t readSomeAt(void* buffer, size_t length, uint64_t offset) const;
    // True once a read was refused by the system (EIO, say): the archive could not be read,
    // which is not the archive's fault.
    bool readFailed() const { return readFailed_.load(std::memory_order_relaxed); }

private:
    int fd_ = -1;
    int64_t size_ = 0;
    std::string path_;
    mutable std::atomic<bool> readFailed_{false};
};

}  // namespace varnelt::archiver
