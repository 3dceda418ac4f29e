// The dialog as an FLTK 1.3 window, built from the template table. Texts are
// 8-bit in the program and UTF-8 in FLTK; every text crosses text8.h.
#include "base/dialog_template.h"
#include "base/layout.h"
#include "base/text8.h"
#include "base/window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Browser.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Input_Choice.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

// An 8-point sans-serif font gives dialog base units of 6 x 13 pixels: a
// dialog unit is 6/4 pixel across and 13/8 pixel down (rounded as MulDiv).
constexpr int px_x(int du) {
    return (du * 6 + 2) / 4;
}
constexpr int px_y(int du) {
    return (du * 13 + 4) / 8;
}

constexpr Fl_Fontsize log_font_size = 13; // a 15-pixel character cell
constexpr int header_height = 18;         // the list view's column header
constexpr int combo_height_du = 13;       // a closed drop-down combo box
constexpr Fl_Labeltype plain_label = FL_FREE_LABELTYPE;

constexpr int first_id = idc_log;
constexpr int id_count = idc_esd - idc_log + 1;

struct Combo {
    std::vector<std::string> items;  // 8-bit, as added
    std::vector<std::string> labels; // UTF-8, what the menu shows
    std::vector<Fl_Menu_Item> menu;  // points into labels; rebuilt on change
    int selection = -1;
};

class LogBrowser;

struct Slot {
    ControlKind kind{};
    Fl_Widget* widget = nullptr; // the control (for the list view: its frame)
    LogBrowser* browser = nullptr;
    Fl_Box* header = nullptr;
    Fl_Box* time_header = nullptr; // over the time column, while it is shown
    Combo combo;
};

// A widget placed by the window's layout, with its rectangle at start.
struct Placed {
    Fl_Widget* widget;
    PixelRect start;
    Anchor anchor;
    int close_up; // pixels, for a stretched field
};

struct Ui {
    DialogProc proc = nullptr;
    Fl_Double_Window* window = nullptr;
    std::array<Slot, id_count> slots;
    std::vector<Placed> placed;
    int start_w = 0, start_h = 0;
    int list_columns = 0;
    // The log's time column: shown or not, and each entry's text in it.
    bool times_shown = false;
    std::vector<std::string> times;
    int time_widths[2] = {0, 0};
    // Where the next popup menu opens, in the window's coordinates.
    int menu_x = 0, menu_y = 0;
    // The X request count when ui_wait last sent what was buffered.
    unsigned long flushed_request = 0;
    FILE* trace = nullptr;
};

Ui ui;

Slot* slot(int id) {
    if (id < first_id || id >= first_id + id_count || ui.window == nullptr) return nullptr;
    Slot& s = ui.slots[size_t(id - first_id)];
    return s.widget != nullptr ? &s : nullptr;
}

// Labels, menu items and boxes show text as it is: no '@' symbols and no
// '&' shortcut underlines.
void draw_plain_label(const Fl_Label* label, int x, int y, int w, int h, Fl_Align align) {
    char shortcut = fl_draw_shortcut;
    fl_draw_shortcut = 0;
    fl_font(label->font, label->size);
    fl_color(label->color);
    fl_draw(label->value, x, y, w, h, align, label->image, 0);
    fl_draw_shortcut = shortcut;
}

void measure_plain_label(const Fl_Label* label, int& w, int& h) {
    fl_font(label->font, label->size);
    fl_measure(label->value, w, h, 0);
}

// With VARNOKE_UI_TRACE naming a file, every log entry, text change, enable
// change and item picked from a list is written there as one line, so that a
// test can see what the window shows. Control bytes are written as \xNN.
void trace(const char* what, int id, const char* text) {
    if (ui.trace == nullptr) return;
    fprintf(ui.trace, "%s %d ", what, id);
    for (const char* p = text; *p != '\0'; ++p) {
        auto c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == '\\')
            fprintf(ui.trace, "\\x%02X", c);
        else
            fputc(c, ui.trace);
    }
    fputc('\n', ui.trace);
    fflush(ui.trace);
}

void send(int id, unsigned notification) {
    if (ui.proc != nullptr) ui.proc(DialogMsg::command, make_command(id, notification));
}

