// Widths that hold a text whole in the font and style in use.
#pragma once

#include <QString>

class QFontMetrics;
class QLineEdit;

namespace varnelt {

// The sample with every digit replaced by the font's widest one: a width measured on it holds
// any number of as many digits.
QString WithWidestDigits(const QString& sample, const QFontMetrics& metrics);

// The width at which the line edit shows the text without scrolling it.
int LineEditWidthFor(const QLineEdit& edit, const QString& text);

}  // namespace varnelt
