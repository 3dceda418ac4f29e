// The FLTK window's log: the list of entries with its time column, its
// context menu and the clipboard.
#include "window_fltk_private.h"
#include "window_trace.h"

#include "base/text8.h"

#include <FL/Fl_Group.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace fltk_window {

namespace {
void ask_menu(int x, int y, uint32_t item) {
    ui.menu_x = x;
    ui.menu_y = y;
    if (ui.proc != nullptr) ui.proc(DialogMsg::context_menu, item);
}
} // namespace

int LogBrowser::handle(int event) {
    if (event == FL_PUSH && Fl::event_button() == FL_RIGHT_MOUSE) {
        void* item = find_item(Fl::event_y());
        ask_menu(Fl::event_x(), Fl::event_y(), item ? uint32_t(lineno(item) - 1) : no_item);
        return 1;
    }
    if (event == FL_RELEASE && Fl::event_button() == FL_RIGHT_MOUSE) return 1;
    if (event == FL_KEYBOARD &&
        (Fl::event_key() == FL_Menu ||
         (Fl::event_key() == FL_F + 10 && (Fl::event_state() & FL_SHIFT) != 0))) {
        ask_menu(x() + 8, y() + 8, no_item);
        return 1;
    }
    return Fl_Browser::handle(event);
}

// As bottomline() does, without adding up the height of every line above
// it: the lines all have one height, and the browser keeps their sum.
void LogBrowser::show_at_bottom(int line) {
    int bx, by, bw, bh;
    bbox(bx, by, bw, bh);
    int below = (size() - line) * item_height(find_line(size()));
    position(std::max(0, full_height() - below - bh));
}

// The headers over the log's columns: the time column's, while it is shown,
// then the one of the log's text.
void place_headers() {
    Slot& s = log_slot();
    if (s.browser == nullptr) return;
    int x = s.browser->x(), y = s.header->y(), w = s.browser->w();
    int time_w = ui.times_shown ? std::min(ui.time_widths[0], w) : 0;
    s.time_header->resize(x, y, time_w, header_height);
    if (ui.times_shown)
        s.time_header->show();
    else
        s.time_header->hide();
    s.header->resize(x + time_w, y, w - time_w, header_height);
    s.browser->parent()->redraw();
}

} // namespace fltk_window

using namespace fltk_window;

namespace {
Fl_Browser* list(int id) {
    Slot* s = slot(id);
    return s != nullptr ? s->browser : nullptr;
}

// A browser line holds the entry's time and a tab before its text while the
// time column is shown, its text alone otherwise.
std::string line_of(size_t item, const char* text_utf8) {
    if (!ui.times_shown) return text_utf8;
    return ui.times[item] + '\t' + text_utf8;
}

const char* text_of_line(Fl_Browser* b, int item) {
    const char* line = b->text(item + 1);
    if (line == nullptr) return "";
    if (!ui.times_shown) return line;
    const char* tab = strchr(line, '\t');
    return tab != nullptr ? tab + 1 : line;
}
} // namespace

// Several entries are selected with a drag, or with Shift or Ctrl.
void ui_list_set_full_row_select(int id) {
    if (Fl_Browser* b = list(id)) b->type(FL_MULTI_BROWSER);
}

void ui_list_insert_column(int id, int column, const char* header, int) {
    Slot* s = slot(id);
    if (s == nullptr || s->browser == nullptr) return;
    // Only the first column is shown; its header spans the list.
    if (column == 0 && header != nullptr) set_label(s->header, header);
    ++ui.list_columns;
}

int ui_list_count(int id) {
    Fl_Browser* b = list(id);
    return b != nullptr ? b->size() : 0;
}

int ui_list_insert_item(int id, int index) {
    Fl_Browser* b = list(id);
    if (b == nullptr) return -1;
    if (index < 0 || index > b->size()) index = b->size();
    // FLTK takes a line's height when it is inserted and keeps it: a lone tab
    // would count as a line 2 pixels high, and the log could no longer be
    // scrolled to its end. A blank time has the height of a line of text.
    if (id == idc_log) ui.times.insert(ui.times.begin() + index, std::string(" "));
    b->insert(index + 1, id == idc_log ? line_of(size_t(index), "").c_str() : "");
    return index;
}

void ui_list_set_item_text(int id, int item, int column, const char* text) {
    Fl_Browser* b = list(id);
    // Only column 0 is shown; text for the columns after it has no place.
    if (b == nullptr || text == nullptr || column != 0 || ui.list_columns == 0) return;
    if (item < 0 || item >= b->size()) return;
    b->text(item + 1, line_of(size_t(item), text8_to_utf8(text).c_str()).c_str());
    if (window_tracing()) window_trace("log", item, utf8_to_text8(text_of_line(b, item)).c_str());
}

