#include "base/version.h"

namespace varnelt {

QString FormatVersionText(int major, int minor, int revision) {
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor, 2, 10, QLatin1Char('0')).arg(revision);
}

QString AppVersionText() {
    return FormatVersionText(VARNELT_VERSION_MAJOR, VARNELT_VERSION_MINOR, VARNELT_VERSION_PATCH);
}

}  // namespace varnelt
