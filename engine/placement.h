// Where a file was put by a move or the trash, or why it stayed where it was.
#pragma once

#include <QByteArray>

#include "base/runtime_error.h"

namespace varnelt {

struct Placement {
    QByteArray path;  // the file's new path, as the system's bytes; empty when it was deleted
    MaybeError error;
};

}  // namespace varnelt
