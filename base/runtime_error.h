// A failure the user is told about: a number (the errno where the system gave one) and the
// path involved.
#pragma once

#include <QString>

#include <optional>

namespace varnelt {

struct RuntimeError {
    int number = 0;
    QString path;
};

using MaybeError = std::optional<RuntimeError>;

}  // namespace varnelt
