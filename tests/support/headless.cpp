#include "support/headless.h"

#include "base/dialog_template.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <poll.h>

namespace headless {
namespace {

enum class EventKind { click, select, close, context_menu, key };
struct Event {
    EventKind kind;
    int id;
    uint32_t value;
};

struct State {
    DialogProc proc = nullptr;
    bool created = false;
    bool visible = false;
    bool font = false;
    std::map<int, Control> controls;
    std::vector<std::vector<std::string>> entries;
    std::vector<std::string> times; // the time column's text of each entry
    std::vector<bool> selected;
    bool time_column = false;
    int columns = 0;
    int ensured = -1;
    std::string clipboard;
    std::vector<std::string> titles;
    std::deque<int> box_answers;
    std::deque<std::optional<std::string>> file_answers;
    std::deque<std::optional<std::string>> menu_answers;
    std::vector<Box> boxes;
    std::vector<FileRequest> files;
    std::vector<Menu> menus;
    std::deque<Event> events;
    WaitHook wait_hook = nullptr;
};

State& st() {
    static State s;
    return s;
}

bool is_combo(int id) {
    return id == idc_address || id == idc_kind;
}

int copy_out(const std::string& s, char* buf, int cap) {
    if (cap <= 0) return 0;
    size_t n = std::min(s.size(), size_t(cap - 1));
    memcpy(buf, s.data(), n);
    buf[n] = '\0';
    return int(n);
}

// The next queued answer of the open and save pickers.
bool answer_picker(const char* title, char* path, int capacity) {
    auto& s = st();
    if (s.file_answers.empty()) {
        ADD_FAILURE() << "unexpected file picker: " << title;
        return false;
    }
    auto answer = s.file_answers.front();
    s.file_answers.pop_front();
    if (!answer) return false;
    copy_out(*answer, path, capacity);
    return true;
}

} // namespace

void reset() {
    st() = State{};
}

void create(DialogProc proc) {
    ASSERT_TRUE(ui_create_dialog(proc));
}

bool created() {
    return st().created;
}
bool visible() {
    return st().visible;
}
bool log_font_set() {
    return st().font;
}

Control& control(int id) {
    return st().controls[id];
}

std::vector<std::string> log_lines() {
    std::vector<std::string> out;
    for (auto& e : st().entries) out.push_back(e.empty() ? std::string() : e[0]);
    return out;
}
std::vector<std::vector<std::string>> log_entries() {
    return st().entries;
}
int log_columns() {
    return st().columns;
}
int last_ensured_visible() {
    return st().ensured;
}

void select_entries(const std::vector<int>& items) {
    auto& s = st();
    s.selected.assign(s.entries.size(), false);
    for (int i : items) s.selected.at(size_t(i)) = true;
}
bool time_column_shown() {
    return st().time_column;
}
std::vector<std::string> time_texts() {
    return st().times;
}
std::string clipboard() {
    return st().clipboard;
}
std::string title() {
    return st().titles.empty() ? dialog_def.caption : st().titles.back();
}
const std::vector<std::string>& titles() {
    return st().titles;
}

void type_text(int id, const std::string& text) {
    Control& c = control(id);
    c.text = text;
    if (is_combo(id)) c.selection = -1;
}

void answer_box(int button) {
    st().box_answers.push_back(button);
}
void answer_file(std::optional<std::string> path) {
    st().file_answers.push_back(std::move(path));
}
void answer_menu(std::optional<std::string> item_text) {
    st().menu_answers.push_back(std::move(item_text));
}
const std::vector<Menu>& menus() {
    return st().menus;
}
const std::vector<Box>& boxes() {
    return st().boxes;
}
const std::vector<FileRequest>& file_requests() {
    return st().files;
}
size_t pending_answers() {
    return st().box_answers.size() + st().file_answers.size() + st().menu_answers.size();
}

void queue_click(int id) {
    st().events.push_back({EventKind::click, id, 0});
}
void queue_select(int id, int index) {
    st().events.push_back({EventKind::select, id, uint32_t(index)});
}
void queue_close() {
    st().events.push_back({EventKind::close, 0, 0});
}
void queue_context_menu(uint32_t item) {
    st().events.push_back({EventKind::context_menu, idc_log, item});
}
void queue_key(int id, unsigned key) {
    st().events.push_back({EventKind::key, id, key});
}
size_t pending_events() {
    return st().events.size();
}

void set_wait_hook(WaitHook hook) {
    st().wait_hook = hook;
}

} // namespace headless

