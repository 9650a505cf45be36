#include "ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>

#include <algorithm>

#include "checkers/archiver_set.h"
#include "checkers/verdicts.h"
#include "settings/setting_values.h"
#include "targets/target_list_model.h"
#include "ui/dialogs.h"
#include "ui/target_list_view.h"
#include "ui/text_fit.h"
#include "ui/twips.h"

namespace varnelt {

namespace {

template <typename Widget>
Widget* place(QWidget* parent, const char* name, const QRect& twipsRect, const QString& text = {}) {
    auto* widget = new Widget(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(FromTwips(twipsRect));
    if constexpr (requires { widget->setText(text); }) {
        if (!text.isEmpty()) {
            widget->setText(text);
        }
    }
    return widget;
}

QGroupBox* frame(QWidget* parent, const char* name, const QString& title, const QRect& twipsRect) {
    auto* box = place<QGroupBox>(parent, name, twipsRect);
    box->setTitle(title);
    return box;
}

QAction* menuItem(QMenu* menu, const char* name, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QLatin1String(name));
    return action;
}

// The format boxes in their places: two columns inside their frame.
struct FormatBoxPlace {
    ArchiveFormat format;
    const char* name;
    int left;
    int top;
};
constexpr FormatBoxPlace kFormatBoxes[] = {
    {ArchiveFormat::LZH, "chkExtLHA", 120, 240},      {ArchiveFormat::CAB, "chkExtCAB", 120, 480},
    {ArchiveFormat::RAR, "chkExtRAR", 120, 720},      {ArchiveFormat::GCA, "chkExtGCA", 120, 960},
    {ArchiveFormat::BGA, "chkExtBGA", 120, 1200},     {ArchiveFormat::ZIP, "chkExtZIP", 2880, 240},
    {ArchiveFormat::SevenZip, "chkExt7z", 2880, 480}, {ArchiveFormat::TAR, "chkExtTAR", 2880, 720},
    {ArchiveFormat::YZ1, "chkExtYZ1", 2880, 960},
};

}  // namespace

MainWindow::MainWindow(Dialogs& dialogs, Desktop& desktop, ArchiverSet& archivers, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      desktop_(desktop),
      archivers_(archivers),
      model_(new TargetListModel(this)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Varnelt"));
    // The design positions assume a 9-point Japanese user-interface font.
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(12);
    setFont(font);
    buildControls();
    buildMenus();
    connectHandlers();
    applyJobs(0);
    client->setMinimumSize(FromTwips(QSize(kMinimumClientWidth, kMinimumClientHeight)));
    resize(FromTwips(QSize(kMinimumClientWidth, kMinimumClientHeight)) +
           QSize(0, menuBar()->sizeHint().height()));
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls() {
    client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    // An etched line under the menu bar.
    auto* etch = new QFrame(client);
    etch->setObjectName(QStringLiteral("etchedLine"));
    etch->setFrameShape(QFrame::HLine);
    etch->setFrameShadow(QFrame::Sunken);
    etch->setGeometry(0, 0, 10000, 2);

    fraAllSetting = place<QWidget>(client, "fraAllSetting", {0, 120, 10695, 5535});
    fraCheckedArchiver = frame(fraAllSetting, "fraCheckedArchiver", tr("検査対象書庫ファイル"),
                               {120, 0, 5655, 1575});
    fraIzyoTeigi =
        frame(fraAllSetting, "fraIzyoTeigi", tr("異常書庫ファイルの定義"), {5880, 0, 4695, 1575});
    fraExtFilter =
        frame(fraAllSetting, "fraExtFilter", tr("検査対象拡張子フィルタ"), {120, 1680, 5655, 975});
    fraIzyoSyori = frame(fraAllSetting, "fraIzyoSyori", tr("異常書庫ファイルに対しての処理"),
                         {5880, 1680, 4695, 975});

    // The captions are padded so that they line up in a fixed-pitch font.
    QFont fixed(QStringLiteral("IPAGothic"));
    fixed.setPixelSize(12);
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    for (const FormatBoxPlace& box : kFormatBoxes) {
        QCheckBox* check =
            place<QCheckBox>(fraCheckedArchiver, box.name, {box.left, box.top, 2655, 255});
        check->setFont(fixed);
        chkExt[static_cast<size_t>(box.format)] = check;
    }

    chkBadFile = place<QCheckBox>(fraIzyoTeigi, "chkBadFile", {120, 240, 3615, 255},
                                  VerdictInUse(kBadFileCaption));
    chkBadNoExt = place<QCheckBox>(fraIzyoTeigi, "chkBadNoExt", {120, 480, 2895, 255},
                                   VerdictInUse(kBadNoExtCaption));
    chkBadNoFileSum = place<QCheckBox>(fraIzyoTeigi, "chkBadNoFileSum", {120, 720, 375, 255},
                                       VerdictInUse(kBadNoFileSumCaption));
    txtBadNoFileSum = place<QLineEdit>(fraIzyoTeigi, "txtBadNoFileSum", {360, 720, 640, 270},
                                       QStringLiteral("2"));
    txtBadNoFileSum->setMaxLength(6);
    txtBadNoFileSum->setToolTip(tr("2～999999までの値を入力して下さい"));
    Label2 = place<QLabel>(fraIzyoTeigi, "Label2", {1110, 750, 2775, 255},
                           tr("つ以上の格納ﾌｧｲﾙを持つ書庫ﾌｧｲﾙ"));
    // As many digits as the box takes show whole in the font in use; the label keeps its
    // distance after the box.
    const QRect field = txtBadNoFileSum->geometry();
    const int gap = Label2->x() - (field.left() + field.width());
    const QString widestThreshold = WithWidestDigits(QString(txtBadNoFileSum->maxLength(), u'0'),
                                                     txtBadNoFileSum->fontMetrics());
    txtBadNoFileSum->resize(
        std::max(field.width(), LineEditWidthFor(*txtBadNoFileSum, widestThreshold)),
        field.height());
    Label2->move(std::max(Label2->x(), txtBadNoFileSum->geometry().right() + 1 + gap), Label2->y());
    chkBadNoFileName = place<QCheckBox>(fraIzyoTeigi, "chkBadNoFileName", {360, 960, 4095, 255},
                                        VerdictInUse(kBadNoFileNameCaption));
    chkBadNoPassword = place<QCheckBox>(fraIzyoTeigi, "chkBadNoPassword", {120, 1200, 4335, 255},
                                        VerdictInUse(kBadNoPasswordCaption));
    chkBadFile->setChecked(true);
    txtBadNoFileSum->setEnabled(false);
    chkBadNoFileName->setEnabled(false);

    optFilterOff =
        place<QRadioButton>(fraExtFilter, "optFilterOff", {120, 240, 1095, 255}, tr("使わない"));
    optFilterOnManual = place<QRadioButton>(fraExtFilter, "optFilterOnManual",
                                            {1320, 240, 1575, 255}, tr("使う(手動追加)"));
    optFilterOnAuto = place<QRadioButton>(fraExtFilter, "optFilterOnAuto", {3000, 240, 1575, 255},
                                          tr("使う（自動追加）"));
    optFilterOff->setChecked(true);
    txtFilterExt = place<QLineEdit>(fraExtFilter, "txtFilterExt", {120, 600, 5415, 270});
    txtFilterExt->setToolTip(tr(";(ｾﾐｺﾛﾝ)区切りで複数の拡張子が指定可能(例 exe;lzh)"));
    txtFilterExt->setEnabled(false);

    optActionNothing = place<QRadioButton>(fraIzyoSyori, "optActionNothing", {120, 240, 1095, 255},
                                           tr("何もしない"));
    optActionDeleteInBox = place<QRadioButton>(fraIzyoSyori, "optActionDeleteInBox",
                                               {1320, 240, 1575, 255}, tr("ごみ箱へ捨てる"));
    optActionDelete = place<QRadioButton>(fraIzyoSyori, "optActionDelete", {3000, 240, 1455, 255},
                                          tr("直接削除する"));
    optActionMove =
        place<QRadioButton>(fraIzyoSyori, "optActionMove", {120, 600, 1095, 255}, tr("移動する"));
    optActionNothing->setChecked(true);
    txtBadMove = place<QLineEdit>(fraIzyoSyori, "txtBadMove", {1320, 600, 2895, 270});
    txtBadMove->setReadOnly(true);
    txtBadMove->setToolTip(tr("フォルダをここへドラッグ＆ドロップで登録が可能です"));
    txtBadMove->setAcceptDrops(true);
    cmdSelect[2] = place<QPushButton>(fraIzyoSyori, "cmdSelect_2", {4200, 600, 375, 300});
    cmdSelect[2]->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    cmdSelect[2]->setToolTip(tr("フォルダ選択"));

    lvwList = new TargetListView(model_, fraAllSetting);
    lvwList->setObjectName(QStringLiteral("lvwList"));
    lvwList->setGeometry(FromTwips(QRect(120, 2760, 10455, 2295)));
    lvwList->setAcceptDrops(true);
    lvwList->viewport()->setAcceptDrops(true);

    cmdLogClear[0] =
        place<QPushButton>(fraAllSetting, "cmdLogClear_0", {120, 5160, 975, 375}, tr("全クリア"));
    cmdLogClear[1] =
        place<QPushButton>(fraAllSetting, "cmdLogClear_1", {1095, 5160, 975, 375}, tr("クリア"));
    cmdSelect[0] = place<QPushButton>(fraAllSetting, "cmdSelect_0", {2175, 5160, 1695, 375},
                                      tr("検査ファイル登録"));
    cmdSelect[0]->setToolTip(tr("ファイル選択"));
    cmdSelect[1] = place<QPushButton>(fraAllSetting, "cmdSelect_1", {3870, 5160, 1695, 375},
                                      tr("検査フォルダ登録"));
    cmdSelect[1]->setToolTip(tr("フォルダ選択"));
    chkSubFolderAdd = place<QCheckBox>(fraAllSetting, "chkSubFolderAdd", {5685, 5160, 2775, 345},
                                       tr("サブフォルダも検査対象とする"));

    cmdStart = place<QPushButton>(client, "cmdStart", {8625, 5280, 975, 375}, tr("実行(&S)"));
    cmdStop = place<QPushButton>(client, "cmdStop", {9600, 5280, 975, 375}, tr("停止(&S)"));
    cmdStart->setEnabled(false);
    cmdStop->setEnabled(false);
    prgCount = place<QProgressBar>(client, "prgCount", {0, 5760, 10695, 135});
    prgCount->setTextVisible(false);
    prgCount->setRange(0, 1);
    prgCount->setValue(0);

    auto* statusBar = place<QStatusBar>(client, "sbrCount", {0, 5910, 10695, 300});
    sbrCount = statusBar;
    const char* const panelKeys[] = {"S_Good", "S_Bad", "S_Total", "S_Time"};
    for (size_t i = 0; i < statusPanels.size(); ++i) {
        auto* panel = new QLabel(statusBar);
        panel->setObjectName(QLatin1String(panelKeys[i]));
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setMinimumWidth(FromTwips(2000));
        statusBar->addWidget(panel, i == 3 ? 1 : 0);
        statusPanels[i] = panel;
    }

    S_Wait = new QLabel(statusBar);
    S_Wait->setObjectName(QStringLiteral("S_Wait"));
    S_Wait->hide();
    statusBar->addPermanentWidget(S_Wait);

    resetStatusPanels();

    tmrTimer = new QTimer(this);
    tmrTimer->setObjectName(QStringLiteral("tmrTimer"));
    runView_ = new QTimer(this);
}

void MainWindow::setStatus(StatusPanel panel, const QString& value) {
    static const char* const kPrefixes[] = {QT_TR_NOOP("正常書庫 "), QT_TR_NOOP("異常書庫 "),
                                            QT_TR_NOOP("検査総数 "), QT_TR_NOOP("検査時間 ")};
    statusPanels[static_cast<size_t>(panel)]->setText(tr(kPrefixes[panel]) + value);
}

void MainWindow::resetStatusPanels() {
    setStatus(GoodPanel, QStringLiteral("0"));
    setStatus(BadPanel, QStringLiteral("0"));
    setStatus(TotalPanel, QStringLiteral("0"));
    setStatus(TimePanel, QStringLiteral("00:00:00"));
}

void MainWindow::buildMenus() {
    mnuFile = menuBar()->addMenu(tr("ファイル(&F)"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileLogSave = menuItem(mnuFile, "mnuFileLogSave", tr("名前をつけてログの保存(&A)"));
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuFileLine"));
    mnuFileEnd = menuItem(mnuFile, "mnuFileEnd", tr("終了(&X)"));

    mnuView = menuBar()->addMenu(tr("表示(&V)"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    mnuViewDLL = menuItem(mnuView, "mnuViewDLL", tr("DLLを最新の状態に更新する(&D)"));

    mnuOption = menuBar()->addMenu(tr("オプション(&O)"));
    mnuOption->setObjectName(QStringLiteral("mnuOption"));
    mnuOptionFastMode =
        menuItem(mnuOption, "mnuOptionFastMode", tr("処理中はログを非表示にする(高速化)"));
    mnuOption->addSeparator()->setObjectName(QStringLiteral("mnuOptionLine1"));
    mnuOptionFormTop = menuItem(mnuOption, "mnuOptionFormTop", tr("最前面に表示する(&T)"));
    mnuOption->addSeparator()->setObjectName(QStringLiteral("mnuOptionLine2"));
    mnuOptionSettingHidden =
        menuItem(mnuOption, "mnuOptionSettingHidden", tr("設定を非表示にする(&H)"));
    mnuOption->addSeparator()->setObjectName(QStringLiteral("mnuOptionLine3"));
    mnuOptionJobs = mnuOption->addMenu(tr("同時に検査する数(&J)"));
    mnuOptionJobs->setObjectName(QStringLiteral("mnuOptionJobs"));
    auto* jobChoices = new QActionGroup(mnuOptionJobs);
    for (const int jobs : kJobChoices) {
        QAction* choice = menuItem(
            mnuOptionJobs, QStringLiteral("mnuOptionJobs_%1").arg(jobs).toLatin1().constData(),
            jobs == 0 ? tr("自動(&A)") : QString::number(jobs));
        choice->setCheckable(true);
        choice->setData(jobs);
        jobChoices->addAction(choice);
    }
    mnuOption->addSeparator()->setObjectName(QStringLiteral("mnuOptionLine4"));
    mnuOptionIniDefault = menuItem(mnuOption, "mnuOptionIniDefault", tr("設定を初期化する(&D)"));
    for (QAction* item : {mnuOptionFastMode, mnuOptionFormTop, mnuOptionSettingHidden}) {
        item->setCheckable(true);
    }

    mnuHelp = menuBar()->addMenu(tr("ヘルプ(&H)"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpHelp = menuItem(mnuHelp, "mnuHelpHelp", tr("ヘルプ(&H)"));
    mnuHelpHelp->setShortcut(QKeySequence(Qt::Key_F1));
    mnuHelpHelp->setShortcutContext(Qt::ApplicationShortcut);
    mnuHelp->addSeparator()->setObjectName(QStringLiteral("mnuHelpLine"));
    mnuHelpAbout = menuItem(mnuHelp, "mnuHelpAbout", tr("バージョン情報(&A)"));

    // The list's own menu, on its rows.
    mnuList = new QMenu(this);
    mnuList->setObjectName(QStringLiteral("mnuList"));
    mnuListOpenFolder = menuItem(mnuList, "mnuListOpenFolder", tr("フォルダを開く"));
    mnuListCopyPath = menuItem(mnuList, "mnuListCopyPath", tr("パスをコピー"));
    mnuList->addSeparator()->setObjectName(QStringLiteral("mnuListLine"));
    mnuListDelete = menuItem(mnuList, "mnuListDelete", tr("選択した行を削除"));
}

void MainWindow::layoutClient(int width, int height) {
    // Twips throughout, as the design positions are given.
    const int w = width * kTwipsPerPixel;
    const int h = height * kTwipsPerPixel;
    const QRect settings = ToTwips(fraAllSetting->geometry());
    fraAllSetting->setGeometry(FromTwips(QRect(settings.left(), settings.top(), w, h - 675)));
    const QRect list = ToTwips(lvwList->geometry());
    const int frameWidth = w;
    const int frameHeight = h - 675;
    const QRect newList(list.left(), list.top(), frameWidth - 2 * list.left(),
                        frameHeight - (list.top() + 480));
    lvwList->setGeometry(FromTwips(newList));
    const int rowTop = newList.top() + newList.height() + 105;
    for (QWidget* widget : std::initializer_list<QWidget*>{
             cmdLogClear[0], cmdLogClear[1], cmdSelect[0], cmdSelect[1], chkSubFolderAdd}) {
        const QRect place = ToTwips(widget->geometry());
        widget->setGeometry(FromTwips(QRect(place.left(), rowTop, place.width(), place.height())));
    }
    const QRect start = ToTwips(cmdStart->geometry());
    const QRect startPlace(frameWidth - (list.left() + 2 * start.width()), settings.top() + rowTop,
                           start.width(), start.height());
    cmdStart->setGeometry(FromTwips(startPlace));
    const QRect stop = ToTwips(cmdStop->geometry());
    cmdStop->setGeometry(FromTwips(QRect(frameWidth - (list.left() + stop.width()),
                                         startPlace.top(), stop.width(), stop.height())));
    const QRect progress = ToTwips(prgCount->geometry());
    prgCount->setGeometry(
        FromTwips(QRect(progress.left(), startPlace.top() + startPlace.height() + 105,
                        frameWidth - 2 * progress.left(), progress.height())));
    const QRect status = ToTwips(sbrCount->geometry());
    sbrCount->setGeometry(FromTwips(QRect(0, h - status.height(), w, status.height())));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A running check, registration or save cannot be walked away from.
    if (busy_) {
        event->ignore();
        return;
    }
    // A minimised window is restored first, so that its normal place is what is kept.
    if (isMinimized()) {
        showNormal();
    }
    SaveSettings();
    event->accept();
}

}  // namespace varnelt
