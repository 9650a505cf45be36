// What the window's inputs allow: the automatic extension list, whether Start can be
// pressed, and the row total.
#pragma once

#include <QString>

#include <optional>

#include "checkers/archive_format.h"
#include "targets/extension_filter.h"

namespace varnelt {

enum class FilterMode { Off, Auto, Manual };
enum class DisposalAction { Nothing, Move, DeleteInBox, Delete };

struct FormInputs {
    FormatBoxState boxes[kFormatCount];
    FilterMode filterMode = FilterMode::Off;
    QString filterText;
    DisposalAction action = DisposalAction::Nothing;
    QString moveFolder;
    qsizetype rowCount = 0;
};

struct FormState {
    bool startEnabled = false;
    std::optional<QString> autoFilterText;  // set in automatic mode: the list to show
};

FormState ComputeFormState(const FormInputs& inputs);

}  // namespace varnelt
