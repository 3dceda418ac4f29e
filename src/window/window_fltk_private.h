// What the files of the FLTK window share: the one window's state, the
// control slots, and the helpers more than one of its jobs uses. Private to
// the window; the program sees the window seam alone.
#pragma once
#include "base/dialog_template.h"
#include "base/layout.h"
#include "base/window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Browser.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Menu_.H>
#include <FL/Fl_Menu_Item.H>

#include <array>
#include <string>
#include <vector>

namespace fltk_window {

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

// The message log. A right click opens the context menu without touching
// the selection, as do the Menu key and Shift+F10 while the log has focus.
// FLTK hands a widget its events only through handle().
class LogBrowser : public Fl_Browser {
  public:
    using Fl_Browser::Fl_Browser;
    int handle(int event) override;
    // Scrolls so that the line (from 1) is the last one in view.
    void show_at_bottom(int line);
};

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
};

extern Ui ui;

// The slot of a control the window has, or null.
Slot* slot(int id);
Slot& log_slot();
// Sets a label from an 8-bit text, redrawing only on a change.
void set_label(Fl_Widget* w, const char* text8);
// Copies at most cap-1 bytes and terminates; returns the number copied.
int copy_out(const std::string& text, char* buf, int cap);
// The drop-down menu of a combo box, and that menu made anew from its items.
Fl_Menu_* combo_menu(Slot& s);
void rebuild_menu(Slot& s);
// The headers over the log's columns, placed after a change of size or of
// the time column.
void place_headers();

} // namespace fltk_window
