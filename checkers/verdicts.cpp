#include "checkers/verdicts.h"

namespace varnelt {

QString FormatFileCountVerdict(int limit, const QString& countCaption) {
    qsizetype start = 0;
    while (start < countCaption.size() && countCaption[start] == u' ') {
        ++start;
    }
    return QString::number(limit) + countCaption.mid(start);
}

QStringList AllVerdicts(int fileCountLimit) {
    return {kGoodVerdict,
            kMissingFileVerdict,
            kUnreadableFileVerdict,
            kBadFileCaption,
            kBadNoPasswordCaption,
            kBadNoExtCaption,
            FormatFileCountVerdict(fileCountLimit, kBadNoFileSumCaption),
            kBadNoFileNameCaption};
}

}  // namespace varnelt
