// How stored settings are read back: every value the rules do not accept falls back.
#pragma once

#include <QString>

namespace varnelt {

// A window coordinate or size: ASCII digits only, else 0 (so negative and fractional values
// read as 0); a number past the 32-bit range reads as the largest one.
int ReadPositionValue(const QString& text);

// The count threshold: taken when it is 1 to 6 characters holding a number above 1, else "2".
QString ReadThresholdValue(const QString& text);

// How many files are tested at once: the Option menu's choices, 0 being automatic (one per
// core). Stored as "Auto" or the number; anything else reads as automatic.
inline constexpr int kJobChoices[] = {0, 1, 2, 4, 8, 16};
int ReadJobsValue(const QString& text);
QString WriteJobsValue(int jobs);

// A limit in seconds or megabytes: up to nine ASCII digits, else the fallback (a key that
// older files do not have reads as its default).
int ReadLimitValue(const QString& text, int fallback);

}  // namespace varnelt
