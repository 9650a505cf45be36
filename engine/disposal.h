// What happens to a bad archive: left alone, moved (never over another file), sent to the
// user's trash, or deleted. Everything is done by the bytes of the file's path.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

#include "base/runtime_error.h"
#include "targets/form_state.h"

namespace varnelt {

// Disposes of one bad file. destination (UTF-8, as the folder picker gives it) ends in "/";
// `pump` runs while a free name is sought. On an error the file stays where it was.
MaybeError DisposeOf(DisposalAction action, const QByteArray& folder, const QByteArray& fileName,
                     const QString& destination, const std::function<void()>& pump);

}  // namespace varnelt
