#include "ui/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace varnelt {

Dialogs::Answer QtDialogs::message(QWidget* owner, Icon icon, const QString& title,
                                   const QString& text, Buttons buttons, Answer preselected) {
    QMessageBox box(owner);
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon(icon == Icon::Critical   ? QMessageBox::Critical
                : icon == Icon::Question ? QMessageBox::Question
                                         : QMessageBox::NoIcon);
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(preselected == Answer::No ? QMessageBox::No : QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int result = box.exec();
    if (buttons == Buttons::Ok) {
        return Answer::Ok;
    }
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

QString QtDialogs::openFile(QWidget* owner, const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileName(owner, title, QDir::homePath(), filter);
}

QString QtDialogs::chooseFolder(QWidget* owner, const QString& title) {
    return QFileDialog::getExistingDirectory(owner, title, QDir::homePath());
}

QString QtDialogs::saveFile(QWidget* owner, const QString& title, const QStringList& filters) {
    return QFileDialog::getSaveFileName(owner, title, QDir::homePath(),
                                        filters.join(QStringLiteral(";;")), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

}  // namespace varnelt
