// The window seam in a terminal. The controls keep their state in memory for
// the handlers that read them; a log entry is written to standard output
// once its text is set (log_append ends every entry by scrolling to it);
// message boxes become lines on standard error.
#include "base/dialog_template.h"
#include "base/log.h"
#include "base/text8.h"
#include "base/wall_clock.h"
#include "base/window.h"
#include "cli/terminal.h"
#include "cli/terminal_platform.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int first_id = idc_log;
constexpr int last_id = idc_esd;

struct Control {
    std::array<char, 2048> text; // the command field's 2000 and more
    bool enabled;
    bool checked;
};
std::array<Control, last_id - first_id + 1> controls{};

// The two combo boxes: the connection kinds, and the rates or addresses (at
// most the discovery's 100).
struct Combo {
    int id;
    std::array<std::array<char, 32>, 100> items;
    int count;
    int selection;
};
std::array<Combo, 2> combos{{{idc_kind, {}, 0, -1}, {idc_address, {}, 0, -1}}};

int log_entries = 0;
int log_columns = 0;
// The entry inserted last, until it is written.
bool entry_pending = false;
int pending_item = 0;
std::array<char, log_column_max + 1> pending_text{};

bool log_shown = false;
bool with_times = false;
int yes_no_answer = 0;
YesNoDecider yes_no_decider = nullptr;
unsigned boxes_shown = 0;
StopHandler stop_handler = nullptr;

Control* control(int id) {
    return id >= first_id && id <= last_id ? &controls[size_t(id - first_id)] : nullptr;
}

Combo* combo(int id) {
    for (Combo& c : combos)
        if (c.id == id) return &c;
    return nullptr;
}

void copy_text(char* out, size_t cap, const char* text) {
    snprintf(out, cap, "%s", text);
}

int copy_out(const char* text, char* buf, int cap) {
    if (cap <= 0) return 0;
    size_t n = strnlen(text, size_t(cap - 1));
    memcpy(buf, text, n);
    buf[n] = '\0';
    return int(n);
}

// The text as a terminal can show it: control bytes as \xNN, so that a
// device's reply cannot move the cursor or change colours; then UTF-8.
std::string shown(const char* text8) {
    std::string out;
    for (const char* p = text8; *p != '\0'; ++p) {
        auto byte = uint8_t(*p);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            snprintf(escaped, sizeof escaped, "\\x%02X", unsigned(byte));
            out += escaped;
        } else {
            out += *p;
        }
    }
    return text8_to_utf8(out);
}

