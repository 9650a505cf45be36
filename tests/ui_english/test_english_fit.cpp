// The English captions fit their controls at the window's smallest size: the controls keep
// the places the design gives them, so the wording has to be short enough.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include "tests/ui/window_fixture.h"

namespace varnelt::test {
namespace {

QString withoutMnemonic(QString text) {
    return text.remove(u'&');
}

class EnglishFit : public WindowTest {
protected:
    // Box or circle, the gap after it and the text; the style's own measure.
    static void expectFits(const QAbstractButton& button) {
        const int needed = button.sizeHint().width();
        EXPECT_LE(needed, button.width())
            << button.objectName().toStdString() << ": " << button.text().toStdString();
    }
};

TEST_F(EnglishFit, CheckBoxesAndRadioButtonsHoldTheirCaptions) {
    int checked = 0;
    for (const QAbstractButton* button : window_->findChildren<QAbstractButton*>()) {
        if (qobject_cast<const QCheckBox*>(button) == nullptr &&
            qobject_cast<const QRadioButton*>(button) == nullptr) {
            continue;
        }
        // The count box shows only its box: the threshold field and a label carry the text.
        if (button->objectName() == QLatin1String("chkBadNoFileSum")) {
            continue;
        }
        expectFits(*button);
        ++checked;
    }
    EXPECT_EQ(checked, 9 + 4 + 3 + 4 + 1) << "formats, rules, filter, actions, subfolders";
}

TEST_F(EnglishFit, PushButtonsLabelsAndFramesHoldTheirTexts) {
    for (const char* name :
         {"cmdLogClear_0", "cmdLogClear_1", "cmdSelect_0", "cmdSelect_1", "cmdStart", "cmdStop"}) {
        const auto* button = find<QPushButton>(name);
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        EXPECT_LE(
            button->fontMetrics().horizontalAdvance(withoutMnemonic(button->text())) + 2 * margin,
            button->width())
            << name;
    }
    const auto* label = find<QLabel>("Label2");
    EXPECT_LE(label->sizeHint().width(), label->width());
    for (const char* name :
         {"fraCheckedArchiver", "fraIzyoTeigi", "fraExtFilter", "fraIzyoSyori"}) {
        const auto* box = find<QGroupBox>(name);
        EXPECT_LE(box->minimumSizeHint().width(), box->width()) << name;
    }
}

}  // namespace
}  // namespace varnelt::test
