// The dialog as an FLTK 1.3 window, built from the template table: the
// window, its controls as the table places them, and their layout when the
// window changes size. Texts are 8-bit in the program and UTF-8 in FLTK;
// every text crosses text8.h.
#include "window_fltk_private.h"
#include "window_trace.h"

#include "base/text8.h"

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Input_Choice.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <cmath>
#include <cstdio>

namespace fltk_window {

Ui ui;

Slot* slot(int id) {
    if (id < first_id || id >= first_id + id_count || ui.window == nullptr) return nullptr;
    Slot& s = ui.slots[size_t(id - first_id)];
    return s.widget != nullptr ? &s : nullptr;
}

Slot& log_slot() {
    return ui.slots[size_t(idc_log - first_id)];
}

} // namespace fltk_window

using namespace fltk_window;

namespace {

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

void send(int id, unsigned notification) {
    if (ui.proc != nullptr) ui.proc(DialogMsg::command, make_command(id, notification));
}

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
    window_trace("pick", id, index >= 0 ? s->combo.items[size_t(index)].c_str() : "");
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

// The window's size and how many log lines it shows.
void trace_size(void*) {
    Fl_Browser* b = log_slot().browser;
    if (!window_tracing() || b == nullptr) return;
    Fl::flush(); // the lines in view are known once they are drawn
    int shown = 0;
    for (int line = 1; line <= b->size(); ++line)
        if (b->displayed(line)) ++shown;
    char size[96];
    snprintf(size, sizeof size, "%d log-lines-shown %d at %d,%d", ui.window->h(), shown,
             ui.window->x(), ui.window->y());
    window_trace("size", ui.window->w(), size);
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
    if (window_tracing()) {
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
    window_trace_open();

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
    window_trace_close();
    ui = Ui{};
}

void ui_set_title(const char* text) {
    if (ui.window == nullptr || text == nullptr) return;
    ui.window->copy_label(text8_to_utf8(text).c_str());
    window_trace("title", 0, text);
}
