// The file system that libmspack works through: reading, the archive that was already opened
// and nothing else; writing, a sink that takes the decoded bytes.
#pragma once

#include <mspack.h>

#include <cstddef>
#include <cstdint>
#include <list>

#include "input_file.h"

namespace varnelt::archiver::cab {

// Where decoded bytes go.
class DecodedSink {
public:
    virtual ~DecodedSink() = default;
    virtual void write(const void* data, size_t size) = 0;
};

class CabSystem {
public:
    // The name under which libmspack is to open the archive; any other name is refused.
    static constexpr const char* kArchiveName = "archive";
    // The name of the output that every extraction writes to.
    static constexpr const char* kSinkName = "sink";

    explicit CabSystem(const InputFile& file);
    CabSystem(const CabSystem&) = delete;
    CabSystem& operator=(const CabSystem&) = delete;

    mspack_system* get() { return &link_.system; }
    // Where extractions write until further notice; nullptr discards what they write.
    void setSink(DecodedSink* sink) { sink_ = sink; }

private:
    struct Handle {
        CabSystem* owner = nullptr;
        bool output = false;
        uint64_t position = 0;
    };

    static CabSystem& of(mspack_system* system);
    static Handle& handle(mspack_file* file);
    static mspack_file* open(mspack_system* self, const char* filename, int mode);
    static void close(mspack_file* file);
    static int read(mspack_file* file, void* buffer, int bytes);
    static int write(mspack_file* file, void* buffer, int bytes);
    static int seek(mspack_file* file, off_t offset, int mode);
    static off_t tell(mspack_file* file);

    // libmspack hands back the mspack_system* it was given; the system is the first member of
    // this plain struct, so that pointer leads back to the owner.
    struct Link {
        mspack_system system;
        CabSystem* owner;
    };

    Link link_;
    const InputFile& file_;
    DecodedSink* sink_ = nullptr;
    std::list<Handle> handles_;
};

}  // namespace varnelt::archiver::cab
