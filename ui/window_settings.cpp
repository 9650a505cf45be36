// The settings file: read once at start-up, written once when the window closes, and the
// defaults that a first start and the reset apply.
#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>

#include "settings/profile_file.h"
#include "settings/setting_values.h"
#include "targets/target_list_model.h"
#include "ui/check_mark_images.h"
#include "ui/main_window.h"
#include "ui/twips.h"

namespace varnelt {

namespace {

// The format boxes' keys, in the order they are read and written.
constexpr const char* kArchiveKeys[kFormatCount] = {"LHA", "ZIP", "CAB", "TAR", "RAR",
                                                    "BGA", "YZ1", "GCA", "7z"};

QString flag(bool on) {
    return on ? QStringLiteral("True") : QStringLiteral("False");
}
QString tick(const QCheckBox* box) {
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

}  // namespace

void MainWindow::LoadSettings() {
    ProfileFile profile;
    profile.load(iniFilePath_);
    const auto value = [&profile](const char* section, const char* key) {
        return profile.value(QLatin1String(section), QLatin1String(key));
    };
    const auto ticked = [&](const char* section, const char* key) {
        return value(section, key) == QLatin1String("1");
    };

    const QSize screen = ToTwips(QRect(QPoint(), this->screen()->size())).size();
    const int left = ReadPositionValue(value("Position", "Left"));
    const int top = ReadPositionValue(value("Position", "Top"));
    const int width = std::min(ReadPositionValue(value("Position", "Width")), screen.width());
    const int height = std::min(ReadPositionValue(value("Position", "Height")), screen.height());
    move(FromTwips(left), FromTwips(top));
    resize(FromTwips(width), FromTwips(height));  // the minimum size still holds

    if (value("Option", "FastMode") == QLatin1String("True")) {
        mnuOptionFastMode->setChecked(true);
    }
    SetMenuCheckBitmaps(mnuOptionFastMode);
    applyFormTop(value("Option", "FormTop") == QLatin1String("True"));
    SetMenuCheckBitmaps(mnuOptionFormTop);
    if (value("Option", "SettingHidden") == QLatin1String("True")) {
        applySettingHidden(true);
    }
    SetMenuCheckBitmaps(mnuOptionSettingHidden);
    chkSubFolderAdd->setChecked(ticked("Option", "SubFolderAdd"));
    applyJobs(ReadJobsValue(value("Option", "Jobs")));
    setRunLimits({ReadLimitValue(value("Option", "TimeLimit"), kDefaultTimeLimitSeconds),
                  ReadLimitValue(value("Option", "MemoryLimit"), kDefaultMemoryLimitMB)});

    const QString filter = value("Filter", "Select");
    (filter == QLatin1String("Manual") ? optFilterOnManual
     : filter == QLatin1String("Auto") ? optFilterOnAuto
                                       : optFilterOff)
        ->setChecked(true);
    txtFilterExt->setText(value("Filter", "List"));

    const QString action = value("Action", "Select");
    (action == QLatin1String("Move")          ? optActionMove
     : action == QLatin1String("DeleteInBox") ? optActionDeleteInBox
     : action == QLatin1String("Delete")      ? optActionDelete
                                              : optActionNothing)
        ->setChecked(true);
    txtBadMove->setText(value("Action", "Folder"));

    for (const ArchiveFormat format : kAllFormats) {
        chkExt[static_cast<size_t>(format)]->setChecked(
            ticked("Archive", kArchiveKeys[static_cast<int>(format)]));
    }
    chkBadNoExt->setChecked(ticked("BadFile", "BadNoExt"));
    chkBadNoPassword->setChecked(ticked("BadFile", "BadNoPassword"));
    // The threshold comes before its box, which offers the name rule only at 2.
    txtBadNoFileSum->setText(ReadThresholdValue(value("BadFile", "BadNoFileSumValue")));
    chkBadNoFileName->setEnabled(false);
    chkBadNoFileSum->setChecked(ticked("BadFile", "BadNoFileSumCheck"));
    chkBadNoFileName->setChecked(ticked("BadFile", "BadNoFileName"));
}

void MainWindow::SaveSettings() {
    ProfileFile profile;
    profile.load(iniFilePath_);
    const auto set = [&profile](const char* section, const char* key, const QString& text) {
        profile.setValue(QLatin1String(section), QLatin1String(key), text);
    };
    const QRect outer = ToTwips(QRect(pos(), size()));
    set("Position", "Top", QString::number(outer.top()));
    set("Position", "Left", QString::number(outer.left()));
    set("Position", "Width", QString::number(outer.width()));
    set("Position", "Height", QString::number(outer.height()));
    set("Option", "FastMode", flag(mnuOptionFastMode->isChecked()));
    set("Option", "FormTop", flag(mnuOptionFormTop->isChecked()));
    set("Option", "SettingHidden", flag(mnuOptionSettingHidden->isChecked()));
    set("Option", "SubFolderAdd", tick(chkSubFolderAdd));
    set("Option", "Jobs", WriteJobsValue(jobs_));
    set("Option", "TimeLimit", QString::number(runLimits_.timeLimitSeconds));
    set("Option", "MemoryLimit", QString::number(runLimits_.memoryLimitMB));
    set("Filter", "Select",
        optFilterOnManual->isChecked() ? QStringLiteral("Manual")
        : optFilterOnAuto->isChecked() ? QStringLiteral("Auto")
                                       : QStringLiteral("OFF"));
    set("Filter", "List", txtFilterExt->text());
    set("Action", "Select",
        optActionMove->isChecked()          ? QStringLiteral("Move")
        : optActionDeleteInBox->isChecked() ? QStringLiteral("DeleteInBox")
        : optActionDelete->isChecked()      ? QStringLiteral("Delete")
                                            : QStringLiteral("Nothing"));
    set("Action", "Folder", txtBadMove->text());
    for (const ArchiveFormat format : kAllFormats) {
        set("Archive", kArchiveKeys[static_cast<int>(format)],
            tick(chkExt[static_cast<size_t>(format)]));
    }
    set("BadFile", "BadNoExt", tick(chkBadNoExt));
    set("BadFile", "BadNoPassword", tick(chkBadNoPassword));
    set("BadFile", "BadNoFileSumCheck", tick(chkBadNoFileSum));
    set("BadFile", "BadNoFileSumValue", txtBadNoFileSum->text());
    set("BadFile", "BadNoFileName", tick(chkBadNoFileName));
    profile.save(iniFilePath_);  // a settings file that cannot be written is not reported
}

void MainWindow::mnuOptionIniDefault_Click() {
    setWindowState(Qt::WindowNoState);
    move(0, 0);
    resize(size() - client->size() + FromTwips(QSize(kMinimumClientWidth, kMinimumClientHeight)));
    applyFormTop(false);
    applySettingHidden(false);
    chkSubFolderAdd->setChecked(false);
    applyJobs(0);
    optFilterOff->setChecked(true);
    txtFilterExt->clear();
    optActionNothing->setChecked(true);
    txtBadMove->clear();
    for (const ArchiveFormat format : kAllFormats) {
        chkExt[static_cast<size_t>(format)]->setChecked(format == ArchiveFormat::LZH ||
                                                        format == ArchiveFormat::ZIP);
    }
    chkBadFile->setChecked(true);
    chkBadNoPassword->setChecked(false);
    chkBadNoFileSum->setChecked(false);
    txtBadNoFileSum->setText(QStringLiteral("2"));
    chkBadNoFileName->setChecked(false);
    chkBadNoFileName->setEnabled(false);
    chkBadNoExt->setChecked(false);
    prgCount->setValue(0);
    resetStatusPanels();
    model_->clear();
    DetectArchivers();
    RefreshFormState();
}

}  // namespace varnelt
