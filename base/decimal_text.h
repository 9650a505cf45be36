// Numbers typed as text, in settings and on the command line.
#pragma once

#include <QString>

#include <optional>

namespace varnelt {

// Up to nine ASCII digits, so that any value fits an int; a sign, a blank or anything else is
// no number.
std::optional<int> ParseDecimal(const QString& text);

}  // namespace varnelt