// The message log. A right click opens the context menu without touching
// the selection, as do the Menu key and Shift+F10 while the log has focus.
// FLTK hands a widget its events only through handle().
class LogBrowser : public Fl_Browser {
  public:
    using Fl_Browser::Fl_Browser;
    int handle(int event) override {
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
    // Scrolls so that the line (from 1) is the last one in view, as
    // bottomline() does without adding up the height of every line above it:
    // the lines all have one height, and the browser keeps their sum.
    void show_at_bottom(int line) {
        int bx, by, bw, bh;
        bbox(bx, by, bw, bh);
        int below = (size() - line) * item_height(find_line(size()));
        position(std::max(0, full_height() - below - bh));
    }

  private:
    static void ask_menu(int x, int y, uint32_t item) {
        ui.menu_x = x;
        ui.menu_y = y;
        if (ui.proc != nullptr) ui.proc(DialogMsg::context_menu, item);
    }
};

// The command field: Up and Down go to the dialog procedure first.
class CommandInput : public Fl_Input {
  public:
    using Fl_Input::Fl_Input;
    int handle(int event) override {
        if (event == FL_KEYBOARD && (Fl::event_state() & (FL_SHIFT | FL_CTRL | FL_ALT)) == 0 &&
            (Fl::event_key() == FL_Up || Fl::event_key() == FL_Down)) {
            unsigned key = Fl::event_key() == FL_Up ? vk_up : vk_down;
            if (ui.proc != nullptr && ui.proc(DialogMsg::key, make_command(idc_command, key))) {
                position(size()); // the caret after the recalled text
                return 1;
            }
        }
        return Fl_Input::handle(event);
    }
};

void lay_out();

int focused_field() {
    Fl_Widget* focus = Fl::focus();
    if (Slot* s = slot(idc_command); s != nullptr && focus == s->widget) return idc_command;
    if (Slot* s = slot(idc_address);
        s != nullptr && focus == static_cast<Fl_Input_Choice*>(s->widget)->input())
        return idc_address;
    return idc_none;
}

// The dialog's window. FLTK tells a window of its new size only through
// resize().
class DialogWindow : public Fl_Double_Window {
  public:
    using Fl_Double_Window::Fl_Double_Window;
    // A one-line input leaves Return unused, and FLTK offers it to the
    // window: it goes to the dialog procedure with the field that has the
    // focus, the command field or the address/rate box.
    int handle(int event) override {
        if (event == FL_KEYBOARD && ui.proc != nullptr &&
            (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter) &&
            (Fl::event_state() & (FL_SHIFT | FL_CTRL | FL_ALT)) == 0) {
            int id = focused_field();
            if (id != idc_none && ui.proc(DialogMsg::key, make_command(id, vk_return))) return 1;
        }
        return Fl_Double_Window::handle(event);
    }
    void resize(int x, int y, int w, int h) override {
        bool sized = w != this->w() || h != this->h();
        Fl_Double_Window::resize(x, y, w, h);
        if (sized) lay_out();
    }
};

void on_button(Fl_Widget*, void* data) {
    send(int(intptr_t(data)), bn_clicked);
}

// Picking an item (even the selected one) selects it and notifies.
void on_pick(Fl_Widget* w, void* data) {
    int id = int(intptr_t(data));
    Slot* s = slot(id);
    if (s == nullptr) return;
    int index = static_cast<Fl_Menu_*>(w)->value();
    s->combo.selection = index;
    if (s->kind == ControlKind::combo_edit && index >= 0) {
        static_cast<Fl_Input_Choice*>(s->widget)->value(s->combo.labels[size_t(index)].c_str());
    }
    trace("pick", id, index >= 0 ? s->combo.items[size_t(index)].c_str() : "");
    send(id, cbn_selchange);
}

// Typing in a drop-down combo's edit field leaves no item selected.
void on_combo_typed(Fl_Widget*, void* data) {
    Slot* s = slot(int(intptr_t(data)));
    if (s == nullptr) return;
    s->combo.selection = -1;
    static_cast<Fl_Input_Choice*>(s->widget)->menubutton()->value(
        static_cast<const Fl_Menu_Item*>(nullptr));
}

Fl_Menu_* combo_menu(Slot& s) {
    if (s.kind == ControlKind::combo_list) return static_cast<Fl_Choice*>(s.widget);
    return static_cast<Fl_Input_Choice*>(s.widget)->menubutton();
}

// Fl_Menu_::add would read '/', '&' and '_' in the texts and merge equal
// names, so the menu is an array of our own.
void rebuild_menu(Slot& s) {
    Combo& c = s.combo;
    c.menu.assign(c.labels.size() + 1, Fl_Menu_Item{});
    for (size_t i = 0; i < c.labels.size(); ++i) {
        c.menu[i].text = c.labels[i].c_str();
        c.menu[i].labeltype_ = plain_label;
        c.menu[i].labelsize_ = FL_NORMAL_SIZE;
    }
    Fl_Menu_* menu = combo_menu(s);
    menu->menu(c.menu.data());
    menu->value(c.selection >= 0 ? &c.menu[size_t(c.selection)] : nullptr);
    s.widget->redraw();
}

// Whether the widget's label reads text8. ASCII is the same in UTF-8, so
// most texts compare as they are.
bool shows(const Fl_Widget* w, const char* text8) {
    const char* label = w->label();
    if (label == nullptr) return false;
    size_t i = 0;
    for (; text8[i] != '\0'; ++i) {
        if (uint8_t(text8[i]) >= 0x80) return text8_to_utf8(text8) == label;
        if (text8[i] != label[i]) return false;
    }
    return label[i] == '\0';
}

void set_label(Fl_Widget* w, const char* text8) {
    // Every request sets the status panel and the Reply field, mostly to
    // what they show already: the same text again is no change to redraw.
    if (shows(w, text8)) return;
    w->copy_label(text8_to_utf8(text8).c_str());
    w->redraw();
    w->redraw_label(); // a box without background needs the window behind redrawn
}

// A group box: an engraved frame below the middle of its caption, the
// caption on a patch of background that interrupts the frame.
void add_group_box(const ControlDef& def, int x, int y, int w, int h) {
    int half = FL_NORMAL_SIZE / 2;
    new Fl_Box(FL_ENGRAVED_FRAME, x, y + half, w, h - half, nullptr);
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    int text_w = int(fl_width(def.text)) + 4;
    auto* caption = new Fl_Box(FL_FLAT_BOX, x + 6, y, text_w, FL_NORMAL_SIZE + 2, def.text);
    caption->labeltype(plain_label);
}

void add_list_view(Slot& s, int x, int y, int w, int h) {
    auto* frame = new Fl_Group(x, y, w, h);
    frame->box(FL_DOWN_BOX);
    int dx = Fl::box_dx(FL_DOWN_BOX), dy = Fl::box_dy(FL_DOWN_BOX);
    int inner_w = w - Fl::box_dw(FL_DOWN_BOX);
    s.header = new Fl_Box(FL_THIN_UP_BOX, x + dx, y + dy, inner_w, header_height, nullptr);
    s.header->labeltype(plain_label);
    s.header->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    s.time_header = new Fl_Box(FL_THIN_UP_BOX, x + dx, y + dy, 0, header_height, "Time");
    s.time_header->labeltype(plain_label);
    s.time_header->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    s.time_header->hide();
    s.browser = new LogBrowser(x + dx, y + dy + header_height, inner_w,
                               h - Fl::box_dh(FL_DOWN_BOX) - header_height);
    s.browser->box(FL_FLAT_BOX);
    s.browser->color(FL_BACKGROUND2_COLOR);
    // Entries are shown as they are, '@' included: UTF-8 never holds the
    // byte 0xFF. (A format character 0 would make FLTK read past an empty
    // entry.)
    s.browser->format_char('\xFF');
    frame->resizable(s.browser);
    frame->end();
    s.widget = frame;
}

void add_control(const ControlDef& def) {
    int x = px_x(def.x), y = px_y(def.y);
    int w = px_x(def.x + def.w) - x, h = px_y(def.y + def.h) - y;
    if (def.kind == ControlKind::group_box) {
        add_group_box(def, x, y, w, h);
        return;
    }
    Slot scratch;
    Slot& s = def.id == idc_none ? scratch : ui.slots[size_t(def.id - first_id)];
    s.kind = def.kind;
    void* data = reinterpret_cast<void*>(intptr_t(def.id));
    switch (def.kind) {
    case ControlKind::list_view:
        add_list_view(s, x, y, w, h);
        break;
    case ControlKind::edit:
        s.widget = def.id == idc_command ? new CommandInput(x, y, w, h) : new Fl_Input(x, y, w, h);
        s.widget->box(def.border ? FL_DOWN_BOX : FL_THIN_DOWN_BOX);
        break;
    case ControlKind::button:
        s.widget = new Fl_Button(x, y, w, h);
        s.widget->callback(on_button, data);
        break;
    case ControlKind::check_box:
        s.widget = new Fl_Check_Button(x, y, w, h);
        s.widget->callback(on_button, data);
        break;
    case ControlKind::static_center:
    case ControlKind::static_left:
    case ControlKind::static_right: {
        // FLTK keeps a left or right aligned label 3 pixels off the edge,
        // where a static text starts at its edge: the box grows by that.
        int inset = def.kind == ControlKind::static_center ? 0 : 3;
        s.widget = new Fl_Box(FL_NO_BOX, x - inset, y, w + 2 * inset, h, nullptr);
        Fl_Align side = def.kind == ControlKind::static_left    ? FL_ALIGN_LEFT
                        : def.kind == ControlKind::static_right ? FL_ALIGN_RIGHT
                                                                : FL_ALIGN_CENTER;
        s.widget->align(side | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
        break;
    }
    case ControlKind::combo_edit: {
        auto* combo = new Fl_Input_Choice(x, y, w, px_y(combo_height_du));
        combo->textsize(FL_NORMAL_SIZE);
        combo->menubutton()->callback(on_pick, data);
        combo->menubutton()->when(FL_WHEN_RELEASE | FL_WHEN_NOT_CHANGED);
        combo->input()->callback(on_combo_typed, data);
        combo->input()->when(FL_WHEN_CHANGED);
        combo->value(text8_to_utf8(def.text).c_str());
        s.widget = combo;
        break;
    }
    case ControlKind::combo_list:
        s.widget = new Fl_Choice(x, y, w, px_y(combo_height_du));
        s.widget->callback(on_pick, data);
        s.widget->when(FL_WHEN_RELEASE | FL_WHEN_NOT_CHANGED);
        break;
    case ControlKind::group_box:
        break;
    }
    bool has_label = def.kind == ControlKind::button || def.kind == ControlKind::check_box ||
                     def.kind == ControlKind::static_center ||
                     def.kind == ControlKind::static_left || def.kind == ControlKind::static_right;
    if (has_label) {
        s.widget->labeltype(plain_label);
        set_label(s.widget, def.text);
    }
    if (def.disabled) s.widget->deactivate();
}

// The template's layout assumes a font whose letters average 6 pixels across
// (8-point MS Sans Serif at 96 dpi); the sans-serif size nearest to that
// keeps the texts inside their controls.
Fl_Fontsize base_font_size() {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    Fl_Fontsize best = 10;
    double best_error = 1e9;
    for (Fl_Fontsize size = 8; size <= 12; ++size) {
        fl_font(FL_HELVETICA, size);
        double error = std::abs(fl_width(letters) / (sizeof letters - 1) - 6.0);
        if (error < best_error) {
            best = size;
            best_error = error;
        }
    }
    return best;
}

void on_close(Fl_Widget*, void*) {
    // Escape closes an FLTK window but not a dialog that does no dialog
    // keyboard processing; the close box asks the dialog procedure.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    if (ui.proc != nullptr) ui.proc(DialogMsg::close, 0);
}

int copy_out(const std::string& text, char* buf, int cap) {
    if (buf == nullptr || cap <= 0) return 0;
    size_t n = std::min(text.size(), size_t(cap - 1));
    memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return int(n);
}

Slot& log_slot() {
    return ui.slots[size_t(idc_log - first_id)];
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

// The window's size and how many log lines it shows.
void trace_size(void*) {
    Fl_Browser* b = log_slot().browser;
    if (ui.trace == nullptr || b == nullptr) return;
    Fl::flush(); // the lines in view are known once they are drawn
    int shown = 0;
    for (int line = 1; line <= b->size(); ++line)
        if (b->displayed(line)) ++shown;
    fprintf(ui.trace, "size %d %d log-lines-shown %d\n", ui.window->w(), ui.window->h(), shown);
    fflush(ui.trace);
}

void lay_out() {
    Slot& log = log_slot();
    // A log that showed its last entry goes on showing it.
    bool at_end = log.browser != nullptr && log.browser->size() > 0 &&
                  log.browser->displayed(log.browser->size());
    int dw = ui.window->w() - ui.start_w, dh = ui.window->h() - ui.start_h;
    for (const Placed& p : ui.placed) {
        PixelRect r = anchored_rect(p.start, p.anchor, dw, dh, p.close_up);
        p.widget->resize(r.x, r.y, r.w, r.h);
    }
    place_headers();
    if (at_end) log.browser->show_at_bottom(log.browser->size());
    ui.window->redraw();
    if (ui.trace != nullptr) {
        Fl::remove_timeout(trace_size);
        Fl::add_timeout(0.0, trace_size);
    }
}

} // namespace

bool ui_create_dialog(DialogProc proc) {
    if (ui.window != nullptr) return false;
    // FLTK ends the process when it cannot open the display; a failed
    // creation is the caller's to report.
    if (fl_display == nullptr) {
        Display* display = XOpenDisplay(nullptr);
        if (display == nullptr) {
            fprintf(stderr, "varnoke: cannot open the display\n");
            return false;
        }
        fl_open_display(display);
    }
    Fl::set_labeltype(plain_label, draw_plain_label, measure_plain_label);
    FL_NORMAL_SIZE = base_font_size();
    if (const char* path = getenv("VARNOKE_UI_TRACE"); path != nullptr && *path != '\0')
        ui.trace = fopen(path, "w");

    int w = px_x(dialog_def.w), h = px_y(dialog_def.h);
    int sx, sy, sw, sh;
    Fl::screen_work_area(sx, sy, sw, sh);
    ui.window = new DialogWindow(sx + (sw - w) / 2, sy + (sh - h) / 2, w, h);
    ui.window->copy_label(text8_to_utf8(dialog_def.caption).c_str());
    ui.window->callback(on_close);
    ui.start_w = w;
    ui.start_h = h;
    // The template's first control is the top of the Z order: where controls
    // overlap (the kind list and "ESD", the log and "X") it takes the click.
    // FLTK hands a click to the last child first, so the table goes in from
    // its end.
    for (auto def = dialog_controls.rbegin(); def != dialog_controls.rend(); ++def) {
        int first = ui.window->children();
        add_control(*def);
        int right = def->x + def->w;
        int close_up = px_x(right + close_up_du(def->id)) - px_x(right);
        for (int i = first; i < ui.window->children(); ++i) {
            Fl_Widget* child = ui.window->child(i);
            ui.placed.push_back({child,
                                 {child->x(), child->y(), child->w(), child->h()},
                                 anchor_of(def->id),
                                 close_up});
        }
    }
    ui.window->end();
    // The layout places the controls itself; the template's size is the
    // least the window takes, and there is no most.
    ui.window->resizable(nullptr);
    ui.window->size_range(w, h);
    ui.proc = proc;
    proc(DialogMsg::init, 0);
    return true;
}

void ui_show_dialog() {
    if (ui.window != nullptr) ui.window->show();
}

void ui_end_dialog() {
    if (ui.window != nullptr) ui.window->hide();
}

void ui_destroy_dialog() {
    Fl::remove_timeout(trace_size);
    delete ui.window;
    if (ui.trace != nullptr) fclose(ui.trace);
    ui = Ui{};
}

void ui_set_title(const char* text) {
    if (ui.window == nullptr || text == nullptr) return;
    ui.window->copy_label(text8_to_utf8(text).c_str());
    trace("title", 0, text);
}

void ui_set_text(int id, const char* text) {
    Slot* s = slot(id);
    if (s == nullptr || text == nullptr) return;
    switch (s->kind) {
    case ControlKind::edit:
        static_cast<Fl_Input*>(s->widget)->value(text8_to_utf8(text).c_str());
        break;
    case ControlKind::combo_edit:
        static_cast<Fl_Input_Choice*>(s->widget)->value(text8_to_utf8(text).c_str());
        break;
    case ControlKind::list_view:
    case ControlKind::combo_list:
    case ControlKind::group_box:
        return; // no window text of their own
    default:
        set_label(s->widget, text);
        break;
    }
    if (ui.trace == nullptr) return;
    char shown[1024];
    ui_get_text(id, shown, sizeof shown);
    trace("text", id, shown);
}

int ui_get_text(int id, char* buf, int cap) {
    Slot* s = slot(id);
    if (s == nullptr) return copy_out("", buf, cap);
    const char* utf8 = nullptr;
    switch (s->kind) {
    case ControlKind::edit:
        utf8 = static_cast<Fl_Input*>(s->widget)->value();
        break;
    case ControlKind::combo_edit:
        utf8 = static_cast<Fl_Input_Choice*>(s->widget)->value();
        break;
    case ControlKind::combo_list: {
        int sel = s->combo.selection;
        return copy_out(sel >= 0 ? s->combo.items[size_t(sel)] : std::string(), buf, cap);
    }
    case ControlKind::list_view:
    case ControlKind::group_box:
        break;
    default:
        utf8 = s->widget->label();
        break;
    }
    return copy_out(utf8 != nullptr ? utf8_to_text8(utf8) : std::string(), buf, cap);
}

void ui_enable(int id, bool enabled) {
    Slot* s = slot(id);
    if (s == nullptr) return;
    if (enabled)
        s->widget->activate();
    else
        s->widget->deactivate();
    trace("enable", id, s->widget->active() ? "1" : "0");
}

bool ui_is_enabled(int id) {
    Slot* s = slot(id);
    return s != nullptr && s->widget->active();
}

void ui_check(int id, bool checked) {
    Slot* s = slot(id);
    if (s != nullptr && s->kind == ControlKind::check_box)
        static_cast<Fl_Check_Button*>(s->widget)->value(checked ? 1 : 0);
}

bool ui_is_checked(int id) {
    Slot* s = slot(id);
    return s != nullptr && s->kind == ControlKind::check_box &&
           static_cast<Fl_Check_Button*>(s->widget)->value() != 0;
}

namespace {
Slot* combo_slot(int id) {
    Slot* s = slot(id);
    if (s == nullptr) return nullptr;
    return s->kind == ControlKind::combo_edit || s->kind == ControlKind::combo_list ? s : nullptr;
}
} // namespace

void ui_combo_reset(int id) {
    Slot* s = combo_slot(id);
    if (s == nullptr) return;
    s->combo = Combo{};
    rebuild_menu(*s);
    if (s->kind == ControlKind::combo_edit) static_cast<Fl_Input_Choice*>(s->widget)->value("");
}

void ui_combo_add(int id, const char* text) {
    Slot* s = combo_slot(id);
    if (s == nullptr || text == nullptr) return;
    s->combo.items.emplace_back(text);
    s->combo.labels.push_back(text8_to_utf8(text));
    rebuild_menu(*s);
}

void ui_combo_select(int id, int index) {
    Slot* s = combo_slot(id);
    if (s == nullptr) return;
    Combo& c = s->combo;
    // An index outside the list, -1 included, leaves nothing selected.
    c.selection = index >= 0 && index < int(c.items.size()) ? index : -1;
    combo_menu(*s)->value(c.selection >= 0 ? &c.menu[size_t(c.selection)] : nullptr);
    s->widget->redraw();
    if (s->kind == ControlKind::combo_edit) {
        const char* text = c.selection >= 0 ? c.labels[size_t(c.selection)].c_str() : "";
        static_cast<Fl_Input_Choice*>(s->widget)->value(text);
    }
}

int ui_combo_selection(int id) {
    Slot* s = combo_slot(id);
    return s != nullptr ? s->combo.selection : -1;
}

int ui_combo_count(int id) {
    Slot* s = combo_slot(id);
    return s != nullptr ? int(s->combo.items.size()) : 0;
}

int ui_combo_item_text(int id, int index, char* buf, int cap) {
    Slot* s = combo_slot(id);
    if (s == nullptr || index < 0 || index >= int(s->combo.items.size())) return -1;
    return copy_out(s->combo.items[size_t(index)], buf, cap);
}

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
    if (ui.trace != nullptr) trace("log", item, utf8_to_text8(text_of_line(b, item)).c_str());
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
    trace("log-count", id, std::to_string(b->size()).c_str());
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
    trace("time-column", id, shown ? "1" : "0");
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
    trace("menu", count, shown.c_str());
    const Fl_Menu_Item* picked = items[0].popup(ui.menu_x, ui.menu_y);
    int index = picked != nullptr ? int(picked - items.data()) : -1;
    trace("menu-pick", index, index >= 0 ? entries[index].text : "");
    return index;
}

void ui_copy_to_clipboard(const char* text) {
    if (text == nullptr) return;
    std::string utf8 = text8_to_utf8(text);
    Fl::copy(utf8.c_str(), int(utf8.size()), 1);
    trace("clipboard", 0, text);
}

void ui_set_log_font(int id) {
    Fl_Browser* b = list(id);
    if (b == nullptr) return;
    b->textfont(FL_COURIER);
    b->textsize(log_font_size);
}

// FLTK's fonts are not the program's to delete.
void ui_delete_log_font() {}

namespace {

struct BoxAnswer {
    int* result;
    int button;
};

void on_box_button(Fl_Widget*, void* data) {
    auto* a = static_cast<BoxAnswer*>(data);
    *a->result = a->button;
}

// The close box (and Escape) of an OK box answers OK; a Yes/No box can only
// be answered by its buttons.
void on_box_close(Fl_Widget* w, void* data) {
    if (data != nullptr) on_box_button(w, data);
}

} // namespace

int ui_message_box(bool owned, const char* text, const char* caption, unsigned type) {
    constexpr int margin = 12, icon = 32, button_w = 75, button_h = 23, gap = 6;
    bool yes_no = (type & mb_yesno) != 0;
    bool error_icon = (type & mb_iconerror) != 0;
    std::string body = text8_to_utf8(text != nullptr ? text : "");
    // A line ends with CR LF on Windows; FLTK would draw the CR as "^M".
    for (size_t cr = body.find("\r\n"); cr != std::string::npos; cr = body.find("\r\n", cr))
        body.erase(cr, 1);
    std::string title = text8_to_utf8(caption != nullptr ? caption : "");

    int sx, sy, sw, sh;
    Fl::screen_work_area(sx, sy, sw, sh);
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    int text_w = 400, text_h = 0;
    fl_measure(body.c_str(), text_w, text_h, 0);
    int text_x = margin + (error_icon ? icon + margin : 0);
    // A word wider than the screen is cut rather than pushing the box off it.
    text_w = std::min(text_w, sw - text_x - 3 * margin);
    int buttons_w = yes_no ? 2 * button_w + gap : button_w;
    // Wide enough for the caption in a window manager's title bar too.
    int caption_w = int(fl_width(title.c_str())) + 4 * margin;
    int w = std::max({text_x + text_w + margin, buttons_w + 2 * margin, caption_w});
    int body_h = std::max(text_h, error_icon ? icon : 0);
    int buttons_y = margin + body_h + margin;
    int h = buttons_y + button_h + margin;

    int result = 0;
    BoxAnswer first{&result, yes_no ? id_yes : id_ok};
    BoxAnswer second{&result, id_no};

    Fl_Window box(w, h);
    box.box(FL_UP_BOX); // a frame even where no window manager draws one
    box.copy_label(title.c_str());
    if (error_icon) {
        auto* sign = new Fl_Box(FL_OVAL_BOX, margin, margin, icon, icon, "X");
        sign->color(FL_RED);
        sign->labelcolor(FL_WHITE);
        sign->labelfont(FL_HELVETICA_BOLD);
        sign->labelsize(18);
    }
    // The 3 pixels FLTK keeps off a left-aligned label's edge on each side.
    auto* message = new Fl_Box(FL_NO_BOX, text_x - 3, margin, text_w + 6, body_h, nullptr);
    message->labeltype(plain_label);
    message->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP | FL_ALIGN_CLIP);
    message->copy_label(body.c_str());
    int bx = (w - buttons_w) / 2;
    auto* ok = new Fl_Return_Button(bx, buttons_y, button_w, button_h, yes_no ? "Yes" : "OK");
    ok->callback(on_box_button, &first);
    if (yes_no) {
        auto* no = new Fl_Button(bx + button_w + gap, buttons_y, button_w, button_h, "No");
        no->callback(on_box_button, &second);
    }
    box.end();
    box.callback(on_box_close, yes_no ? nullptr : &first);

