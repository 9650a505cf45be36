// Every message box and file dialog of the program goes through this seam, so that tests can
// answer them without a person.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace varnelt {

class Dialogs {
public:
    enum class Icon { None, Critical, Question };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~Dialogs() = default;

    // A modal message box owned by `owner`; a question preselects `preselected`.
    virtual Answer message(QWidget* owner, Icon icon, const QString& title, const QString& text,
                           Buttons buttons, Answer preselected = Answer::Yes) = 0;
    // An existing file, or an empty text when cancelled.
    virtual QString openFile(QWidget* owner, const QString& title, const QString& filter) = 0;
    // An existing folder, or an empty text when cancelled.
    virtual QString chooseFolder(QWidget* owner, const QString& title) = 0;
    // A file name to save to, or an empty text. The dialog does not ask about replacing a
    // file: the caller asks once it knows the final name.
    virtual QString saveFile(QWidget* owner, const QString& title, const QStringList& filters) = 0;
};

// Qt's own modal dialogs, starting in the user's home folder.
class QtDialogs : public Dialogs {
public:
    Answer message(QWidget* owner, Icon icon, const QString& title, const QString& text,
                   Buttons buttons, Answer preselected) override;
    QString openFile(QWidget* owner, const QString& title, const QString& filter) override;
    QString chooseFolder(QWidget* owner, const QString& title) override;
    QString saveFile(QWidget* owner, const QString& title, const QStringList& filters) override;
};

}  // namespace varnelt
