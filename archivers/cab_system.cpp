#include "cab_system.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace varnelt::archiver::cab {
namespace {

void message(mspack_file* /*file*/, const char* /*format*/, ...) {}

void* alloc(mspack_system* /*self*/, size_t bytes) {
    return std::malloc(bytes);
}

void release(void* pointer) {
    std::free(pointer);
}

void copy(void* source, void* destination, size_t bytes) {
    std::memmove(destination, source, bytes);
}

}  // namespace

CabSystem::CabSystem(const InputFile& file) : link_{}, file_(file) {
    static_assert(std::is_standard_layout_v<Link>);
    link_.owner = this;
    mspack_system& system = link_.system;
    system.open = &CabSystem::open;
    system.close = &CabSystem::close;
    system.read = &CabSystem::read;
    system.write = &CabSystem::write;
    system.seek = &CabSystem::seek;
    system.tell = &CabSystem::tell;
    system.message = &message;
    system.alloc = &alloc;
    system.free = &release;
    system.copy = &copy;
    system.null_ptr = nullptr;
}

CabSystem& CabSystem::of(mspack_system* system) {
    return *reinterpret_cast<Link*>(system)->owner;
}

CabSystem::Handle& CabSystem::handle(mspack_file* file) {
    return *reinterpret_cast<Handle*>(file);
}

mspack_file* CabSystem::open(mspack_system* self, const char* filename, int mode) {
    CabSystem& owner = of(self);
    const bool output = mode == MSPACK_SYS_OPEN_WRITE && std::strcmp(filename, kSinkName) == 0;
    const bool input = mode == MSPACK_SYS_OPEN_READ && std::strcmp(filename, kArchiveName) == 0;
    if (!output && !input) {
        return nullptr;  // nothing but the opened archive is ever read
    }
    owner.handles_.push_back(Handle{&owner, output, 0});
    return reinterpret_cast<mspack_file*>(&owner.handles_.back());
}

void CabSystem::close(mspack_file* file) {
    std::list<Handle>& handles = handle(file).owner->handles_;
    handles.remove_if([file](const Handle& h) { return &h == &handle(file); });
}

int CabSystem::read(mspack_file* file, void* buffer, int bytes) {
    Handle& h = handle(file);
    if (h.output || bytes < 0) {
        return -1;
    }
    // libmspack takes a short read for the end of the file, so fill the buffer.
    auto* out = static_cast<char*>(buffer);
    int done = 0;
    while (done < bytes) {
        const ptrdiff_t got =
            h.owner->file_.readSomeAt(out + done, static_cast<size_t>(bytes - done), h.position);
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<int>(got);
        h.position += static_cast<uint64_t>(got);
    }
    return done;
}

int CabSystem::write(mspack_file* file, void* buffer, int bytes) {
    const Handle& h = handle(file);
    if (!h.output || bytes < 0) {
        return -1;
    }
    if (h.owner->sink_ != nullptr) {
        h.owner->sink_->write(buffer, static_cast<size_t>(bytes));
    }
    return bytes;
}

int CabSystem::seek(mspack_file* file, off_t offset, int mode) {
    Handle& h = handle(file);
    if (h.output) {
        return -1;
    }
    const int64_t base = mode == MSPACK_SYS_SEEK_START ? 0
                         : mode == MSPACK_SYS_SEEK_CUR ? static_cast<int64_t>(h.position)
                                                       : h.owner->file_.size();
    int64_t target = 0;
    if (__builtin_add_overflow(base, static_cast<int64_t>(offset), &target) || target < 0) {
        return -1;
    }
    h.position = static_cast<uint64_t>(target);
    return 0;
}

off_t CabSystem::tell(mspack_file* file) {
    const Handle& h = handle(file);
    return h.output ? -1 : static_cast<off_t>(h.position);
}

}  // namespace varnelt::archiver::cab
