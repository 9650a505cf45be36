// What happens to a bad archive: left alone, moved (never over another file), sent to the
// user's trash, or deleted.
#pragma once

#include <QString>

#include <functional>

#include "app/runtime_error.h"
#include "targets/form_state.h"

namespace varnelt {

// The name a file takes in the destination folder: its own when free, else
// "base (j).ext" with the first free j, where ext is the last extension only.
// Error kErrorNoFreeName when j would pass 32767. `pump` runs before every numbered try.
struct FreeName {
    QString name;
    MaybeError error;
};
FreeName FindFreeName(const QString& folder, const QString& fileName,
                      const std::function<void()>& pump);

// Moves source to target, never replacing a file at target, also when one appears after the
// name was chosen. Across file systems every byte is copied and the source removed only when
// the copy is complete.
MaybeError MoveWithoutReplacing(const QString& source, const QString& target);

// Sends a file to the user's freedesktop.org trash; the file stays where it is on failure.
void MoveToTrash(const QString& path);

// Disposes of one bad file. destination ends in "/"; the trash is silent on failure.
MaybeError DisposeOf(DisposalAction action, const QString& folder, const QString& fileName,
                     const QString& destination, const std::function<void()>& pump);

}  // namespace varnelt
