#include "ui/about_dialog.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "base/version.h"
#include "ui/desktop.h"
#include "ui/twips.h"

namespace varnelt {

namespace {

template <typename Widget>
Widget* place(QWidget* parent, const char* name, const QRect& twipsRect, const QString& text) {
    auto* widget = new Widget(text, parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(FromTwips(twipsRect));
    return widget;
}

}  // namespace

AboutDialog::AboutDialog(Desktop& desktop, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(tr("バージョン情報"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(FromTwips(QSize(4095, 3150)));
    setModal(true);

    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("fraSoftZyoho"));
    frame->setGeometry(FromTwips(QRect(120, 0, 3855, 3015)));

    auto* icon = place<QLabel>(frame, "picIcon", {120, 240, 540, 540}, QString());
    icon->setPixmap(windowIcon().pixmap(32, 32));
    for (auto* label : {place<QLabel>(frame, "lblVersion", {120, 480, 3615, 255},
                                      QStringLiteral("Varnelt Version ") + AppVersionText()),
                        place<QLabel>(frame, "lblCopyright", {120, 960, 3615, 255},
                                      QStringLiteral("Copyright (C) 2026 Varnelt developers")),
                        place<QLabel>(frame, "lblKomento", {120, 2040, 3615, 255},
                                      tr("このソフトは、フリーソフトです"))}) {
        label->setAlignment(Qt::AlignCenter);
    }
    auto* close = place<QPushButton>(frame, "cmdClose", {1200, 2400, 1455, 375}, tr("閉じる(&C)"));
    auto* mail =
        place<QPushButton>(frame, "cmdMyMail", {240, 1320, 3375, 255}, QLatin1String(kMakerMail));
    auto* homepage = place<QPushButton>(frame, "cmdMyHomepage", {240, 1680, 3375, 255},
                                        QLatin1String(kMakerWebPage));
    // Each address button opens what it shows.
    connect(mail, &QPushButton::clicked, this,
            [&desktop, mail] { desktop.openUrl(QUrl(QStringLiteral("mailto:") + mail->text())); });
    connect(homepage, &QPushButton::clicked, this,
            [&desktop, homepage] { desktop.openUrl(QUrl(homepage->text())); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    setTabOrder(close, mail);
    setTabOrder(mail, homepage);
    // Enter closes the box wherever the focus is; an address opens only when its own button
    // is clicked or pressed with Space. Escape closes it as a dialog does.
    close->setDefault(true);
    for (QPushButton* address : {mail, homepage}) {
        address->setAutoDefault(false);
    }
    close->setFocus();
}

}  // namespace varnelt
