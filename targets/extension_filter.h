// Which listed files registration keeps: off (all), or a list of extension patterns separated
// by ";", each matched against the lower-cased name as "*." + pattern.
#pragma once

#include <QString>

#include <optional>
#include <vector>

#include "checkers/archive_format.h"
#include "targets/wildcard.h"

namespace varnelt {

class ExtensionFilter {
public:
    // Lets every file through.
    ExtensionFilter() = default;

    // nullopt when an entry is not a valid pattern. Entries are not trimmed, and empty
    // entries stay.
    static std::optional<ExtensionFilter> fromList(const QString& list);

    bool accepts(const QString& fileName) const;

private:
    bool on_ = false;
    std::vector<WildcardPattern> patterns_;
};

// A format box as the automatic list sees it.
struct FormatBoxState {
    bool enabled = false;  // its library is installed
    bool ticked = false;
};

// The automatic list: one entry per enabled and ticked box in the order LZH, ZIP, CAB, 7z,
// RAR, TAR, GCA, YZ1, BGA, then "exe;" when any enabled box is ticked.
QString BuildAutoFilterList(const FormatBoxState (&boxes)[kFormatCount]);

}  // namespace varnelt
