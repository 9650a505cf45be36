#include "ui/desktop.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QStringList>

namespace varnelt {

namespace {

const QString kFileManagerService = QStringLiteral("org.freedesktop.FileManager1");

}  // namespace

SystemDesktop::SystemDesktop(const QDBusConnection& bus) : bus_(bus) {}

bool SystemDesktop::showItems(const QList<QUrl>& files) {
    QDBusConnectionInterface* names = bus_.isConnected() ? bus_.interface() : nullptr;
    if (names == nullptr) {
        return false;
    }
    // Asking first answers at once when no file manager is there; the request itself is not
    // waited for, since a file manager that has to start first may take seconds.
    if (!names->isServiceRegistered(kFileManagerService).value() &&
        !names->activatableServiceNames().value().contains(kFileManagerService)) {
        return false;
    }
    QStringList uris;
    for (const QUrl& file : files) {
        uris << file.toString(QUrl::FullyEncoded);
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        kFileManagerService, QStringLiteral("/org/freedesktop/FileManager1"), kFileManagerService,
        QStringLiteral("ShowItems"));
    call << uris << QString();
    return bus_.send(call);
}

bool SystemDesktop::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

}  // namespace varnelt
