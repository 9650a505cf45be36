#include "engine/disposal.h"

#include <unistd.h>

#include <cerrno>

#include "base/name_decoding.h"
#include "engine/file_move.h"
#include "engine/free_name.h"
#include "engine/trash.h"

namespace varnelt {

Placement DisposeOf(DisposalAction action, const QByteArray& folder, const QByteArray& fileName,
                    const QByteArray& destination, const std::function<void()>& pump) {
    const QByteArray path = folder + fileName;
    switch (action) {
        case DisposalAction::Nothing:
            return {path, std::nullopt};
        case DisposalAction::Move: {
            const FreeName free = FindFreeName(destination, fileName, pump);
            if (free.error) {
                return {{}, free.error};
            }
            const QByteArray placed = destination + free.name;
            if (MaybeError error = MoveWithoutReplacing(path, placed)) {
                return {{}, std::move(error)};
            }
            return {placed, std::nullopt};
        }
        case DisposalAction::DeleteInBox:
            return MoveToTrash(path);
        case DisposalAction::Delete:
            if (::unlink(path.constData()) != 0) {
                return {{}, RuntimeError{errno, DecodePath(path)}};
            }
            return {};
    }
    return {path, std::nullopt};
}

}  // namespace varnelt
