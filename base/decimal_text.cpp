#include "base/decimal_text.h"

namespace varnelt {

std::optional<int> ParseDecimal(const QString& text) {
    if (text.isEmpty() || text.size() > 9) {
        return std::nullopt;
    }
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
    }
    return text.toInt();
}

}  // namespace varnelt
