// What a run checks for: the rule boxes, the count threshold and the verdict texts, taken
// once when the run starts. The checkers read nothing else. The texts default to the language
// in use where the rules are made.
#pragma once

#include <QString>

#include "checkers/verdicts.h"

namespace varnelt {

// The rule a verdict was given by; None for a good file.
enum class VerdictRule : quint8 { None, Broken, Password, Extension, Count, Name };

struct CheckRules {
    bool badFile = true;         // damaged, or read by no enabled library
    bool badNoPassword = false;  // encrypted and no password given (ZIP)
    bool badNoExt = false;       // extension does not fit the content
    bool badNoFileSum = false;   // at least fileCountLimit entries
    bool badNoFileName = false;  // single entry named otherwise (only with the count rule at 2)
    int fileCountLimit = 2;
    QString fileCountVerdict = FormatFileCountVerdict(2, VerdictInUse(kBadNoFileSumCaption));

    QString badFileCaption = VerdictInUse(kBadFileCaption);
    QString badNoPasswordCaption = VerdictInUse(kBadNoPasswordCaption);
    QString badNoExtCaption = VerdictInUse(kBadNoExtCaption);
    QString badNoFileNameCaption = VerdictInUse(kBadNoFileNameCaption);

    // The verdicts of no rule. The worker has no catalogue: these travel with the rules.
    QString goodVerdict = VerdictInUse(kGoodVerdict);
    QString missingFileVerdict = VerdictInUse(kMissingFileVerdict);
    QString unreadableFileVerdict = VerdictInUse(kUnreadableFileVerdict);
};

}  // namespace varnelt
