// The window's side of the extension filter, the format boxes and the readiness of Start.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>

#include "checkers/archiver_set.h"
#include "targets/target_list_model.h"
#include "ui/main_window.h"

namespace varnelt {

namespace {

// A format takes part only while its caption does not say its library is missing.
bool available(const QCheckBox* box) {
    return !box->text().contains(NotInstalledMark());
}

}  // namespace

FormInputs MainWindow::formInputs() const {
    FormInputs inputs;
    for (const ArchiveFormat format : kAllFormats) {
        const QCheckBox* box = chkExt[static_cast<size_t>(format)];
        inputs.boxes[static_cast<int>(format)] = {available(box), box->isChecked()};
    }
    inputs.filterMode = optFilterOnManual->isChecked() ? FilterMode::Manual
                        : optFilterOnAuto->isChecked() ? FilterMode::Auto
                                                       : FilterMode::Off;
    inputs.filterText = txtFilterExt->text();
    inputs.action = optActionMove->isChecked()          ? DisposalAction::Move
                    : optActionDeleteInBox->isChecked() ? DisposalAction::DeleteInBox
                    : optActionDelete->isChecked()      ? DisposalAction::Delete
                                                        : DisposalAction::Nothing;
    inputs.moveFolder = txtBadMove->text();
    inputs.rowCount = model_->size();
    return inputs;
}

void MainWindow::RefreshFormState() {
    lvwList->setVisible(true);
    const FormState state = ComputeFormState(formInputs());
    cmdStart->setEnabled(state.startEnabled);
    // Writing the same text raises no change, which ends the refresh chain.
    if (state.autoFilterText && txtFilterExt->text() != *state.autoFilterText) {
        txtFilterExt->setText(*state.autoFilterText);
    }
    setStatus(TotalPanel, QString::number(model_->size()));
}

std::optional<ExtensionFilter> MainWindow::currentFilter() const {
    if (optFilterOff->isChecked()) {
        return ExtensionFilter();
    }
    return ExtensionFilter::fromList(txtFilterExt->text());
}

void MainWindow::optFilter_Click() {
    // Only the manual list is typed; the automatic one is rebuilt by the refresh.
    const bool manual = optFilterOnManual->isChecked();
    txtFilterExt->setEnabled(manual);
    txtFilterExt->setBackgroundRole(manual ? QPalette::Base : QPalette::Button);
    RefreshFormState();
}

void MainWindow::DetectArchivers() {
    archivers_.DetectArchivers();
    for (const ArchiveFormat format : kAllFormats) {
        QCheckBox* box = chkExt[static_cast<size_t>(format)];
        const QString caption = archivers_.caption(format);
        box->setEnabled(!caption.contains(NotInstalledMark()));
        box->setText(caption);
    }
}

void MainWindow::mnuViewDLL_Click() {
    DetectArchivers();
    RefreshFormState();
}

}  // namespace varnelt
