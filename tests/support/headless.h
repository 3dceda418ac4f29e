// The headless window: keeps every control's state in memory, answers
// message boxes and file pickers from queues the test fills, and dispatches
// queued clicks and selections from pump_one_message.
#pragma once

#include "base/window.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
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
    bool save = false; // a save picker; its filters are in save_filters
    std::vector<std::pair<std::string, std::string>> save_filters;
};

struct Menu {
    std::vector<std::string> texts;
    std::vector<bool> checked;
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
// The operator selects these log entries (the others are deselected).
void select_entries(const std::vector<int>& items);
// The time column: shown or not, and the text of each entry in it.
bool time_column_shown();
std::vector<std::string> time_texts();
std::string clipboard();
// The window's title, and every title it was given since the window was made.
std::string title();
const std::vector<std::string>& titles();

// The user types into an edit field or a combo's edit field (a combo's
// selection is cleared, as typing does).
void type_text(int id, const std::string& text);

// Answers for the next boxes and pickers, in order. A box or picker that
// appears with nothing queued fails the current test.
void answer_box(int button);
void answer_file(std::optional<std::string> path); // nullopt: cancel (open and save pickers)
// The next popup menu: the item with that text is chosen; nullopt dismisses.
void answer_menu(std::optional<std::string> item_text);
const std::vector<Menu>& menus();
const std::vector<Box>& boxes();
const std::vector<FileRequest>& file_requests();
size_t pending_answers();

// Events that the next pump_one_message calls dispatch, one per call.
void queue_click(int id);
void queue_select(int id, int index);   // selects and sends a selection change
void queue_close();                     // the window's close box
void queue_context_menu(uint32_t item); // the log's menu asked for over an entry (or no_item)
void queue_key(int id, unsigned key);   // a key pressed in an edit field
size_t pending_events();

// Called by ui_wait instead of blocking; tests that drive a fake clock
// advance it here. Default: poll the handle (or nothing) for the time asked.
using WaitHook = void (*)(WaitHandle handle, uint32_t timeout_ms);
void set_wait_hook(WaitHook hook);

} // namespace headless
