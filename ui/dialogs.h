// Every message box and file dialog of the program goes through this seam, so that tests can
// answer them without a person.
#pragma once

#include <QString>
#include <QStringList>

class QUrl;
class QWidget;

namespace varnelt {

class Dialogs {
public:
    enum class Icon { None, Critical, Question };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~Dialogs() = default;

    // A modal message box owned by `owner`; Yes is the default of a question.
    virtual Answer message(QWidget* owner, Icon icon, const QString& title, const QString& text,
                           Buttons buttons) = 0;
    // An existing file, or an empty text when cancelled.
    virtual QString openFile(QWidget* owner, const QString& title, const QString& filter) = 0;
    // An existing folder, or an empty text when cancelled.
    virtual QString chooseFolder(QWidget* owner, const QString& title) = 0;
    // A file name to save to (the dialog asks before replacing a file), or an empty text.
    virtual QString saveFile(QWidget* owner, const QString& title, const QStringList& filters) = 0;
    // Hands a web page, a mail address or the help page to the desktop's own program.
    virtual void openUrl(const QUrl& url) = 0;
};

// Qt's own modal dialogs, starting in the user's home folder.
class QtDialogs : public Dialogs {
public:
    Answer message(QWidget* owner, Icon icon, const QString& title, const QString& text,
                   Buttons buttons) override;
    QString openFile(QWidget* owner, const QString& title, const QString& filter) override;
    QString chooseFolder(QWidget* owner, const QString& title) override;
    QString saveFile(QWidget* owner, const QString& title, const QStringList& filters) override;
    void openUrl(const QUrl& url) override;
};

}  // namespace varnelt
