#include "app/command_history.h"

#include "base/dialog_template.h"
#include "base/window.h"

#include <array>
#include <string>

namespace {

// A ring: newest at newest_slot, the older ones before it.
std::array<std::string, command_history_size> commands;
size_t stored = 0;
size_t newest_slot = 0;
// The command shown, counted from the newest (0), or -1 outside a walk.
int shown = -1;
std::string draft; // what the field held when the walk began

constexpr size_t field_size = command_field_size;

const std::string& nth_newest(size_t n) {
    return commands[(newest_slot + command_history_size - n) % command_history_size];
}

void show(const std::string& text) {
    ui_set_text(idc_command, text.c_str());
}

} // namespace

void history_clear() {
    for (auto& c : commands) c.clear();
    stored = 0;
    newest_slot = 0;
    shown = -1;
    draft.clear();
}

void history_add(const char* command) {
    shown = -1;
    if (command == nullptr || *command == '\0') return;
    if (stored > 0 && nth_newest(0) == command) return;
    newest_slot = stored == 0 ? 0 : (newest_slot + 1) % command_history_size;
    commands[newest_slot] = command;
    if (stored < command_history_size) ++stored;
}

void history_recall(bool older) {
    char field[field_size];
    ui_get_text(idc_command, field, sizeof field);
    if (shown >= 0 && nth_newest(size_t(shown)) != field) shown = -1; // edited: a new draft
    if (shown < 0) {
        if (!older || stored == 0) return;
        draft = field;
        shown = 0;
    } else if (older) {
        if (size_t(shown) + 1 >= stored) return; // the oldest stays
        ++shown;
    } else if (shown == 0) {
        shown = -1;
        show(draft);
        return;
    } else {
        --shown;
    }
    show(nth_newest(size_t(shown)));
}
