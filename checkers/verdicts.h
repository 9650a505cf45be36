// The verdict texts a row can receive. A broken rule's verdict is the caption of that rule's
// check box, so the window uses the same texts for its captions. The constants are the Japanese
// sources; VerdictInUse gives them in the language in use.
#pragma once

#include <QString>
#include <QStringList>

namespace varnelt {

inline const QString kGoodVerdict =
    QString::fromUtf8(QT_TRANSLATE_NOOP("varnelt::Verdicts", "正常な書庫ﾌｧｲﾙ"));
inline const QString kMissingFileVerdict =
    QString::fromUtf8(QT_TRANSLATE_NOOP("varnelt::Verdicts", "ﾌｧｲﾙが存在しません"));
inline const QString kUnreadableFileVerdict =
    QString::fromUtf8(QT_TRANSLATE_NOOP("varnelt::Verdicts", "ﾌｧｲﾙを読み込めません"));

inline const QString kBadFileCaption = QString::fromUtf8(
    QT_TRANSLATE_NOOP("varnelt::Verdicts", "破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ"));
inline const QString kBadNoPasswordCaption = QString::fromUtf8(
    QT_TRANSLATE_NOOP("varnelt::Verdicts", "ﾊﾟｽﾜｰﾄﾞを入力出来なかったﾊﾟｽﾜｰﾄﾞ付き書庫ﾌｧｲﾙ"));
inline const QString kBadNoExtCaption =
    QString::fromUtf8(QT_TRANSLATE_NOOP("varnelt::Verdicts", "拡張子が間違っている書庫ﾌｧｲﾙ"));
// The count box shows only its box; the threshold field and a label carry the text.
inline const QString kBadNoFileSumCaption = QString::fromUtf8(
    QT_TRANSLATE_NOOP("varnelt::Verdicts", "           つ以上の格納ﾌｧｲﾙを持つ書庫ﾌｧｲﾙ"));
inline const QString kBadNoFileNameCaption = QString::fromUtf8(
    QT_TRANSLATE_NOOP("varnelt::Verdicts", "拡張子を除く格納ﾌｧｲﾙ名と違う名前の書庫ﾌｧｲﾙ"));

// One of the texts above in the language of the installed catalogue.
QString VerdictInUse(const QString& source);

// The count rule's verdict: the threshold followed by the count caption without its blanks
// (one blank kept before a Latin word).
QString FormatFileCountVerdict(int limit, const QString& countCaption);

// Every verdict a row can receive in the language in use, the count rule's with the given
// threshold.
QStringList AllVerdicts(int fileCountLimit);

}  // namespace varnelt
