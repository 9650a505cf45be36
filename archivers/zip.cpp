// libunzip32: ZIP only, read by the library's own ZIP reader.
#include "zip_backend.h"

namespace varnelt::archiver {

const Backend& formatBackend() {
    return zipBackend();
}

}  // namespace varnelt::archiver
