#include "settings/threshold.h"

namespace varnelt {

ThresholdRepair RepairThreshold(const QString& text) {
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value <= 2) {
        return {QStringLiteral("2"), true};
    }
    return {text, false};
}

bool ThresholdAcceptsKey(QChar typed) {
    return typed.unicode() < 32 || (typed >= u'0' && typed <= u'9');
}

}  // namespace varnelt
