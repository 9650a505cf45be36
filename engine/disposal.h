// What happens to a bad archive: left alone, moved (never over another file), sent to the
// user's trash, or deleted. Everything is done by the bytes of the file's path.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

#include "engine/placement.h"
#include "targets/form_state.h"

namespace varnelt {

// Disposes of one bad file. destination (the system's bytes) ends in "/";
// `pump` runs while a free name is sought. On an error the file stays where it was.
Placement DisposeOf(DisposalAction action, const QByteArray& folder, const QByteArray& fileName,
                    const QByteArray& destination, const std::function<void()>& pump);

}  // namespace varnelt
