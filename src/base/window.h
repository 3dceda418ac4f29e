// The window seam: every operation the program performs on its one dialog.
// Each function maps onto one USER32/COMCTL32/COMDLG32 call on Windows; the
// FLTK window and the headless test window implement the same functions.
// Controls are addressed by their dialog ids (1000 to 1037).
#pragma once

#include "base/pump.h"

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
//   command:      wparam is the full command word (notification in the high
//                 half, control id in the low half).
//   close:        the window's close box.
//   context_menu: a context menu was asked for on the log (right button,
//                 Menu key, Shift+F10); wparam is the entry under the
//                 pointer, or no_item (from the keyboard, or below the last
//                 entry). WM_CONTEXTMENU on Windows.
//   key:          a key went down in an edit field; wparam is
//                 make_command(id, virtual key): Up and Down in the command
//                 field, Return in it and in the address/rate box. A
//                 procedure that returns true has used the key, and the
//                 field does not see it.
enum class DialogMsg { init, command, close, context_menu, key };
enum : unsigned {
    bn_clicked = 0,
    cbn_selchange = 1,
};
enum : unsigned {
    vk_return = 0x0D,
    vk_up = 0x26,
    vk_down = 0x28,
};
constexpr uint32_t no_item = 0xFFFFFFFFu;
constexpr uint32_t make_command(int id, unsigned notification) {
    return (uint32_t(notification) << 16) | (uint32_t(id) & 0xFFFFu);
}

using DialogProc = bool (*)(DialogMsg msg, uint32_t wparam);

// Creates the modeless dialog "VARNOKE"; the procedure receives init before
// this returns. Returns false when the window cannot be created.
bool ui_create_dialog(DialogProc proc);
void ui_show_dialog();
void ui_end_dialog(); // hides the window (EndDialog)
void ui_destroy_dialog();
// SetWindowTextA on the dialog: its title.
void ui_set_title(const char* text);

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
// LVM_GETITEMTEXTA: copies at most cap-1 bytes and terminates; returns the
// number copied.
int ui_list_item_text(int id, int item, int column, char* buf, int cap);
// LVM_GETNEXTITEM with LVNI_SELECTED: the first selected entry after
// `after` (-1: from the start), or -1.
int ui_list_next_selected(int id, int after);
// The time column: a narrow column shown before the log's own, which the
// log's columns never write into. Shown or taken away; its texts are set
// per entry.
void ui_list_show_time_column(int id, bool shown);
void ui_list_set_time_text(int id, int item, const char* text);

// TrackPopupMenu with TPM_RETURNCMD, where the last context menu was asked
// for. Returns the index of the entry chosen, or -1 when the menu was
// dismissed.
struct MenuEntry {
    const char* text;
    bool checked;
};
int ui_popup_menu(const MenuEntry* entries, int count);

// Puts an 8-bit text (lines separated by \n) on the clipboard, as the
// platform's text.
void ui_copy_to_clipboard(const char* text);

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

// GetSaveFileNameA: asks before overwriting a file. path holds the initial
// file name and receives the chosen path. Returns false on cancel or error.
struct FileFilter {
    const char* description; // "Log files (*.log)"
    const char* pattern;     // "*.log"
};
struct SaveFileRequest {
    const FileFilter* filters;
    int filter_count;
    const char* title;
    const char* default_ext; // "log": added by the Windows picker to a name without one
    char* path;
    int path_capacity;
};
bool ui_save_file_dialog(const SaveFileRequest& request);
