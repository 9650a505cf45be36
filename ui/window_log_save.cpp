// Saving the list with its verdicts as a log.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>

#include "base/paths.h"
#include "engine/log_format.h"
#include "targets/target_list_model.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace varnelt {

namespace {

// Records are gathered and written in blocks of about this size.
constexpr qsizetype kWriteBlock = 1 << 16;

// A log file written through its descriptor, so that a failure carries the system's number.
class LogWriter {
public:
    explicit LogWriter(const QString& path) : path_(path) {
        fd_ = ::open(path.toUtf8().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            error_ = RuntimeError{errno, path};
        }
    }
    ~LogWriter() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    const MaybeError& error() const { return error_; }
    void add(const QByteArray& record) {
        pending_ += record;
        if (pending_.size() >= kWriteBlock) {
            flush();
        }
    }
    // Writes what is pending and closes the file; false on any failure.
    bool finish() {
        flush();
        if (fd_ >= 0 && ::close(fd_) != 0 && !error_) {
            error_ = RuntimeError{errno, path_};
        }
        fd_ = -1;
        return !error_;
    }

private:
    void flush() {
        for (qsizetype written = 0; !error_ && written < pending_.size();) {
            const ssize_t put = ::write(fd_, pending_.constData() + written,
                                        static_cast<size_t>(pending_.size() - written));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put < 0) {
                error_ = RuntimeError{errno, path_};
            } else {
                written += put;
            }
        }
        pending_.clear();
    }

    QString path_;
    int fd_ = -1;
    QByteArray pending_;
    MaybeError error_;
};

}  // namespace

QString MainWindow::chooseLogFile() {
    QString path = dialogs_.saveFile(this, QStringLiteral("ファイルを保存"),
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
            this, Dialogs::Icon::Question, QStringLiteral("ファイルを保存"),
            QStringLiteral("%1 は既に存在します。\n上書きしますか？").arg(GetFileName(path, false)),
            Dialogs::Buttons::YesNo, Dialogs::Answer::No) != Dialogs::Answer::Yes) {
        return {};
    }
    return path;
}

void MainWindow::mnuFileLogSave_Click() {
    if (model_->size() == 0) {
        dialogs_.message(this, Dialogs::Icon::Critical, QStringLiteral("エラー"),
                         QStringLiteral("保存するログがありません"), Dialogs::Buttons::Ok);
        return;
    }
    const QString path = chooseLogFile();
    if (path.isEmpty()) {
        return;
    }
    EnterBusyState();
    LogWriter log(path);
    if (!log.error()) {
        log.add(LogHeaderRecord());
        const int total = model_->size();
        lastPump_ = 0;
        for (int row = 0; row < total && !log.error(); ++row) {
            log.add(LogRecord(model_->row(row)));
            pumpWhileBusy();
            if (stopRequested_) {
                break;
            }
        }
    }
    if (log.finish()) {
        const bool stopped = stopRequested_;
        dialogs_.message(this, Dialogs::Icon::None,
                         stopped ? QStringLiteral("停止") : QStringLiteral("完了"),
                         stopped ? QStringLiteral("ログの保存中に停止ボタンが押されました")
                                 : QStringLiteral("ログを保存しました"),
                         Dialogs::Buttons::Ok);
    } else {
        ShowRuntimeError(*log.error());
    }
    LeaveBusyState();
}

}  // namespace varnelt
