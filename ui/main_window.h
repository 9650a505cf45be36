// The main window: every control a run reads, the target list and the run controls. Controls
// carry their names as objectName, so tests and readers find them by it.
#pragma once

#include <QMainWindow>

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "base/runtime_error.h"
#include "checkers/archive_format.h"
#include "checkers/check_rules.h"
#include "engine/elapsed.h"
#include "engine/run_limits.h"
#include "targets/form_state.h"
#include "targets/registrar.h"
#include "targets/target_row.h"

class QAction;
class QCheckBox;
class QContextMenuEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QModelIndex;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableView;
class QTimer;

namespace varnelt {

class ArchiverSet;
class CheckEngine;
class Desktop;
class Dialogs;
struct RowDecision;
class TargetListModel;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(Dialogs& dialogs, Desktop& desktop, ArchiverSet& archivers,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    TargetListModel& targets() { return *model_; }
    bool busy() const { return busy_; }

    // Library detection: captions and enabled state of the nine format boxes.
    void DetectArchivers();
    // Rebuilds the automatic extension list, decides whether Start may be pressed and shows
    // the row total.
    void RefreshFormState();
    void EnterBusyState();
    void LeaveBusyState();
    void ShowRuntimeError(const RuntimeError& error);
    // The bounds of each test, as the settings file gives them.
    void setRunLimits(const RunLimits& limits) { runLimits_ = limits; }
    const RunLimits& runLimits() const { return runLimits_; }

    // Start-up: columns, prefixes, library detection, settings (or the defaults when
    // iniFilePath names no file), the paths of the command line.
    // The arguments are the bytes the system gave.
    void Form_Load(const QByteArrayList& arguments, const QString& iniFilePath);
    void LoadSettings();
    void SaveSettings();
    void mnuOptionIniDefault_Click();

    // Registration of a list of paths (the system's bytes) by the path dispatch rule; the
    // first path that does not exist is reported and ends the list.
    void RegisterPaths(const QByteArrayList& paths);
    // What the pickers answer: text, taken as UTF-8.
    void AddFolder(const QString& folder);
    void AddFile(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void connectHandlers();
    void layoutClient(int width, int height);

    // Event procedures.
    void cmdSelect_Click(int index);
    void cmdLogClear_Click(int index);
    void cmdStart_Click();
    void cmdStop_Click();
    void tmrTimer_Timer();
    void lvwList_ColumnClick(int column);
    void lvwList_DragDrop(const QByteArrayList& paths);
    void optFilter_Click();
    void chkBadNoFileSum_Click();
    void txtBadNoFileSum_Change();
    bool txtBadNoFileSum_KeyPress(const QString& typed);
    void txtBadMove_Delete();
    void txtBadMove_DragDrop(const QStringList& paths);
    void mnuViewDLL_Click();
    void mnuOptionFormTop_Click();
    void mnuOptionSettingHidden_Click();
    void mnuFileLogSave_Click();
    void mnuHelpAbout_Click();
    void mnuHelpHelp_Click();
    // The list's menu: at the mouse, or at the current row when asked by keyboard.
    void lvwList_ContextMenu(const QContextMenuEvent& request);
    void mnuListOpenFolder_Click();
    void mnuListCopyPath_Click();
    void lvwList_DblClick(const QModelIndex& index);

    // View options, applied from a click, the settings or the reset.
    void applyFormTop(bool onTop);
    void applySettingHidden(bool hidden);
    // The Save dialog's answer with ".log" added where it has another extension.
    QString chooseLogFile();

    // The check run.
    void RunCheck();
    CheckRules rulesForRun() const;
    int jobsForRun() const;
    void selectRow(int row);
    void refreshRunView();
    void showRunCounts();
    void runRowDecided(size_t row, const RowDecision& decision);
    void runFinished(const MaybeError& error);
    // The Option menu's choice of files tested at once; 0 is automatic.
    void applyJobs(int jobs);
    // The selected rows, top to bottom, from the selection's ranges.
    std::vector<int> selectedRows() const;
    // The row menu's entries follow the selection and the busy state.
    void refreshRowMenu();
    // Shows the rows' files in the file manager, or opens their folders.
    void openFolders(const std::vector<int>& rows);
    // The status bar's panels: each shows its prefix followed by its value.
    enum StatusPanel { GoodPanel, BadPanel, TotalPanel, TimePanel };
    void setStatus(StatusPanel panel, const QString& value);
    void resetStatusPanels();
    // Long loops let the window answer at most every few milliseconds; true when it is time.
    bool pumpDue();
    void pumpWhileBusy();

    // Registration helpers.
    Registrar makeRegistrar();
    void registerWith(const std::function<void()>& work);
    void flushPendingRows();
    void pump();
    FormInputs formInputs() const;
    std::optional<ExtensionFilter> currentFilter() const;

    Dialogs& dialogs_;
    Desktop& desktop_;
    ArchiverSet& archivers_;
    TargetListModel* model_ = nullptr;

    bool busy_ = false;
    bool stopRequested_ = false;
    bool sortDescending_ = true;  // each header click flips it before sorting
    int sortColumn_ = -1;         // the column the rows were last sorted by; none yet
    QString iniFilePath_;
    ElapsedClock runClock_;
    CheckEngine* engine_ = nullptr;  // while a run is under way
    struct RunTally {
        int good = 0;
        int bad = 0;
        int processed = 0;
        std::optional<int> lastRow;
    };
    RunTally run_;
    RunLimits runLimits_;
    int jobs_ = 0;
    std::vector<TargetRow> pendingRows_;
    qint64 lastPump_ = 0;

    // Controls, named as the objectName they carry.
    QWidget* client = nullptr;
    QWidget* fraAllSetting = nullptr;
    QGroupBox* fraCheckedArchiver = nullptr;
    QGroupBox* fraIzyoTeigi = nullptr;
    QGroupBox* fraExtFilter = nullptr;
    QGroupBox* fraIzyoSyori = nullptr;
    std::array<QCheckBox*, kFormatCount> chkExt{};
    QCheckBox* chkBadFile = nullptr;
    QCheckBox* chkBadNoExt = nullptr;
    QCheckBox* chkBadNoFileSum = nullptr;
    QLineEdit* txtBadNoFileSum = nullptr;
    QLabel* Label2 = nullptr;
    QCheckBox* chkBadNoFileName = nullptr;
    QCheckBox* chkBadNoPassword = nullptr;
    QRadioButton* optFilterOff = nullptr;
    QRadioButton* optFilterOnManual = nullptr;
    QRadioButton* optFilterOnAuto = nullptr;
    QLineEdit* txtFilterExt = nullptr;
    QRadioButton* optActionNothing = nullptr;
    QRadioButton* optActionMove = nullptr;
    QRadioButton* optActionDeleteInBox = nullptr;
    QRadioButton* optActionDelete = nullptr;
    QLineEdit* txtBadMove = nullptr;
    std::array<QPushButton*, 3> cmdSelect{};
    std::array<QPushButton*, 2> cmdLogClear{};
    QCheckBox* chkSubFolderAdd = nullptr;
    QTableView* lvwList = nullptr;
    QPushButton* cmdStart = nullptr;
    QPushButton* cmdStop = nullptr;
    QProgressBar* prgCount = nullptr;
    QWidget* sbrCount = nullptr;
    std::array<QLabel*, 4> statusPanels{};  // S_Good, S_Bad, S_Total, S_Time
    QTimer* tmrTimer = nullptr;
    QTimer* runView_ = nullptr;  // keeps the list on the file under test
    QLabel* S_Wait = nullptr;    // after Stop: the files still under test

    QMenu* mnuFile = nullptr;
    QAction* mnuFileLogSave = nullptr;
    QAction* mnuFileEnd = nullptr;
    QMenu* mnuView = nullptr;
    QAction* mnuViewDLL = nullptr;
    QMenu* mnuOption = nullptr;
    QAction* mnuOptionFastMode = nullptr;
    QAction* mnuOptionFormTop = nullptr;
    QAction* mnuOptionSettingHidden = nullptr;
    QMenu* mnuOptionJobs = nullptr;
    QAction* mnuOptionIniDefault = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpHelp = nullptr;
    QAction* mnuHelpAbout = nullptr;
    QMenu* mnuList = nullptr;
    QAction* mnuListOpenFolder = nullptr;
    QAction* mnuListCopyPath = nullptr;
    QAction* mnuListDelete = nullptr;
};

}  // namespace varnelt