    // An owned box sits over the main window and keeps it from input; a box
    // without owner is centred on the screen and leaves the window working.
    Fl_Window* owner = owned ? ui.window : nullptr;
    if (owner != nullptr && owner->shown()) {
        box.position(owner->x() + (owner->w() - w) / 2, owner->y() + (owner->h() - h) / 2);
        box.set_modal();
    } else {
        box.position(sx + (sw - w) / 2, sy + (sh - h) / 2);
    }
    box.show();
    while (result == 0 && box.shown()) Fl::wait();
    box.hide();
    // A box taken away unanswered counts as the harmless answer.
    if (result == 0) result = yes_no ? id_no : id_ok;
    return result;
}

bool ui_open_file_dialog(const OpenFileRequest& r) {
    Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_FILE);
    std::string title = text8_to_utf8(r.title != nullptr ? r.title : "");
    std::string filter = text8_to_utf8(r.filter_description != nullptr ? r.filter_description : "");
    filter += '\t';
    filter += r.filter_pattern != nullptr ? r.filter_pattern : "*";
    chooser.title(title.c_str());
    chooser.filter(filter.c_str());
    if (r.initial_dir != nullptr) chooser.directory(r.initial_dir);
    // A relative initial name is taken from the initial directory, not from
    // wherever the process happens to be.
    if (r.path != nullptr && r.path_capacity > 0 && r.path[0] != '\0') {
        std::string preset(r.path, strnlen(r.path, size_t(r.path_capacity)));
        if (preset[0] != '/' && r.initial_dir != nullptr && r.initial_dir[0] != '\0')
            preset = std::string(r.initial_dir) + '/' + preset;
        chooser.preset_file(preset.c_str());
    }
    if (chooser.show() != 0) return false;
    const char* chosen = chooser.filename();
    // The path is handed over as the file system spells it. One that does
    // not fit is refused, as a cut path would name another file.
    if (chosen == nullptr || r.path == nullptr || r.path_capacity <= 0 ||
        strlen(chosen) >= size_t(r.path_capacity))
        return false;
    memcpy(r.path, chosen, strlen(chosen) + 1);
    return true;
}