void write_line(int64_t at, const char* text8) {
    if (with_times) {
        char stamp[clock_stamp_size];
        format_clock_stamp(at, stamp);
        fputs(stamp, stdout);
        fputc(' ', stdout);
    }
    fputs(shown(text8).c_str(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

void flush_entry() {
    if (!entry_pending) return;
    entry_pending = false;
    if (log_shown) write_line(log_entry_time(pending_item), pending_text.data());
}

// A box's text on one line: its line ends as single blanks.
std::string one_line(const char* text) {
    std::string flat;
    for (const char* p = text; *p != '\0'; ++p) {
        char c = *p == '\r' || *p == '\n' ? ' ' : *p;
        if (c == ' ' && (flat.empty() || flat.back() == ' ')) continue;
        flat += c;
    }
    while (!flat.empty() && flat.back() == ' ') flat.pop_back();
    return flat;
}

void check_stop() {
    int signal = terminal_platform_stop_signal();
    if (signal == 0 || stop_handler == nullptr) return;
    flush_entry();
    stop_handler(signal);
}

} // namespace

void terminal_start() {
    terminal_platform_start();
}

void terminal_show_log(bool shown_now, bool timestamps) {
    log_shown = shown_now;
    with_times = timestamps;
}

void terminal_print(const char* text8) {
    flush_entry();
    write_line(clock_local_ms(), text8);
}

void terminal_error(const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    flush_entry();
    fflush(stdout);
    fprintf(stderr, "varnoke-cli: %s\n", shown(text).c_str());
    fflush(stderr);
}

void terminal_set_answer(int answer) {
    yes_no_answer = answer;
}

void terminal_set_decider(YesNoDecider decider) {
    yes_no_decider = decider;
}

unsigned terminal_boxes() {
    return boxes_shown;
}

int terminal_stop_signal() {
    return terminal_platform_stop_signal();
}

void terminal_on_stop(StopHandler handler) {
    stop_handler = handler;
}

bool ui_create_dialog(DialogProc proc) {
    for (const ControlDef& def : dialog_controls) {
        Control* c = control(def.id);
        if (c == nullptr) continue;
        copy_text(c->text.data(), c->text.size(),
                  def.kind == ControlKind::list_view ? "" : def.text);
        c->enabled = !def.disabled;
    }
    proc(DialogMsg::init, 0);
    return true;
}

void ui_show_dialog() {}
void ui_end_dialog() {}
void ui_destroy_dialog() {}
void ui_set_title(const char*) {}

void ui_set_text(int id, const char* text) {
    if (Control* c = control(id)) copy_text(c->text.data(), c->text.size(), text);
}

int ui_get_text(int id, char* buf, int cap) {
    Control* c = control(id);
    return copy_out(c != nullptr ? c->text.data() : "", buf, cap);
}

void ui_enable(int id, bool enabled) {
    if (Control* c = control(id)) c->enabled = enabled;
}
bool ui_is_enabled(int id) {
    Control* c = control(id);
    return c != nullptr && c->enabled;
}
void ui_check(int id, bool checked) {
    if (Control* c = control(id)) c->checked = checked;
}
bool ui_is_checked(int id) {
    Control* c = control(id);
    return c != nullptr && c->checked;
}

void ui_combo_reset(int id) {
    if (Combo* c = combo(id)) {
        c->count = 0;
        c->selection = -1;
    }
    ui_set_text(id, "");
}

void ui_combo_add(int id, const char* text) {
    Combo* c = combo(id);
    if (c == nullptr || c->count == int(c->items.size())) return;
    auto& item = c->items[size_t(c->count++)];
    copy_text(item.data(), item.size(), text);
}

void ui_combo_select(int id, int index) {
    Combo* c = combo(id);
    if (c == nullptr) return;
    bool valid = index >= 0 && index < c->count;
    c->selection = valid ? index : -1;
    ui_set_text(id, valid ? c->items[size_t(index)].data() : "");
}

int ui_combo_selection(int id) {
    Combo* c = combo(id);
    return c != nullptr ? c->selection : -1;
}
int ui_combo_count(int id) {
    Combo* c = combo(id);
    return c != nullptr ? c->count : 0;
}
int ui_combo_item_text(int id, int index, char* buf, int cap) {
    Combo* c = combo(id);
    if (c == nullptr || index < 0 || index >= c->count) return -1;
    return copy_out(c->items[size_t(index)].data(), buf, cap);
}

void ui_list_set_full_row_select(int) {}
void ui_list_insert_column(int, int, const char*, int) {
    ++log_columns;
}
int ui_list_count(int) {
    return log_entries;
}

int ui_list_insert_item(int, int index) {
    flush_entry();
    if (index < 0 || index > log_entries) index = log_entries;
    ++log_entries;
    entry_pending = true;
    pending_item = index;
    pending_text[0] = '\0';
    return index;
}

void ui_list_set_item_text(int, int item, int column, const char* text) {
    // The log has one column; like the list view, others take no text.
    if (!entry_pending || item != pending_item || column != 0 || column >= log_columns) return;
    copy_text(pending_text.data(), pending_text.size(), text);
}

void ui_list_ensure_visible(int, int) {
    flush_entry();
}

void ui_list_delete_all(int) {
    flush_entry();
    log_entries = 0;
}

// The terminal keeps no entries once written.
int ui_list_item_text(int, int, int, char* buf, int cap) {
    return copy_out("", buf, cap);
}
int ui_list_next_selected(int, int) {
    return -1;
}
void ui_list_show_time_column(int, bool) {}
void ui_list_set_time_text(int, int, const char*) {}

int ui_popup_menu(const MenuEntry*, int) {
    return -1;
}
void ui_copy_to_clipboard(const char*) {}
void ui_set_log_font(int) {}
void ui_delete_log_font() {}

int ui_message_box(bool, const char* text, const char* caption, unsigned type) {
    ++boxes_shown;
    std::string title = one_line(caption);
    std::string body = one_line(text);
    std::string line = title.empty() ? body : body.empty() ? title : title + ": " + body;
    int answer = id_ok;
    const char* why = "";
    int decided = (type & mb_yesno) != 0 && yes_no_decider != nullptr ? yes_no_decider(&why) : 0;
    if (decided != 0) {
        answer = decided;
        line += decided == id_yes ? " -- Yes (" : " -- No (";
        line += why;
        line += ')';
    } else if ((type & mb_yesno) != 0) {
        answer = yes_no_answer == id_yes ? id_yes : id_no;
        line += yes_no_answer == id_yes  ? " -- Yes (--yes)"
                : yes_no_answer == id_no ? " -- No (--no)"
                                         : " -- No: answer with --yes or --no to send the request";
    }
    terminal_error("%s", line.c_str());
    return answer;
}

// Paths come from the options; a picker asked for anyway is cancelled.
bool ui_open_file_dialog(const OpenFileRequest&) {
    return false;
}
bool ui_save_file_dialog(const SaveFileRequest&) {
    return false;
}

// No window messages: a wait notices a stop signal instead.
void pump_one_message() {
    check_stop();
}

void ui_wait(WaitHandle handle, uint32_t timeout_ms) {
    check_stop();
    terminal_platform_wait(handle, timeout_ms);
    check_stop();
}
