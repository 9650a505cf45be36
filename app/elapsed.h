#pragma once

#include <QString>

namespace varnelt {

// hh:mm:ss with at least two digits each; hours are not capped (100:00:00).
QString FormatElapsedSeconds(qint64 seconds);

}  // namespace varnelt
