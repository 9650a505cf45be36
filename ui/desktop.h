// What the program hands to the desktop's own programs: addresses for the browser and the
// mail program, files for the file manager. Tests answer it without a desktop.
#pragma once

#include <QDBusConnection>
#include <QList>
#include <QUrl>

namespace varnelt {

class Desktop {
public:
    virtual ~Desktop() = default;

    // Asks the file manager to show the files selected in their folders; false when no file
    // manager takes the request.
    virtual bool showItems(const QList<QUrl>& files) = 0;
    // Hands a web page, a mail address, a folder or the help page to the desktop's program for
    // it; false when none could be started.
    virtual bool openUrl(const QUrl& url) = 0;
};

// The freedesktop file manager interface on the session bus, and QDesktopServices.
class SystemDesktop : public Desktop {
public:
    explicit SystemDesktop(const QDBusConnection& bus = QDBusConnection::sessionBus());

    bool showItems(const QList<QUrl>& files) override;
    bool openUrl(const QUrl& url) override;

private:
    QDBusConnection bus_;
};

}  // namespace varnelt
