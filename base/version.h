#pragma once

#include <QString>

namespace varnelt {

// The project version as the program shows it: major, minor with two digits, revision
// (1.2.7 gives 1.02.7).
QString FormatVersionText(int major, int minor, int revision);

// This build's version text.
QString AppVersionText();

}  // namespace varnelt
