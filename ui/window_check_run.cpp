// The check run: Start's confirmations, the walk over the list, and the clock.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>

#include "base/app_paths.h"
#include "base/error_catalogue.h"
#include "base/paths.h"
#include "checkers/archiver_set.h"
#include "engine/check_engine.h"
#include "engine/run_setup.h"
#include "targets/target_list_model.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace varnelt {

CheckRules MainWindow::rulesForRun() const {
    CheckRules rules;
    rules.badFile = chkBadFile->isChecked();
    rules.badNoPassword = chkBadNoPassword->isChecked();
    rules.badNoExt = chkBadNoExt->isChecked();
    rules.badNoFileSum = chkBadNoFileSum->isChecked();
    rules.badNoFileName = chkBadNoFileName->isChecked();
    rules.fileCountLimit = txtBadNoFileSum->text().toInt();
    rules.fileCountVerdict = FormatFileCountVerdict(rules.fileCountLimit, chkBadNoFileSum->text());
    rules.badFileCaption = chkBadFile->text();
    rules.badNoPasswordCaption = chkBadNoPassword->text();
    rules.badNoExtCaption = chkBadNoExt->text();
    rules.badNoFileNameCaption = chkBadNoFileName->text();
    return rules;
}

void MainWindow::cmdStart_Click() {
    if (model_->size() == 0) {
        dialogs_.message(this, Dialogs::Icon::Critical, tr("エラー"),
                         tr("検査するファイルが登録されていません。"), Dialogs::Buttons::Ok);
        return;
    }
    if (optActionMove->isChecked()) {
        const QString destination = txtBadMove->text();
        // The root is tested as it is, any other folder without its trailing "/".
        const QString folder =
            destination == QLatin1String("/") ? destination : destination.chopped(1);
        if (FindOnPath(folder) == 0) {
            const Dialogs::Answer create = dialogs_.message(
                this, Dialogs::Icon::Question, tr("移動先フォルダが存在しません"),
                tr("異常書庫ファイルの移動先フォルダが存在しません。\n移動先フォルダを"
                   "作成して、続行しますか？"),
                Dialogs::Buttons::YesNo);
            if (create != Dialogs::Answer::Yes) {
                return;
            }
            if (!QDir().mkpath(destination) || FindOnPath(folder) == 0) {
                dialogs_.message(this, Dialogs::Icon::Critical, tr("エラー"),
                                 tr("移動先フォルダの作成に失敗しました。"), Dialogs::Buttons::Ok);
                return;
            }
        }
    }
    if (optActionDelete->isChecked() &&
        dialogs_.message(this, Dialogs::Icon::Question, tr("確認"),
                         tr("異常書庫ファイルに対して[直接削除する]の設定になっています。\n"
                            "この設定で削除されたファイルは復元できません。\n続行しますか？"),
                         Dialogs::Buttons::YesNo) != Dialogs::Answer::Yes) {
        return;
    }
    EnterBusyState();
    resetStatusPanels();
    setStatus(TotalPanel, QString::number(model_->size()));
    prgCount->setValue(0);
    runClock_.reset();
    tmrTimer->start(100);
    RunCheck();
}

void MainWindow::tmrTimer_Timer() {
    setStatus(TimePanel, runClock_.format());
}

void MainWindow::selectRow(int row) {
    lvwList->selectionModel()->setCurrentIndex(
        model_->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void MainWindow::applyJobs(int jobs) {
    jobs_ = jobs;
    for (QAction* choice : mnuOptionJobs->actions()) {
        choice->setChecked(choice->data().toInt() == jobs);
    }
}

int MainWindow::jobsForRun() const {
    return jobs_ > 0 ? jobs_ : AutomaticJobs();
}

void MainWindow::RunCheck() {
    // Formats, rules, action and destination are read once: their controls are locked.
    std::vector<ArchiveFormat> formats;
    for (const ArchiveFormat format : kAllFormats) {
        const QCheckBox* box = chkExt[static_cast<size_t>(format)];
        if (box->isChecked() && !box->text().contains(NotInstalledMark())) {
            formats.push_back(format);
        }
    }
    RunSettings settings;
    settings.libraries = EnabledLibraries(archivers_, formats);
    settings.rules = rulesForRun();
    settings.action = formInputs().action;
    settings.destination = QFile::encodeName(txtBadMove->text());
    settings.jobs = jobsForRun();
    settings.limits = runLimits_;
    settings.workerProgram = WorkerProgramPath();
    const int total = model_->size();
    setStatus(TotalPanel, QString::number(total));
    prgCount->setRange(0, std::max(total, 1));
    run_ = RunTally{};
    engine_ = new CheckEngine(RunFilesOf(model_->rows()), std::move(settings), this);
    connect(engine_, &CheckEngine::decided, this, &MainWindow::runRowDecided);
    connect(engine_, &CheckEngine::finished, this, &MainWindow::runFinished);
    engine_->start();
    refreshRunView();
    runView_->start(100);
}

// What the list shows while the files are tested: the oldest row still under test.
void MainWindow::refreshRunView() {
    showRunCounts();
    const bool listShown = !mnuOptionFastMode->isChecked();
    lvwList->setVisible(listShown);
    if (engine_ == nullptr) {
        return;
    }
    if (const std::optional<size_t> oldest = engine_->oldestUnderTest(); oldest && listShown) {
        selectRow(static_cast<int>(*oldest));
        lvwList->scrollTo(model_->index(static_cast<int>(*oldest), 0));
    }
    const int underTest = engine_->underTest();
    S_Wait->setVisible(engine_->stopping() && underTest > 0);
    S_Wait->setText(
        tr("検査中の %1 ﾌｧｲﾙの終了を待っています (もう一度[停止]で中断)").arg(underTest));
}

void MainWindow::runRowDecided(size_t index, const RowDecision& decision) {
    const int row = static_cast<int>(index);
    QStringList notes;
    // The libraries word their reasons in English only.
    if (!decision.outcome.reason.isEmpty()) {
        notes << decision.outcome.reason;
    }
    for (const TestFailure& failure : decision.failures) {
        notes << DescriptionInUse(failure);
    }
    if (decision.outcome.kind == OutcomeKind::Unreadable && decision.outcome.readError != 0) {
        notes << DescriptionInUse(RuntimeError{decision.outcome.readError, QString()});
    }
    model_->setVerdict(row, decision.outcome.verdict, notes.join(u'\n'));
    run_.lastRow = row;
    if (decision.disposalError) {
        return;  // the file that could not be disposed of is not counted
    }
    // A missing or unreadable file is counted in neither panel.
    if (decision.outcome.kind == OutcomeKind::Good) {
        ++run_.good;
    } else if (decision.outcome.kind == OutcomeKind::Bad) {
        ++run_.bad;
    }
    ++run_.processed;
}

// The counts reach the status bar with the clock's pace: thousands of tiny archives a second
// would otherwise repaint it for each.
void MainWindow::showRunCounts() {
    setStatus(GoodPanel, QString::number(run_.good));
    setStatus(BadPanel, QString::number(run_.bad));
    prgCount->setValue(run_.processed);
}

void MainWindow::runFinished(const MaybeError& error) {
    runView_->stop();
    showRunCounts();
    S_Wait->hide();
    engine_->deleteLater();
    engine_ = nullptr;
    if (error) {
        ShowRuntimeError(*error);
    } else if (run_.lastRow) {
        selectRow(*run_.lastRow);
    }
    tmrTimer->stop();
    setStatus(TimePanel, runClock_.format());
    LeaveBusyState();
}

}  // namespace varnelt
