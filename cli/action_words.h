// The words of varnelt-check for what happens to a bad archive: the option's value and the
// summary's count.
#pragma once

#include "targets/form_state.h"

namespace varnelt {

struct ActionWords {
    DisposalAction action;
    const char* name;  // --action's value, and the disposal's action in JSON records
    const char* done;  // the summary's count; nullptr for leave, which has none
};

inline constexpr ActionWords kActionWords[] = {
    {DisposalAction::Nothing, "leave", nullptr},
    {DisposalAction::Move, "move", "moved"},
    {DisposalAction::DeleteInBox, "trash", "trashed"},
    {DisposalAction::Delete, "delete", "deleted"},
};

inline const ActionWords& WordsOf(DisposalAction action) {
    for (const ActionWords& words : kActionWords) {
        if (words.action == action) {
            return words;
        }
    }
    return kActionWords[0];
}

}  // namespace varnelt
