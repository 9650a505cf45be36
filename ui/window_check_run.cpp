// The check run: Start's confirmations, the walk over the list, and the clock.
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>

#include "base/paths.h"
#include "checkers/archiver_set.h"
#include "engine/disposal.h"
#include "engine/parallel_check.h"
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
        dialogs_.message(this, Dialogs::Icon::Critical, QStringLiteral("エラー"),
                         QStringLiteral("検査するファイルが登録されていません。"),
                         Dialogs::Buttons::Ok);
        return;
    }
    if (optActionMove->isChecked()) {
        const QString destination = txtBadMove->text();
        // The root is tested as it is, any other folder without its trailing "/".
        const QString folder =
            destination == QLatin1String("/") ? destination : destination.chopped(1);
        if (FindOnPath(folder) == 0) {
            const Dialogs::Answer create = dialogs_.message(
                this, Dialogs::Icon::Question, QStringLiteral("移動先フォルダが存在しません"),
                QStringLiteral("異常書庫ファイルの移動先フォルダが存在しません。\n移動先フォルダを"
                               "作成して、続行しますか？"),
                Dialogs::Buttons::YesNo);
            if (create != Dialogs::Answer::Yes) {
                return;
            }
            if (!QDir().mkpath(destination) || FindOnPath(folder) == 0) {
                dialogs_.message(this, Dialogs::Icon::Critical, QStringLiteral("エラー"),
                                 QStringLiteral("移動先フォルダの作成に失敗しました。"),
                                 Dialogs::Buttons::Ok);
                return;
            }
        }
    }
    if (optActionDelete->isChecked() &&
        dialogs_.message(
            this, Dialogs::Icon::Question, QStringLiteral("確認"),
            QStringLiteral("異常書庫ファイルに対して[直接削除する]の設定になっています。\n"
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
    tmrTimer->stop();
    setStatus(TimePanel, runClock_.format());
    LeaveBusyState();
}

void MainWindow::tmrTimer_Timer() {
    setStatus(TimePanel, runClock_.format());
}

void MainWindow::selectRow(int row) {
    lvwList->selectionModel()->setCurrentIndex(
        model_->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void MainWindow::pumpDuringRun() {
    if (pumpDue()) {
        QCoreApplication::processEvents();
    }
}

void MainWindow::RunCheck() {
    // Formats, rules, action and destination are read once: their controls are locked.
    std::vector<ArchiveFormat> formats;
    for (const ArchiveFormat format : kAllFormats) {
        const QCheckBox* box = chkExt[static_cast<size_t>(format)];
        if (box->isChecked() && !box->text().contains(kNotInstalledMark)) {
            formats.push_back(format);
        }
    }
    const CheckRules rules = rulesForRun();
    const std::vector<ArchiveChecker> checkers = archivers_.checkersFor(formats, rules);
    const DisposalAction action = formInputs().action;
    const QString destination = txtBadMove->text();
    const int total = model_->size();
    setStatus(TotalPanel, QString::number(total));
    prgCount->setRange(0, std::max(total, 1));
    int good = 0;
    int bad = 0;
    int row = 0;
    lastPump_ = 0;
    MaybeError error;
    for (; row < total; ++row) {
        const bool listShown = !mnuOptionFastMode->isChecked();
        lvwList->setVisible(listShown);
        const TargetRow target = model_->row(row);
        // A hidden list is neither repainted nor scrolled; the last row is selected at the end.
        if (listShown) {
            selectRow(row);
        }
        pumpDuringRun();
        if (listShown) {
            lvwList->scrollTo(model_->index(row, 0));
        }
        const FileOutcome outcome = DecideRow(target, checkers);
        model_->setVerdict(row, outcome.verdict);
        // A missing or unreadable file is counted in neither panel and never disposed of.
        if (outcome.kind == OutcomeKind::Good) {
            setStatus(GoodPanel, QString::number(++good));
        } else if (outcome.kind == OutcomeKind::Bad) {
            error = DisposeOf(action, target.nativeFolder, target.nativeName, destination,
                              [this] { pumpDuringRun(); });
            if (error) {
                break;  // the failing file is not counted
            }
            setStatus(BadPanel, QString::number(++bad));
        }
        prgCount->setValue(row + 1);
        pumpDuringRun();
        if (stopRequested_) {
            break;
        }
    }
    if (error) {
        ShowRuntimeError(*error);
        return;
    }
    if (total > 0) {
        selectRow(std::min(row, total - 1));
    }
}

}  // namespace varnelt
