#include "tests/ui/scripted_dialogs.h"

#include <gtest/gtest.h>

namespace varnelt::test {

Dialogs::Answer ScriptedDialogs::message(QWidget* owner, Icon icon, const QString& title,
                                         const QString& text, Buttons buttons, Answer preselected) {
    EXPECT_NE(owner, nullptr) << "message boxes are owned by the main window";
    shown.push_back({icon, title, text, buttons, preselected});
    if (buttons == Buttons::Ok) {
        return Answer::Ok;
    }
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected question: " << text.toStdString();
        return Answer::No;
    }
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

QString ScriptedDialogs::nextPath(const QString& title) {
    dialogTitles << title;
    if (paths.empty()) {
        ADD_FAILURE() << "unexpected dialog: " << title.toStdString();
        return {};
    }
    const QString path = paths.front();
    paths.pop_front();
    return path;
}

QString ScriptedDialogs::openFile(QWidget*, const QString& title, const QString&) {
    return nextPath(title);
}

QString ScriptedDialogs::chooseFolder(QWidget*, const QString& title) {
    return nextPath(title);
}

QString ScriptedDialogs::saveFile(QWidget*, const QString& title, const QStringList&) {
    return nextPath(title);
}

}  // namespace varnelt::test