using headless::st;

bool ui_create_dialog(DialogProc proc) {
    auto& s = st();
    s.proc = proc;
    s.created = true;
    for (const ControlDef& def : dialog_controls) {
        if (def.id == idc_none) continue;
        headless::Control c;
        c.text = def.kind == ControlKind::list_view ? "" : def.text;
        c.enabled = !def.disabled;
        s.controls[def.id] = c;
    }
    proc(DialogMsg::init, 0);
    return true;
}

void ui_show_dialog() {
    st().visible = true;
}
void ui_end_dialog() {
    st().visible = false;
}
void ui_destroy_dialog() {
    st().created = false;
    st().visible = false;
}
void ui_set_title(const char* text) {
    st().titles.emplace_back(text);
}

void ui_set_text(int id, const char* text) {
    st().controls[id].text = text;
}

int ui_get_text(int id, char* buf, int cap) {
    return headless::copy_out(st().controls[id].text, buf, cap);
}

void ui_enable(int id, bool enabled) {
    st().controls[id].enabled = enabled;
}
bool ui_is_enabled(int id) {
    return st().controls[id].enabled;
}
void ui_check(int id, bool checked) {
    st().controls[id].checked = checked;
}
bool ui_is_checked(int id) {
    return st().controls[id].checked;
}

void ui_combo_reset(int id) {
    auto& c = st().controls[id];
    c.items.clear();
    c.selection = -1;
    c.text.clear();
}

void ui_combo_add(int id, const char* text) {
    st().controls[id].items.emplace_back(text);
}

void ui_combo_select(int id, int index) {
    auto& c = st().controls[id];
    if (index < 0 || index >= int(c.items.size())) {
        c.selection = -1;
        c.text.clear();
        return;
    }
    c.selection = index;
    c.text = c.items[size_t(index)];
}

int ui_combo_selection(int id) {
    return st().controls[id].selection;
}
int ui_combo_count(int id) {
    return int(st().controls[id].items.size());
}

int ui_combo_item_text(int id, int index, char* buf, int cap) {
    auto& c = st().controls[id];
    if (index < 0 || index >= int(c.items.size())) return -1;
    return headless::copy_out(c.items[size_t(index)], buf, cap);
}

void ui_list_set_full_row_select(int) {}
void ui_list_insert_column(int, int, const char*, int) {
    ++st().columns;
}
int ui_list_count(int) {
    return int(st().entries.size());
}

int ui_list_insert_item(int, int index) {
    auto& e = st().entries;
    if (index < 0 || index > int(e.size())) index = int(e.size());
    e.insert(e.begin() + index, std::vector<std::string>{});
    st().times.insert(st().times.begin() + index, std::string());
    st().selected.insert(st().selected.begin() + index, false);
    return index;
}

void ui_list_set_item_text(int, int item, int column, const char* text) {
    auto& e = st().entries;
    // A column that the list does not have takes no text, as in the list view.
    if (item < 0 || item >= int(e.size()) || column < 0 || column >= st().columns) return;
    auto& cols = e[size_t(item)];
    if (cols.size() <= size_t(column)) cols.resize(size_t(column) + 1);
    cols[size_t(column)] = text;
}

void ui_list_ensure_visible(int, int item) {
    st().ensured = item;
}
void ui_list_delete_all(int) {
    st().entries.clear();
    st().times.clear();
    st().selected.clear();
}

int ui_list_item_text(int, int item, int column, char* buf, int cap) {
    auto& e = st().entries;
    std::string text;
    if (item >= 0 && item < int(e.size()) && column >= 0 && size_t(column) < e[size_t(item)].size())
        text = e[size_t(item)][size_t(column)];
    return headless::copy_out(text, buf, cap);
}

int ui_list_next_selected(int, int after) {
    auto& sel = st().selected;
    for (size_t i = size_t(after < 0 ? 0 : after + 1); i < sel.size(); ++i)
        if (sel[i]) return int(i);
    return -1;
}

