// The real window on the offscreen platform: registration, sorting and removal with 100,000
// rows, the window's memory during a run over them, and check runs of the window against
// varnelt-check with the same jobs: 10,000 tiny ZIP archives, and two 150 MB .tbz archives.
// Usage: window_bench [folder for the generated files [rows|tiny|large ...]]
// Run it under a display (xvfb-run -a window_bench): Qt's offscreen platform polls without
// pause while a long test runs and so takes a core from the workers.
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
#include <QTimer>

#include <algorithm>
#include <deque>
#include <functional>

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

// Two .tbz archives of about 150 MB each, text and incompressible bytes.
void makeLargeTbz(const QString& folder) {
    if (QFile::exists(folder + QStringLiteral("/b.tbz"))) {
        return;
    }
    QDir().mkpath(folder);
    for (const char* name : {"a", "b"}) {
        QProcess::execute(
            QStringLiteral("sh"),
            {QStringLiteral("-c"),
             QStringLiteral("cd '%1' && mkdir -p src && head -c 40000000 /dev/urandom | base64 "
                            "-w 100 > src/text && head -c 96000000 /dev/urandom > src/blob && "
                            "tar cjf %2.tbz -C src . && rm -rf src")
                 .arg(folder, QLatin1String(name))});
    }
}

// The window's run over the folder, in milliseconds; `during` is called every 50 ms.
qint64 timeWindowRun(MainWindow& window, BenchDialogs& dialogs, const QString& folder, bool fast,
                     int jobs, const std::function<void()>& during = {}) {
    window.findChild<QAbstractButton*>(QStringLiteral("cmdLogClear_0"))->click();
    dialogs.folder = folder;
    window.findChild<QAbstractButton*>(QStringLiteral("cmdSelect_1"))->click();
    window.findChild<QAction*>(QStringLiteral("mnuOptionFastMode"))->setChecked(fast);
    window.findChild<QAction*>(QStringLiteral("mnuOptionJobs_%1").arg(jobs))->trigger();
    // The formats varnelt-check is given, and no other.
    for (const char* box : {"chkExtLHA", "chkExtZIP", "chkExtCAB", "chkExtTAR", "chkExtRAR",
                            "chkExtBGA", "chkExtYZ1", "chkExtGCA", "chkExt7z"}) {
        const QLatin1String name(box);
        window.findChild<QCheckBox*>(name)->setChecked(name == QLatin1String("chkExtZIP") ||
                                                       name == QLatin1String("chkExtTAR"));
    }
    QElapsedTimer clock;
    clock.start();
    window.findChild<QAbstractButton*>(QStringLiteral("cmdStart"))->click();
    // The window works in an event loop of its own, as in the program.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (during) {
            during();
        }
        if (!window.busy()) {
            loop.quit();
        }
    });
    poll.start(20);
    loop.exec();
    return clock.elapsed();
}

qint64 timeHeadlessRun(const QString& folder, int jobs) {
    QProcess check;
    check.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    check.start(QCoreApplication::applicationDirPath() + QStringLiteral("/varnelt-check"),
                {QStringLiteral("--jobs"), QString::number(jobs), QStringLiteral("--formats"),
                 QStringLiteral("zip,tar"), folder});
    check.waitForFinished(-1);
    return clock.elapsed();
}

QString ratio(qint64 a, qint64 b) {
    return QString::number(double(a) / double(b), 'f', 2);
}

struct Bench {
    MainWindow& window;
    BenchDialogs& dialogs;
    QString folder;
    QTextStream& out;
};

void benchRows(const Bench& bench) {
    makeFiles(bench.folder);
    MainWindow& window = bench.window;
    bench.dialogs.folder = bench.folder;
    auto* button = window.findChild<QAbstractButton*>(QStringLiteral("cmdSelect_1"));
    auto* fastMode = window.findChild<QAction*>(QStringLiteral("mnuOptionFastMode"));
    auto* clear = window.findChild<QAbstractButton*>(QStringLiteral("cmdLogClear_0"));
    auto* view = window.findChild<QTableView*>(QStringLiteral("lvwList"));
    QTextStream& out = bench.out;
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

    // The window during a run over every row: its own memory, the workers counted apart.
    long peak = 0;
    const qint64 all = timeWindowRun(window, bench.dialogs, bench.folder, true, 0,
                                     [&peak] { peak = std::max(peak, residentKilobytes()); });
    out << "run over " << window.targets().size() << " rows: " << all
        << " ms, the window's peak resident memory " << peak / 1024 << " MB" << Qt::endl;

    view->selectionModel()->clearSelection();  // the run left its last row selected
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
}

void benchTiny(const Bench& bench) {
    const QString tiny = bench.folder + QStringLiteral("-tiny-zips");
    makeTinyZips(tiny);
    for (const int jobs : {1, 2}) {
        const qint64 headless = timeHeadlessRun(tiny, jobs);
        const qint64 fast = timeWindowRun(bench.window, bench.dialogs, tiny, true, jobs);
        const qint64 shown = timeWindowRun(bench.window, bench.dialogs, tiny, false, jobs);
        bench.out << "run over " << kTinyZips << " tiny zip files, jobs " << jobs
                  << ": varnelt-check " << headless << " ms, window fast mode on " << fast
                  << " ms (" << ratio(fast, headless) << "x), off " << shown << " ms ("
                  << ratio(shown, headless) << "x)" << Qt::endl;
    }
}

void benchLarge(const Bench& bench) {
    const QString large = bench.folder + QStringLiteral("-large-tbz");
    makeLargeTbz(large);
    const qint64 one = timeHeadlessRun(large, 1);
    const qint64 two = timeHeadlessRun(large, 2);
    const qint64 windowTwo = timeWindowRun(bench.window, bench.dialogs, large, false, 2);
    bench.out << "run over two 150 MB tbz: varnelt-check --jobs 1 " << one << " ms, --jobs 2 "
              << two << " ms (" << ratio(two, one) << "x), window with 2 jobs " << windowTwo
              << " ms (" << ratio(windowTwo, two) << "x of varnelt-check)" << Qt::endl;
}

// Usage: window_bench [folder [rows|tiny|large ...]]: every part unless some are named.
int main(int argc, char* argv[]) {
    // Under a display (xvfb-run) the window is drawn as on a desktop; without one, offscreen.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const QString folder = !arguments.isEmpty()
                               ? arguments.front()
                               : QDir::tempPath() + QStringLiteral("/varnelt-bench-100k");
    QStringList parts = arguments.mid(1);
    if (parts.isEmpty()) {
        parts = {QStringLiteral("rows"), QStringLiteral("tiny"), QStringLiteral("large")};
    }

    BenchDialogs dialogs;
    BenchDesktop desktop;
    ArchiverSet archivers;
    MainWindow window(dialogs, desktop, archivers);
    window.DetectArchivers();
    window.show();
    const Bench bench{window, dialogs, folder, out};
    for (const QString& part : parts) {
        if (part == QLatin1String("rows")) {
            benchRows(bench);
        } else if (part == QLatin1String("tiny")) {
            benchTiny(bench);
        } else if (part == QLatin1String("large")) {
            benchLarge(bench);
        }
    }
    return 0;
}
