#include "checkers/verdicts.h"

#include <QCoreApplication>

namespace varnelt {

QString VerdictInUse(const QString& source) {
    return QCoreApplication::translate("varnelt::Verdicts", source.toUtf8().constData());
}

QString FormatFileCountVerdict(int limit, const QString& countCaption) {
    qsizetype start = 0;
    while (start < countCaption.size() && countCaption[start] == u' ') {
        ++start;
    }
    const QString text = countCaption.mid(start);
    // Latin words are set apart from the number ("2 or more"), Japanese ones are not.
    const bool spaced = !text.isEmpty() && text[0].script() == QChar::Script_Latin;
    return QString::number(limit) + (spaced ? QStringLiteral(" ") : QString()) + text;
}

QStringList AllVerdicts(int fileCountLimit) {
    QStringList verdicts;
    for (const QString& source :
         {kGoodVerdict, kMissingFileVerdict, kUnreadableFileVerdict, kBadFileCaption,
          kBadNoPasswordCaption, kBadNoExtCaption, kBadNoFileNameCaption}) {
        verdicts << VerdictInUse(source);
    }
    verdicts << FormatFileCountVerdict(fileCountLimit, VerdictInUse(kBadNoFileSumCaption));
    return verdicts;
}

}  // namespace varnelt
