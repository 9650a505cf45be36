// Moving a user's file by the bytes of its path, never over another file.
#pragma once

#include <QByteArray>

#include "base/runtime_error.h"

namespace varnelt {

// Renames source to target on one file system, never replacing a file at target, also when
// one appears there after the name was chosen: 0, or the errno (EXDEV across file systems).
int RenameWithoutReplacing(const QByteArray& source, const QByteArray& target);

// Moves source to target, never replacing a file at target. Across file systems every byte is
// copied and the source removed only when the copy is complete.
MaybeError MoveWithoutReplacing(const QByteArray& source, const QByteArray& target);

}  // namespace varnelt
