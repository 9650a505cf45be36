#include "engine/disposal.h"

#include <unistd.h>

#include <cerrno>

#include "base/name_decoding.h"
#include "engine/file_move.h"
#include "engine/free_name.h"
#include "engine/trash.h"

namespace varnelt {

MaybeError DisposeOf(DisposalAction action, const QByteArray& folder, const QByteArray& fileName,
                     const QString& destination, const std::function<void()>& pump) {
    const QByteArray path = folder + fileName;
    switch (action) {
        case DisposalAction::Nothing:
            return std::nullopt;
        case DisposalAction::Move: {
            const QByteArray target = destination.toUtf8();
            const FreeName free = FindFreeName(target, fileName, pump);
            if (free.error) {
                return free.error;
            }
            return MoveWithoutReplacing(path, target + free.name);
        }
        case DisposalAction::DeleteInBox:
            return MoveToTrash(path);
        case DisposalAction::Delete:
            if (::unlink(path.constData()) != 0) {
                return RuntimeError{errno, DecodePath(path)};
            }
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace varnelt
