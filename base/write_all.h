// Writing a whole buffer through a descriptor, however the system splits it.
#pragma once

#include <QByteArrayView>

namespace varnelt {

// Writes every byte, going on after a signal: 0, the errno of the failing write, or
// kErrorIncompleteWrite when the system took nothing.
int WriteAll(int fd, QByteArrayView bytes);

}  // namespace varnelt
