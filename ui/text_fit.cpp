#include "ui/text_fit.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>

namespace varnelt {

QString WithWidestDigits(const QString& sample, const QFontMetrics& metrics) {
    QChar widest = u'0';
    for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
        if (metrics.horizontalAdvance(QChar(digit)) > metrics.horizontalAdvance(widest)) {
            widest = QChar(digit);
        }
    }
    QString text = sample;
    for (QChar& c : text) {
        if (c.isDigit()) {
            c = widest;
        }
    }
    return text;
}

int LineEditWidthFor(const QLineEdit& edit, const QString& text) {
    // The frame, as the style draws it around the contents.
    QStyleOptionFrame option;
    option.initFrom(&edit);
    option.rect = QRect(0, 0, 1000, edit.height());
    option.lineWidth = edit.hasFrame()
                           ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit)
                           : 0;
    const QRect contents =
        edit.style()->subElementRect(QStyle::SE_LineEditContents, &option, &edit);
    const int frame = option.rect.width() - contents.width();
    // Qt keeps two pixels beside the text on each side and one for the cursor; a glyph's
    // bearing may reach past its advance.
    constexpr int kTextMargin = 2;
    constexpr int kCursorWidth = 1;
    const QFontMetrics metrics = edit.fontMetrics();
    const QMargins margins = edit.textMargins();
    return frame + margins.left() + margins.right() + 2 * kTextMargin + kCursorWidth +
           metrics.horizontalAdvance(text) + std::max(0, -metrics.minLeftBearing()) +
           std::max(0, -metrics.minRightBearing());
}

}  // namespace varnelt
