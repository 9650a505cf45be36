// A main window on the offscreen platform, its dialogs answered by the test.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <memory>

#include "checkers/archiver_set.h"
#include "targets/target_list_model.h"
#include "tests/support/scratch.h"
#include "tests/ui/scripted_desktop.h"
#include "tests/ui/scripted_dialogs.h"
#include "ui/main_window.h"

namespace varnelt::test {

class WindowTest : public ::testing::Test {
protected:
    WindowTest() : WindowTest(ArchiverSet()) {}
    explicit WindowTest(ArchiverSet archivers)
        : archivers_(std::move(archivers)),
          window_(std::make_unique<MainWindow>(dialogs_, desktop_, archivers_)) {
        window_->DetectArchivers();
        window_->RefreshFormState();
        window_->show();
        QCoreApplication::processEvents();
    }

    template <typename Widget>
    Widget* find(const char* name) {
        auto* widget = window_->findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void click(const char* button) {
        QTest::mouseClick(find<QAbstractButton>(button), Qt::LeftButton);
    }
    void trigger(const char* action) { find<QAction>(action)->trigger(); }
    // Presses Start and lets the window work until the run is over.
    void startRun() {
        click("cmdStart");
        waitForRunEnd();
    }
    // The window works in an event loop, as in the program, until its run is over.
    void waitForRunEnd() {
        QElapsedTimer waited;
        waited.start();
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!window_->busy() || waited.elapsed() > 120000) {
                loop.quit();
            }
        });
        poll.start(10);
        loop.exec();
        EXPECT_FALSE(window_->busy()) << "the run did not end";
    }
    QString panel(const char* key) { return find<QLabel>(key)->text(); }
    TargetListModel& list() { return window_->targets(); }
    QStringList listNames() {
        QStringList names;
        for (int i = 0; i < list().size(); ++i) {
            names << list().row(i).name;
        }
        return names;
    }
    // Registers a folder through the folder picker button.
    void registerFolder(const QString& folder) {
        dialogs_.paths.push_back(folder);
        click("cmdSelect_1");
    }

    ScratchDir scratch_;
    ScriptedDialogs dialogs_;
    ScriptedDesktop desktop_;
    ArchiverSet archivers_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace varnelt::test
