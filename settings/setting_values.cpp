#include "settings/setting_values.h"

#include <limits>

namespace varnelt {

int ReadPositionValue(const QString& text) {
    if (text.isEmpty()) {
        return 0;
    }
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return 0;
        }
        value =
            std::min<qint64>(value * 10 + (c.unicode() - u'0'), std::numeric_limits<int>::max());
    }
    return static_cast<int>(value);
}

QString ReadThresholdValue(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (text.isEmpty() || text.size() > 6 || !ok || value <= 1) {
        return QStringLiteral("2");
    }
    return text;
}

}  // namespace varnelt
