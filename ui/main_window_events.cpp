// Which control event runs which procedure.
#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>
#include <QUrl>

#include "base/file_urls.h"
#include "ui/main_window.h"

namespace varnelt {

namespace {

// The local files a drop carries, or none when it holds no file list.
QList<QUrl> droppedFiles(const QMimeData* data) {
    QList<QUrl> files;
    if (data == nullptr || !data->hasUrls()) {
        return files;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            files << url;
        }
    }
    return files;
}

// The paths as the system's bytes, which keep a name that is not UTF-8 whole where a decoded
// text could not.
QByteArrayList nativePaths(const QList<QUrl>& files) {
    QByteArrayList paths;
    for (const QUrl& url : files) {
        paths << NativePathOf(url);
    }
    return paths;
}

// The paths as text, for the destination, which is kept as text.
QStringList textPaths(const QList<QUrl>& files) {
    QStringList paths;
    for (const QUrl& url : files) {
        paths << url.toLocalFile();
    }
    return paths;
}

}  // namespace

void MainWindow::connectHandlers() {
    // Filters go on once every control exists: they look at all of them.
    for (QObject* watched : {static_cast<QObject*>(client), static_cast<QObject*>(txtBadNoFileSum),
                             static_cast<QObject*>(txtBadMove), static_cast<QObject*>(lvwList),
                             static_cast<QObject*>(lvwList->viewport())}) {
        watched->installEventFilter(this);
    }
    for (int i = 0; i < 3; ++i) {
        connect(cmdSelect[static_cast<size_t>(i)], &QPushButton::clicked, this,
                [this, i] { cmdSelect_Click(i); });
    }
    for (int i = 0; i < 2; ++i) {
        connect(cmdLogClear[static_cast<size_t>(i)], &QPushButton::clicked, this,
                [this, i] { cmdLogClear_Click(i); });
    }
    connect(cmdStart, &QPushButton::clicked, this, &MainWindow::cmdStart_Click);
    connect(cmdStop, &QPushButton::clicked, this, &MainWindow::cmdStop_Click);
    connect(tmrTimer, &QTimer::timeout, this, &MainWindow::tmrTimer_Timer);
    connect(runView_, &QTimer::timeout, this, &MainWindow::refreshRunView);
    for (QAction* choice : mnuOptionJobs->actions()) {
        connect(choice, &QAction::triggered, this,
                [this, choice] { applyJobs(choice->data().toInt()); });
    }
    connect(lvwList->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &MainWindow::lvwList_ColumnClick);
    connect(lvwList, &QAbstractItemView::doubleClicked, this, &MainWindow::lvwList_DblClick);
    connect(mnuListOpenFolder, &QAction::triggered, this, &MainWindow::mnuListOpenFolder_Click);
    connect(mnuListCopyPath, &QAction::triggered, this, &MainWindow::mnuListCopyPath_Click);
    connect(mnuListDelete, &QAction::triggered, this, [this] { cmdLogClear_Click(1); });

    // Every format, rule and action box ends in a refresh; the count box does more first.
    for (QCheckBox* box : chkExt) {
        connect(box, &QCheckBox::toggled, this, &MainWindow::RefreshFormState);
    }
    for (QCheckBox* box : {chkBadFile, chkBadNoExt, chkBadNoFileName, chkBadNoPassword}) {
        connect(box, &QCheckBox::toggled, this, &MainWindow::RefreshFormState);
    }
    connect(chkBadNoFileSum, &QCheckBox::toggled, this, &MainWindow::chkBadNoFileSum_Click);
    for (QRadioButton* option :
         {optActionNothing, optActionMove, optActionDeleteInBox, optActionDelete}) {
        connect(option, &QRadioButton::toggled, this, [this](bool on) {
            if (on) {
                RefreshFormState();
            }
        });
    }
    for (QRadioButton* option : {optFilterOff, optFilterOnManual, optFilterOnAuto}) {
        connect(option, &QRadioButton::toggled, this, [this](bool on) {
            if (on) {
                optFilter_Click();
            }
        });
    }
    connect(txtFilterExt, &QLineEdit::textChanged, this, &MainWindow::RefreshFormState);
    connect(txtBadNoFileSum, &QLineEdit::textChanged, this, &MainWindow::txtBadNoFileSum_Change);

    connect(mnuViewDLL, &QAction::triggered, this, &MainWindow::mnuViewDLL_Click);
    connect(mnuFileLogSave, &QAction::triggered, this, &MainWindow::mnuFileLogSave_Click);
    connect(mnuOptionFormTop, &QAction::triggered, this, &MainWindow::mnuOptionFormTop_Click);
    connect(mnuOptionSettingHidden, &QAction::triggered, this,
            &MainWindow::mnuOptionSettingHidden_Click);
    connect(mnuOptionIniDefault, &QAction::triggered, this, &MainWindow::mnuOptionIniDefault_Click);
    connect(mnuHelpHelp, &QAction::triggered, this, &MainWindow::mnuHelpHelp_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &MainWindow::mnuHelpAbout_Click);
    connect(mnuFileEnd, &QAction::triggered, this, &QWidget::close);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == client && type == QEvent::Resize) {
        layoutClient(client->width(), client->height());
        return false;
    }
    const bool dropTarget = watched == lvwList->viewport() || watched == txtBadMove;
    if (dropTarget && (type == QEvent::DragEnter || type == QEvent::DragMove)) {
        auto* drag = static_cast<QDropEvent*>(event);
        if (droppedFiles(drag->mimeData()).isEmpty()) {
            drag->ignore();
        } else {
            drag->acceptProposedAction();
        }
        return true;
    }
    if (dropTarget && type == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QList<QUrl> files = droppedFiles(drop->mimeData());
        drop->acceptProposedAction();
        if (watched == txtBadMove) {
            txtBadMove_DragDrop(textPaths(files));
        } else {
            lvwList_DragDrop(nativePaths(files));
        }
        return true;
    }
    // The Menu key arrives from the desktop as a request by keyboard; Shift+F10 asks the same.
    if (type == QEvent::ContextMenu && (watched == lvwList || watched == lvwList->viewport())) {
        lvwList_ContextMenu(*static_cast<QContextMenuEvent*>(event));
        return true;
    }
    if (type == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == lvwList && key->key() == Qt::Key_Delete) {
            cmdLogClear_Click(1);
            return true;
        }
        if (watched == lvwList && key->key() == Qt::Key_F10 &&
            key->modifiers() == Qt::ShiftModifier) {
            lvwList_ContextMenu(QContextMenuEvent(QContextMenuEvent::Keyboard, QPoint(), QPoint()));
            return true;
        }
        if (watched == txtBadMove && key->key() == Qt::Key_Delete) {
            txtBadMove_Delete();
            return true;
        }
        if (watched == txtBadNoFileSum) {
            return !txtBadNoFileSum_KeyPress(key->text());
        }
    }
    if (watched == txtBadMove && type == QEvent::ToolTip) {
        // A long destination can be read in full from its tooltip.
        txtBadMove->setToolTip(txtBadMove->text().isEmpty()
                                   ? tr("フォルダをここへドラッグ＆ドロップで登録が可能です")
                                   : txtBadMove->text());
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace varnelt