bool ui_save_file_dialog(const SaveFileRequest& r) {
    if (r.path == nullptr || r.path_capacity <= 0) return false;
    Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_SAVE_FILE);
    std::string title = text8_to_utf8(r.title != nullptr ? r.title : "");
    std::string filter;
    for (int i = 0; i < r.filter_count; ++i) {
        // FLTK shows the pattern after the description itself.
        std::string description = text8_to_utf8(r.filters[i].description);
        std::string shown = std::string(" (") + r.filters[i].pattern + ")";
        if (description.size() > shown.size() &&
            description.compare(description.size() - shown.size(), shown.size(), shown) == 0)
            description.resize(description.size() - shown.size());
        if (i > 0) filter += '\n';
        filter += description + '\t' + r.filters[i].pattern;
    }
    chooser.title(title.c_str());
    chooser.filter(filter.c_str());
    // It starts in the current directory, as the Windows picker does.
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) != nullptr) chooser.directory(cwd);
    chooser.options(Fl_Native_File_Chooser::SAVEAS_CONFIRM | Fl_Native_File_Chooser::NEW_FOLDER);
    std::string preset(r.path, strnlen(r.path, size_t(r.path_capacity)));
    if (!preset.empty()) chooser.preset_file(preset.c_str());
    if (chooser.show() != 0 || chooser.filename() == nullptr) return false;
    // The name is taken as typed, extension or not, as the picker's own
    // programs take it.
    std::string chosen = chooser.filename();
    // A path that does not fit is refused, as a cut path would name another
    // file.
    if (chosen.size() >= size_t(r.path_capacity)) return false;
    memcpy(r.path, chosen.c_str(), chosen.size() + 1);
    return true;
}

