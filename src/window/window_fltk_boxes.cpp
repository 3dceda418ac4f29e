// The FLTK window's message boxes and file pickers.
#include "window_fltk_private.h"
#include "window_trace.h"

#include "base/text8.h"

#include <FL/Fl_Button.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstring>
#include <string>
#include <unistd.h>

using namespace fltk_window;

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

    window_trace_box(type, caption, text);
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
    window_trace("box-answer", result, caption);
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
    window_trace("picker", 0, r.title);
    if (chooser.show() != 0) {
        window_trace("picked", 0, "");
        return false;
    }
    const char* chosen = chooser.filename();
    // The path is handed over as the file system spells it. One that does
    // not fit is refused, as a cut path would name another file.
    if (chosen == nullptr || r.path == nullptr || r.path_capacity <= 0 ||
        strlen(chosen) >= size_t(r.path_capacity)) {
        window_trace("picked", 0, "");
        return false;
    }
    memcpy(r.path, chosen, strlen(chosen) + 1);
    window_trace("picked", 1, r.path);
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
    window_trace("picker", 1, r.title);
    if (chooser.show() != 0 || chooser.filename() == nullptr) {
        window_trace("picked", 0, "");
        return false;
    }
    // The name is taken as typed, extension or not, as the picker's own
    // programs take it.
    std::string chosen = chooser.filename();
    // A path that does not fit is refused, as a cut path would name another
    // file.
    if (chosen.size() >= size_t(r.path_capacity)) {
        window_trace("picked", 0, "");
        return false;
    }
    memcpy(r.path, chosen.c_str(), chosen.size() + 1);
    window_trace("picked", 1, r.path);
    return true;
}
