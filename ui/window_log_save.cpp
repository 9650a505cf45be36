// Saving the list with its verdicts as a log.
#include <QFileInfo>

#include "base/paths.h"
#include "engine/log_file.h"
#include "engine/log_format.h"
#include "targets/target_list_model.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace varnelt {

namespace {

// Records are gathered and written in blocks of about this size.
constexpr qsizetype kWriteBlock = 1 << 16;

}  // namespace

QString MainWindow::chooseLogFile() {
    QString path = dialogs_.saveFile(this, tr("ファイルを保存"),
                                     {QStringLiteral("*.log (*.log)"), QStringLiteral("*.* (*)")});
    if (path.isEmpty()) {
        return path;
    }
    // The extension of the first filter is added unless the name already carries it.
    if (GetExtension(GetFileName(path, false)).toLower() != QLatin1String("log")) {
        path += QStringLiteral(".log");
    }
    // Asked here, about the final name, whether the extension was typed or added; replacing a
    // file is not done unless chosen.
    if (QFileInfo::exists(path) &&
        dialogs_.message(
            this, Dialogs::Icon::Question, tr("ファイルを保存"),
            tr("%1 は既に存在します。\n上書きしますか？").arg(GetFileName(path, false)),
            Dialogs::Buttons::YesNo, Dialogs::Answer::No) != Dialogs::Answer::Yes) {
        return {};
    }
    return path;
}

void MainWindow::mnuFileLogSave_Click() {
    if (model_->size() == 0) {
        dialogs_.message(this, Dialogs::Icon::Critical, tr("エラー"),
                         tr("保存するログがありません"), Dialogs::Buttons::Ok);
        return;
    }
    const QString path = chooseLogFile();
    if (path.isEmpty()) {
        return;
    }
    EnterBusyState();
    LogFile log = LogFile::Create(path.toUtf8());
    if (log.isOpen()) {
        QByteArray block = LogHeaderRecord();
        const int total = model_->size();
        lastPump_ = 0;
        for (int row = 0; row < total && log.error() == 0; ++row) {
            block += LogRecord(model_->row(row));
            if (block.size() >= kWriteBlock) {
                log.write(block);
                block.clear();
            }
            pumpWhileBusy();
            if (stopRequested_) {
                break;
            }
        }
        log.write(block);
    }
    if (log.close()) {
        const bool stopped = stopRequested_;
        dialogs_.message(
            this, Dialogs::Icon::None, stopped ? tr("停止") : tr("完了"),
            stopped ? tr("ログの保存中に停止ボタンが押されました") : tr("ログを保存しました"),
            Dialogs::Buttons::Ok);
    } else {
        ShowRuntimeError(RuntimeError{log.error(), path});
    }
    LeaveBusyState();
}

}  // namespace varnelt
