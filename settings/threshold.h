// The count rule's threshold field: digits only, never empty, never below 2.
#pragma once

#include <QString>

namespace varnelt {

struct ThresholdRepair {
    QString text;        // what the field must hold
    bool offerNameRule;  // the name rule applies only at 2
};

ThresholdRepair RepairThreshold(const QString& text);

// A typed character passes when it is a control character (Backspace, the paste shortcut)
// or a digit.
bool ThresholdAcceptsKey(QChar typed);

}  // namespace varnelt
