#include "targets/form_state.h"

namespace varnelt {

FormState ComputeFormState(const FormInputs& inputs) {
    FormState state;
    int formats = 0;
    for (const FormatBoxState& box : inputs.boxes) {
        formats += box.enabled && box.ticked ? 1 : 0;
    }
    if (inputs.filterMode == FilterMode::Auto) {
        state.autoFilterText = BuildAutoFilterList(inputs.boxes);
    }
    state.startEnabled = formats > 0 && inputs.rowCount > 0 &&
                         !(inputs.action == DisposalAction::Move && inputs.moveFolder.isEmpty()) &&
                         !(inputs.filterMode == FilterMode::Manual && inputs.filterText.isEmpty());
    return state;
}

}  // namespace varnelt
