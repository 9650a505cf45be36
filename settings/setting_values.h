// How stored settings are read back: every value the rules do not accept falls back.
#pragma once

#include <QString>

namespace varnelt {

// A window coordinate or size: ASCII digits only, else 0 (so negative and fractional values
// read as 0); a number past the 32-bit range reads as the largest one.
int ReadPositionValue(const QString& text);

// The count threshold: taken when it is 1 to 6 characters holding a number above 1, else "2".
QString ReadThresholdValue(const QString& text);

}  // namespace varnelt
