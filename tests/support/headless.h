// The headless window: keeps every control's state in memory, answers
// message boxes and file pickers from queues the test fills, and dispatches
// queued clicks and selections from pump_one_message.
#pragma once

#include "app/window.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace headless {

struct Control {
    std::string text;
    bool enabled = true;
    bool checked = false;
    std::vector<std::string> items; // combo boxes
    int selection = -1;
};

struct Box {
    bool owned;
    std::string text;
    std::string caption;
    unsigned type;
};

struct FileRequest {
    std::string filter_description, filter_pattern, initial_dir, title, default_ext;
    std::string initial_name;
    int path_capacity;
};

// Forgets all state: no window, empty queues.
void reset();
// Creates the window through app code's dialog procedure (as the entry does).
void create(DialogProc proc);

bool created();
bool visible();
bool log_font_set();

Control& control(int id);
// Column 0 of every log entry, in order; "" for an entry without text.
std::vector<std::string> log_lines();
std::vector<std::vector<std::string>> log_entries();
int log_columns();
int last_ensured_visible(); // -1 when none

// The user types into an edit field or a combo's edit field (a combo's
// selection is cleared, as typing does).
void type_text(int id, const std::string& text);

// Answers for the next boxes and pickers, in order. A box or picker that
// appears with nothing queued fails the current test.
void answer_box(int button);
void answer_file(std::optional<std::string> path); // nullopt: cancel
const std::vector<Box>& boxes();
const std::vector<FileRequest>& file_requests();
size_t pending_answers();

// Events that the next pump_one_message calls dispatch, one per call.
void queue_click(int id);
void queue_select(int id, int index); // selects and sends a selection change
void queue_close();                   // the window's close box
size_t pending_events();

// Called by ui_wait instead of blocking; tests that drive a fake clock
// advance it here. Default: poll the handle (or nothing) for the time asked.
using WaitHook = void (*)(WaitHandle handle, uint32_t timeout_ms);
void set_wait_hook(WaitHook hook);

} // namespace headless