// FLTK cannot take a single event off the queue: this dispatches every
// pending event. Re-entry is guarded by the program's busy flags either way.
// A check costs three system calls (a select, and a flush of the X
// connection that reads it too); a waiting loop that comes by again within
// the same millisecond, with nothing to draw and no event read and waiting,
// finds nothing new for the window, so the check is left to its next round.
void pump_one_message() {
    static int64_t last_check_ms = -1;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t ms = int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    if (ms == last_check_ms && Fl::damage() == 0 &&
        (fl_display == nullptr || XQLength(fl_display) == 0))
        return;
    last_check_ms = ms;
    Fl::check();
}

namespace {
void on_readable(FL_SOCKET, void*) {}
} // namespace

void ui_wait(WaitHandle handle, uint32_t timeout_ms) {
    // A wait for input while nothing is to be drawn: Fl::wait would flush
    // the X connection (reading it too) and then select, some 2 us a wait,
    // as much as the read of a reply. A poll of the input and the X
    // connection, after sending what is buffered for the server, waits the
    // same; what the server sends is handled at once. FLTK's timers run in
    // the caller's next check, so the wait lasts 50 ms at the most (as often
    // as a held scroll arrow repeats).
    if (handle != no_wait_handle && fl_display != nullptr && Fl::damage() == 0) {
        if (NextRequest(fl_display) != ui.flushed_request) {
            XFlush(fl_display);
            ui.flushed_request = NextRequest(fl_display);
        }
        if (XQLength(fl_display) == 0) {
            pollfd fds[2] = {{int(handle), POLLIN, 0}, {ConnectionNumber(fl_display), POLLIN, 0}};
            poll(fds, 2, int(std::min<uint32_t>(timeout_ms, 50)));
            if ((fds[1].revents & POLLIN) == 0) return;
        }
        Fl::check();
        return;
    }
    // Fl::wait returns after window events have been handled, when the
    // handle turns readable or when the time is up.
    bool watch = handle != no_wait_handle;
    if (watch) Fl::add_fd(int(handle), FL_READ, on_readable);
    if (timeout_ms == wait_forever)
        Fl::wait();
    else
        Fl::wait(timeout_ms / 1000.0);
    if (watch) Fl::remove_fd(int(handle), FL_READ);
}
