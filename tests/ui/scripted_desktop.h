// The desktop seam answered by a test: a record of what would have been opened, and whether
// the file manager and the desktop's programs take the requests.
#pragma once

#include <QList>
#include <QUrl>

#include "ui/desktop.h"

namespace varnelt::test {

class ScriptedDesktop : public Desktop {
public:
    bool fileManagerAnswers = true;
    bool programsStart = true;
    QList<QList<QUrl>> shownItems;  // every request to the file manager
    QList<QUrl> openedUrls;         // every address handed to a program

    bool showItems(const QList<QUrl>& files) override {
        shownItems << files;
        return fileManagerAnswers;
    }
    bool openUrl(const QUrl& url) override {
        openedUrls << url;
        return programsStart;
    }
};

}  // namespace varnelt::test
