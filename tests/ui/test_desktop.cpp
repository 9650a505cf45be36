// The file manager request as it travels: on a bus of the test's own, to a stand-in that
// offers the freedesktop file manager interface, and to a bus where no file manager is.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include "base/file_urls.h"
#include "tests/support/scratch.h"
#include "ui/desktop.h"

namespace varnelt::test {
namespace {

// Answers ShowItems as a file manager would, and keeps what it was asked.
class FileManagerStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList uris;
    QString startupId;
    int calls = 0;

public slots:
    Q_SCRIPTABLE void ShowItems(const QStringList& items, const QString& startup) {
        uris = items;
        startupId = startup;
        ++calls;
    }
};

// A message bus of the test's own, with no services but what the test registers.
class PrivateBus {
public:
    PrivateBus() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            return;
        }
        const QString config = scratch_.path(QStringLiteral("bus.conf"));
        writeFile(config,
                  "<busconfig><type>session</type><listen>unix:tmpdir=" + scratch_.root().toUtf8() +
                      "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                      "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                      "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        daemon_.start(daemon, {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                               QStringLiteral("--config-file=") + config});
        if (daemon_.waitForReadyRead(10000)) {
            address_ = QString::fromUtf8(daemon_.readLine().trimmed());
        }
    }
    ~PrivateBus() {
        for (const QString& name : names_) {
            QDBusConnection::disconnectFromBus(name);
        }
        daemon_.kill();
        daemon_.waitForFinished();
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool running() const { return !address_.isEmpty(); }
    QDBusConnection connect(const QString& name) {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    ScratchDir scratch_;
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

TEST(SystemDesktop, FileManagerIsAskedToShowTheFilesByTheirAddresses) {
    PrivateBus bus;
    if (!bus.running()) {
        GTEST_SKIP() << "dbus-daemon (package dbus-daemon) is not installed or did not start";
    }
    QDBusConnection managerSide = bus.connect(QStringLiteral("file-manager"));
    FileManagerStandIn manager;
    ASSERT_TRUE(managerSide.registerObject(QStringLiteral("/org/freedesktop/FileManager1"),
                                           &manager, QDBusConnection::ExportScriptableSlots));
    ASSERT_TRUE(managerSide.registerService(QStringLiteral("org.freedesktop.FileManager1")));

    SystemDesktop desktop(bus.connect(QStringLiteral("program")));
    const QList<QUrl> files = {FileUrl(QByteArray("/data/a b.zip")),
                               FileUrl(QByteArray("/data/\x93\xfa\x96\x7b.zip"))};
    EXPECT_TRUE(desktop.showItems(files));
    QElapsedTimer clock;
    clock.start();
    while (manager.calls == 0 && clock.elapsed() < 5000) {
        QTest::qWait(10);
    }
    EXPECT_EQ(manager.calls, 1);
    EXPECT_EQ(manager.uris, (QStringList{QStringLiteral("file:///data/a%20b.zip"),
                                         QStringLiteral("file:///data/%93%FA%96%7B.zip")}));
    EXPECT_EQ(manager.startupId, QString());
}

TEST(SystemDesktop, NoFileManagerOrNoBusIsAnsweredAtOnce) {
    PrivateBus bus;
    if (!bus.running()) {
        GTEST_SKIP() << "dbus-daemon (package dbus-daemon) is not installed or did not start";
    }
    const QList<QUrl> files = {FileUrl(QByteArray("/data/a.zip"))};
    EXPECT_FALSE(SystemDesktop(bus.connect(QStringLiteral("alone"))).showItems(files));
    EXPECT_FALSE(
        SystemDesktop(QDBusConnection(QStringLiteral("never connected"))).showItems(files));
}

}  // namespace
}  // namespace varnelt::test

#include "test_desktop.moc"
