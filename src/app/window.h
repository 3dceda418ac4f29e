// The window seam: every operation the program performs on its one dialog.
// Each function maps onto one USER32/COMCTL32/COMDLG32 call on Windows; the
// FLTK window and the headless test window implement the same functions.
// Controls are addressed by their dialog ids (1000 to 1037).
#pragma once

#include <cstdint>

// Values as the Win32 headers define them, so that the Windows build passes
// them straight through.
enum : unsigned {
    mb_ok = 0x0,
    mb_yesno = 0x4,
    mb_iconerror = 0x10,
};
enum : int {
    id_ok = 1,
    id_cancel = 2,
    id_yes = 6,
    id_no = 7,
};

// Dialog procedure messages and command notifications.
enum class DialogMsg { init, command, close };
enum : unsigned {
    bn_clicked = 0,
    cbn_selchange = 1,
};
constexpr uint32_t make_command(int id, unsigned notification) {
    return (uint32_t(notification) << 16) | (uint32_t(id) & 0xFFFFu);
}

// wparam carries the full command word (notification in the high half).
using DialogProc = bool (*)(DialogMsg msg, uint32_t wparam);

// Creates the modeless dialog "VARNOKE"; the procedure receives init before
// this returns. Returns false when the window cannot be created.
bool ui_create_dialog(DialogProc proc);
void ui_show_dialog();
void ui_end_dialog(); // hides the window (EndDialog)
void ui_destroy_dialog();

// SetDlgItemTextA / GetDlgItemTextA. get copies at most cap-1 bytes and
// terminates; returns the number of bytes copied.
void ui_set_text(int id, const char* text);
int ui_get_text(int id, char* buf, int cap);

void ui_enable(int id, bool enabled);
bool ui_is_enabled(int id);
void ui_check(int id, bool checked);
bool ui_is_checked(int id);

// Combo boxes (CB_RESETCONTENT, CB_ADDSTRING, CB_SETCURSEL, CB_GETCURSEL,
// CB_GETLBTEXT, CB_GETCOUNT). Selection -1 means no item selected. The edit
// field of a drop-down combo is reached with ui_set_text / ui_get_text.
void ui_combo_reset(int id);
void ui_combo_add(int id, const char* text);
void ui_combo_select(int id, int index);
int ui_combo_selection(int id);
int ui_combo_count(int id);
int ui_combo_item_text(int id, int index, char* buf, int cap);

// Report-mode list view (LVM_SETEXTENDEDLISTVIEWSTYLE, LVM_INSERTCOLUMNA,
// LVM_INSERTITEMA, LVM_SETITEMTEXTA, LVM_ENSUREVISIBLE, LVM_DELETEALLITEMS,
// LVM_GETITEMCOUNT). A null header inserts a column without one.
void ui_list_set_full_row_select(int id);
void ui_list_insert_column(int id, int column, const char* header, int width);
int ui_list_count(int id);
int ui_list_insert_item(int id, int index);
void ui_list_set_item_text(int id, int item, int column, const char* text);
void ui_list_ensure_visible(int id, int item);
void ui_list_delete_all(int id);

// Log font (CreateFontIndirectA + WM_SETFONT, DeleteObject).
void ui_set_log_font(int id);
void ui_delete_log_font();

// MessageBoxA; owned boxes belong to the main window. Returns id_ok, id_yes
// or id_no.
int ui_message_box(bool owned, const char* text, const char* caption, unsigned type);

// GetOpenFileNameA with one filter entry. path holds the initial file name
// and receives the chosen path. Returns false on cancel or error.
struct OpenFileRequest {
    const char* filter_description; // "txt files"
    const char* filter_pattern;     // "*.txt"
    const char* initial_dir;        // "."
    const char* title;
    const char* default_ext; // "txt"
    char* path;
    int path_capacity;
};
bool ui_open_file_dialog(const OpenFileRequest& request);

// Dispatches at most one waiting window message; never blocks. (FLTK cannot
// dispatch a single event, so there it dispatches all pending ones; the
// busy flags guard re-entry either way.)
void pump_one_message();

// Hands the processor back until a window event is pending, the handle is
// readable (no_wait_handle: none), or timeout_ms passes. Window events may
// be dispatched while waiting. Waiting loops call it between their polls so
// that they do not burn a core.
using WaitHandle = intptr_t;
constexpr WaitHandle no_wait_handle = -1;
void ui_wait(WaitHandle handle, uint32_t timeout_ms);
constexpr uint32_t wait_forever = 0xFFFFFFFFu;
