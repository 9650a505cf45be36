#include "settings/setting_values.h"

#include <algorithm>
#include <iterator>
#include <limits>

#include "base/decimal_text.h"

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

int ReadJobsValue(const QString& text) {
    bool ok = false;
    const int jobs = text.toInt(&ok);
    const bool offered =
        ok && jobs > 0 && text == QString::number(jobs) &&
        std::find(std::begin(kJobChoices), std::end(kJobChoices), jobs) != std::end(kJobChoices);
    return offered ? jobs : 0;
}

QString WriteJobsValue(int jobs) {
    return jobs > 0 ? QString::number(jobs) : QStringLiteral("Auto");
}

int ReadLimitValue(const QString& text, int fallback) {
    return ParseDecimal(text).value_or(fallback);
}

}  // namespace varnelt
