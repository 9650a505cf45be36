// The real window on the offscreen platform: registration, sorting and removal with 100,000
// rows, and a check run over 10,000 tiny ZIP archives against varnelt-check --jobs 1.
// Usage: window_bench [folder for the generated files]
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QProcess>
#include <QTableView>
#include <QTest>
#include <QTextStream>

#include <deque>

#include "checkers/archiver_set.h"
#include "targets/target_list_model.h"
#include "ui/desktop.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace {

using namespace varnelt;

constexpr int kFiles = 100000;
constexpr int kTinyZips = 10000;

// Answers the folder picker with the bench folder and nothing else.
class BenchDialogs : public Dialogs {
public:
    QString folder;
    Answer message(QWidget*, Icon, const QString&, const QString&, Buttons, Answer) override {
        return Answer::Ok;
    }
    QString openFile(QWidget*, const QString&, const QString&) override { return {}; }
    QString chooseFolder(QWidget*, const QString&) override { return folder; }
    QString saveFile(QWidget*, const QString&, const QStringList&) override { return {}; }
};

// Nothing is handed to the desktop during a bench.
class BenchDesktop : public Desktop {
public:
    bool showItems(const QList<QUrl>&) override { return false; }
    bool openUrl(const QUrl&) override { return false; }
};

long residentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').front().toLong();
        }
    }
    return -1;
}

void makeFiles(const QString& folder) {
    if (QDir(folder).count() >= kFiles + 2) {
        return;
    }
    QDir().mkpath(folder);
    for (int i = 0; i < kFiles; ++i) {
        QFile file(folder +
                   QStringLiteral("/file%1.zip").arg(i * 7919 % kFiles, 6, 10, QLatin1Char('0')));
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(i % 977, 'x'));
    }
}

}  // namespace

void makeTinyZips(const QString& folder) {
    if (QDir(folder).count() >= kTinyZips + 2) {
        return;
    }
    QDir().mkpath(folder);
    QProcess zip;
    zip.setWorkingDirectory(folder);
    QFile(folder + QStringLiteral("/content.txt")).open(QIODevice::WriteOnly);
    zip.start(QStringLiteral("zip"),
              {QStringLiteral("-q"), QStringLiteral("seed.zip"), QStringLiteral("content.txt")});
    zip.waitForFinished();
    QFile::remove(folder + QStringLiteral("/content.txt"));
    for (int i = 0; i < kTinyZips; ++i) {
        QFile::copy(folder + QStringLiteral("/seed.zip"),
                    folder + QStringLiteral("/t%1.zip").arg(i));
    }
    QFile::remove(folder + QStringLiteral("/seed.zip"));
}

// The window's run over the folder, fast mode on or off, in milliseconds.
qint64 timeWindowRun(MainWindow& window, BenchDialogs& dialogs, const QString& folder, bool fast) {
    window.findChild<QAbstractButton*>(QStringLiteral("cmdLogClear_0"))->click();
    dialogs.folder = folder;
    window.findChild<QAbstractButton*>(QStringLiteral("cmdSelect_1"))->click();
    window.findChild<QAction*>(QStringLiteral("mnuOptionFastMode"))->setChecked(fast);
    window.findChild<QCheckBox*>(QStringLiteral("chkExtZIP"))->setChecked(true);
    QElapsedTimer clock;
    clock.start();
    window.findChild<QAbstractButton*>(QStringLiteral("cmdStart"))->click();
    return clock.elapsed();
}

qint64 timeHeadlessRun(const QString& folder) {
    QProcess check;
    check.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    check.start(QCoreApplication::applicationDirPath() + QStringLiteral("/varnelt-check"),
                {QStringLiteral("--jobs"), QStringLiteral("1"), QStringLiteral("--formats"),
                 QStringLiteral("zip"), folder});
    check.waitForFinished(-1);
    return clock.elapsed();
}

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QDir::tempPath() + QStringLiteral("/varnelt-bench-100k");
    makeFiles(folder);

    BenchDialogs dialogs;
    dialogs.folder = folder;
    BenchDesktop desktop;
    ArchiverSet archivers;
    MainWindow window(dialogs, desktop, archivers);
    window.DetectArchivers();
    window.show();
    auto* button = window.findChild<QAbstractButton*>(QStringLiteral("cmdSelect_1"));
    auto* fastMode = window.findChild<QAction*>(QStringLiteral("mnuOptionFastMode"));
    auto* clear = window.findChild<QAbstractButton*>(QStringLiteral("cmdLogClear_0"));
    auto* view = window.findChild<QTableView*>(QStringLiteral("lvwList"));
    QElapsedTimer clock;

    for (const bool fast : {true, false}) {
        clear->click();
        fastMode->setChecked(fast);
        clock.start();
        button->click();
        out << "registration of " << window.targets().size() << " files, fast mode "
            << (fast ? "on " : "off") << ": " << clock.elapsed() << " ms" << Qt::endl;
    }
    out << "resident memory with " << window.targets().size()
        << " rows: " << residentKilobytes() / 1024 << " MB" << Qt::endl;

    for (int column = 0; column < TargetListModel::ColumnCount; ++column) {
        clock.start();
        emit view->horizontalHeader()->sectionClicked(column);
        QCoreApplication::processEvents();
        out << "sort by column " << column << ": " << clock.elapsed() << " ms" << Qt::endl;
    }

    QItemSelection scattered;
    for (int row = 0; row < window.targets().size(); row += 2) {
        scattered.select(window.targets().index(row, 0), window.targets().index(row, 0));
    }
    view->selectionModel()->select(scattered,
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    clock.start();
    window.findChild<QAbstractButton*>(QStringLiteral("cmdLogClear_1"))->click();
    QCoreApplication::processEvents();
    out << "removal of 50000 scattered rows: " << clock.elapsed() << " ms, "
        << window.targets().size() << " left" << Qt::endl;

    const QString tiny = folder + QStringLiteral("-tiny-zips");
    makeTinyZips(tiny);
    const qint64 headless = timeHeadlessRun(tiny);
    const qint64 fast = timeWindowRun(window, dialogs, tiny, true);
    const qint64 shown = timeWindowRun(window, dialogs, tiny, false);
    out << "run over " << kTinyZips << " tiny zip files: varnelt-check --jobs 1 " << headless
        << " ms, window fast mode on " << fast << " ms ("
        << QString::number(double(fast) / headless, 'f', 2) << "x), off " << shown << " ms ("
        << QString::number(double(shown) / headless, 'f', 2) << "x)" << Qt::endl;
    return 0;
}
