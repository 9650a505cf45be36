// The verdict texts a row can receive. A broken rule's verdict is the caption of that rule's
// check box, so the window uses the same texts for its captions.
#pragma once

#include <QString>
#include <QStringList>

namespace varnelt {

inline const QString kGoodVerdict = QStringLiteral("正常な書庫ﾌｧｲﾙ");
inline const QString kMissingFileVerdict = QStringLiteral("ﾌｧｲﾙが存在しません");
inline const QString kUnreadableFileVerdict = QStringLiteral("ﾌｧｲﾙを読み込めません");

inline const QString kBadFileCaption = QStringLiteral("破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ");
inline const QString kBadNoPasswordCaption =
    QStringLiteral("ﾊﾟｽﾜｰﾄﾞを入力出来なかったﾊﾟｽﾜｰﾄﾞ付き書庫ﾌｧｲﾙ");
inline const QString kBadNoExtCaption = QStringLiteral("拡張子が間違っている書庫ﾌｧｲﾙ");
// The count box shows only its box; the threshold field and a label carry the text.
inline const QString kBadNoFileSumCaption =
    QStringLiteral("           つ以上の格納ﾌｧｲﾙを持つ書庫ﾌｧｲﾙ");
inline const QString kBadNoFileNameCaption =
    QStringLiteral("拡張子を除く格納ﾌｧｲﾙ名と違う名前の書庫ﾌｧｲﾙ");

// The count rule's verdict: the threshold followed by the count caption without its blanks.
QString FormatFileCountVerdict(int limit, const QString& countCaption);

// Every verdict a row can receive, the count rule's with the given threshold.
QStringList AllVerdicts(int fileCountLimit);

}  // namespace varnelt
