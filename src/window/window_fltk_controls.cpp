// The FLTK window's controls as the program sees them: their texts, their
// enabled and checked states, and the items of the combo boxes.
#include "window_fltk_private.h"
#include "window_trace.h"

#include "base/text8.h"

#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Input_Choice.H>

#include <algorithm>
#include <cstring>

namespace fltk_window {

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

namespace {
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
} // namespace

void set_label(Fl_Widget* w, const char* text8) {
    // Every request sets the status panel and the Reply field, mostly to
    // what they show already: the same text again is no change to redraw.
    if (shows(w, text8)) return;
    w->copy_label(text8_to_utf8(text8).c_str());
    w->redraw();
    w->redraw_label(); // a box without background needs the window behind redrawn
}

int copy_out(const std::string& text, char* buf, int cap) {
    if (buf == nullptr || cap <= 0) return 0;
    size_t n = std::min(text.size(), size_t(cap - 1));
    memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return int(n);
}

} // namespace fltk_window

using namespace fltk_window;

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
    if (!window_tracing()) return;
    char shown[1024];
    ui_get_text(id, shown, sizeof shown);
    window_trace("text", id, shown);
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
    window_trace("enable", id, s->widget->active() ? "1" : "0");
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