void ui_list_ensure_visible(int id, int item) {
    Fl_Browser* b = list(id);
    if (b == nullptr || item < 0 || item >= b->size()) return;
    int line = item + 1;
    if (b->displayed(line)) return; // partly visible is enough
    if (line < b->topline())
        b->topline(line);
    else
        static_cast<LogBrowser*>(b)->show_at_bottom(line);
}

void ui_list_delete_all(int id) {
    Fl_Browser* b = list(id);
    if (b == nullptr) return;
    b->clear();
    ui.times.clear();
    window_trace("log-count", id, std::to_string(b->size()).c_str());
}

int ui_list_item_text(int id, int item, int column, char* buf, int cap) {
    Fl_Browser* b = list(id);
    if (b == nullptr || column != 0 || item < 0 || item >= b->size()) return copy_out("", buf, cap);
    return copy_out(utf8_to_text8(text_of_line(b, item)), buf, cap);
}

int ui_list_next_selected(int id, int after) {
    Fl_Browser* b = list(id);
    if (b == nullptr) return -1;
    for (int line = (after < 0 ? 0 : after + 1) + 1; line <= b->size(); ++line)
        if (b->selected(line)) return line - 1;
    return -1;
}

void ui_list_show_time_column(int id, bool shown) {
    Fl_Browser* b = list(id);
    if (b == nullptr || id != idc_log || shown == ui.times_shown) return;
    std::vector<std::string> texts;
    for (int item = 0; item < b->size(); ++item) texts.emplace_back(text_of_line(b, item));
    ui.times_shown = shown;
    ui.times.assign(size_t(b->size()), std::string());
    fl_font(b->textfont(), b->textsize());
    ui.time_widths[0] = int(fl_width("00:00:00.000")) + 12;
    static const int one_column[] = {0};
    b->column_widths(shown ? ui.time_widths : one_column);
    for (int item = 0; item < b->size(); ++item)
        b->text(item + 1, line_of(size_t(item), texts[size_t(item)].c_str()).c_str());
    place_headers();
    window_trace("time-column", id, shown ? "1" : "0");
}

void ui_list_set_time_text(int id, int item, const char* text) {
    Fl_Browser* b = list(id);
    if (b == nullptr || id != idc_log || !ui.times_shown || item < 0 || item >= b->size()) return;
    std::string entry = text_of_line(b, item);
    ui.times[size_t(item)] = text;
    b->text(item + 1, line_of(size_t(item), entry.c_str()).c_str());
}

int ui_popup_menu(const MenuEntry* entries, int count) {
    if (ui.window == nullptr || entries == nullptr || count <= 0) return -1;
    std::vector<std::string> labels;
    for (int i = 0; i < count; ++i) labels.push_back(text8_to_utf8(entries[i].text));
    std::vector<Fl_Menu_Item> items(size_t(count) + 1, Fl_Menu_Item{});
    std::string shown;
    for (size_t i = 0; i < size_t(count); ++i) {
        items[i].text = labels[i].c_str();
        items[i].labeltype_ = plain_label;
        items[i].labelsize_ = FL_NORMAL_SIZE;
        // As on Windows, only a checked item shows a mark.
        if (entries[i].checked) items[i].flags = FL_MENU_TOGGLE | FL_MENU_VALUE;
        shown += (i > 0 ? "|" : "") + std::string(entries[i].text);
    }
    window_trace("menu", count, shown.c_str());
    if (window_tracing()) {
        char at[32];
        snprintf(at, sizeof at, "%d,%d", ui.window->x() + ui.menu_x, ui.window->y() + ui.menu_y);
        window_trace("menu-at", count, at);
    }
    const Fl_Menu_Item* picked = items[0].popup(ui.menu_x, ui.menu_y);
    int index = picked != nullptr ? int(picked - items.data()) : -1;
    window_trace("menu-pick", index, index >= 0 ? entries[index].text : "");
    return index;
}

void ui_copy_to_clipboard(const char* text) {
    if (text == nullptr) return;
    std::string utf8 = text8_to_utf8(text);
    Fl::copy(utf8.c_str(), int(utf8.size()), 1);
    window_trace("clipboard", int(utf8.size()), text);
}

void ui_set_log_font(int id) {
    Fl_Browser* b = list(id);
    if (b == nullptr) return;
    b->textfont(FL_COURIER);
    b->textsize(log_font_size);
}

// FLTK's fonts are not the program's to delete.
void ui_delete_log_font() {}
