// The dialog seam answered by a test: queued answers, and a record of every message shown.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>

#include "ui/dialogs.h"

namespace varnelt::test {

class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        Icon icon;
        QString title;
        QString text;
        Buttons buttons;
        Answer preselected;
    };

    // Answers for the next questions, in order; a question without a queued answer fails the
    // test and is answered No.
    std::deque<Answer> answers;
    // Paths for the next file, folder or save dialogs; an empty text is a cancel.
    std::deque<QString> paths;
    QList<Shown> shown;
    QStringList dialogTitles;

    Answer message(QWidget* owner, Icon icon, const QString& title, const QString& text,
                   Buttons buttons, Answer preselected) override;
    QString openFile(QWidget* owner, const QString& title, const QString& filter) override;
    QString chooseFolder(QWidget* owner, const QString& title) override;
    QString saveFile(QWidget* owner, const QString& title, const QStringList& filters) override;

private:
    QString nextPath(const QString& title);
};

}  // namespace varnelt::test