void ui_list_show_time_column(int, bool shown) {
    auto& s = st();
    s.time_column = shown;
    // A column taken away forgets its texts.
    if (!shown) s.times.assign(s.entries.size(), std::string());
}

void ui_list_set_time_text(int, int item, const char* text) {
    auto& s = st();
    if (!s.time_column) {
        ADD_FAILURE() << "time text set with the time column hidden";
        return;
    }
    if (item >= 0 && item < int(s.times.size())) s.times[size_t(item)] = text;
}

int ui_popup_menu(const MenuEntry* entries, int count) {
    auto& s = st();
    headless::Menu menu;
    for (int i = 0; i < count; ++i) {
        menu.texts.emplace_back(entries[i].text);
        menu.checked.push_back(entries[i].checked);
    }
    s.menus.push_back(menu);
    if (s.menu_answers.empty()) {
        ADD_FAILURE() << "unexpected popup menu";
        return -1;
    }
    auto answer = s.menu_answers.front();
    s.menu_answers.pop_front();
    if (!answer) return -1;
    for (int i = 0; i < count; ++i)
        if (*answer == entries[i].text) return i;
    ADD_FAILURE() << "the menu has no item \"" << *answer << "\"";
    return -1;
}

void ui_copy_to_clipboard(const char* text) {
    st().clipboard = text;
}

void ui_set_log_font(int) {
    st().font = true;
}
void ui_delete_log_font() {
    st().font = false;
}

int ui_message_box(bool owned, const char* text, const char* caption, unsigned type) {
    auto& s = st();
    s.boxes.push_back({owned, text, caption, type});
    if (s.box_answers.empty()) {
        ADD_FAILURE() << "unexpected message box \"" << caption << "\": " << text;
        return (type & mb_yesno) ? id_no : id_ok;
    }
    int answer = s.box_answers.front();
    s.box_answers.pop_front();
    return answer;
}

bool ui_open_file_dialog(const OpenFileRequest& r) {
    auto& s = st();
    s.files.push_back({r.filter_description,
                       r.filter_pattern,
                       r.initial_dir,
                       r.title,
                       r.default_ext,
                       r.path,
                       r.path_capacity,
                       false,
                       {}});
    return headless::answer_picker(r.title, r.path, r.path_capacity);
}

bool ui_save_file_dialog(const SaveFileRequest& r) {
    auto& s = st();
    headless::FileRequest request{"",   "", "", r.title, r.default_ext, r.path, r.path_capacity,
                                  true, {}};
    for (int i = 0; i < r.filter_count; ++i)
        request.save_filters.emplace_back(r.filters[i].description, r.filters[i].pattern);
    s.files.push_back(request);
    return headless::answer_picker(r.title, r.path, r.path_capacity);
}

void pump_one_message() {
    auto& s = st();
    if (s.events.empty() || s.proc == nullptr) return;
    auto ev = s.events.front();
    s.events.pop_front();
    switch (ev.kind) {
    case headless::EventKind::click:
        s.proc(DialogMsg::command, make_command(ev.id, bn_clicked));
        break;
    case headless::EventKind::select:
        ui_combo_select(ev.id, int(ev.value));
        s.proc(DialogMsg::command, make_command(ev.id, cbn_selchange));
        break;
    case headless::EventKind::close:
        s.proc(DialogMsg::close, 0);
        break;
    case headless::EventKind::context_menu:
        s.proc(DialogMsg::context_menu, ev.value);
        break;
    case headless::EventKind::key:
        s.proc(DialogMsg::key, make_command(ev.id, ev.value));
        break;
    }
}

void ui_wait(WaitHandle handle, uint32_t timeout_ms) {
    auto& s = st();
    if (!s.events.empty()) return;
    if (s.wait_hook) {
        s.wait_hook(handle, timeout_ms);
        return;
    }
    if (handle == no_wait_handle && timeout_ms == wait_forever) {
        ADD_FAILURE() << "wait for ever with no window event queued";
        return;
    }
    pollfd p{int(handle), POLLIN, 0};
    int ms = timeout_ms > 60000 ? 60000 : int(timeout_ms);
    poll(&p, handle == no_wait_handle ? 0 : 1, ms);
}
