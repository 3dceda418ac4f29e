// The window seam over USER32, COMCTL32, COMDLG32 and GDI32: the modeless
// dialog built from the resource template "VARNOKE".
#include "app/window_win32.h"

#include "app/dialog_template.h"
#include "app/window.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

HINSTANCE module_instance = nullptr;

namespace {

HWND main_window = nullptr;
HFONT log_font = nullptr;
DialogProc app_proc = nullptr;

// The values the portable code passes straight through.
static_assert(mb_ok == MB_OK && mb_yesno == MB_YESNO && mb_iconerror == MB_ICONERROR);
static_assert(id_ok == IDOK && id_cancel == IDCANCEL && id_yes == IDYES && id_no == IDNO);
static_assert(bn_clicked == BN_CLICKED && cbn_selchange == CBN_SELCHANGE);
static_assert(wait_forever == INFINITE);

// The open-file structure without its trailing reserved fields, which every
// version of the common dialogs accepts: 76 bytes on 32-bit Windows (wider
// pointers make it 136 on 64-bit).
constexpr DWORD open_file_size = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
static_assert(sizeof(void*) != 4 || open_file_size == 76);

// VARNOKE_UI_TRACE names a file that receives what the window shows (its
// geometry, the log entries read back from the list view, the message
// boxes), so that a test driving the real window can read it.
FILE* trace_file() {
    static FILE* file = [] {
        const char* path = getenv("VARNOKE_UI_TRACE");
        return path != nullptr && *path != '\0' ? fopen(path, "wb") : nullptr;
    }();
    return file;
}

void trace(const char* format, ...) {
    FILE* file = trace_file();
    if (file == nullptr) return;
    va_list args;
    va_start(args, format);
    vfprintf(file, format, args);
    va_end(args);
    fflush(file);
}

LRESULT send_item(int id, UINT msg, WPARAM wparam, LPARAM lparam) {
    return SendDlgItemMessageA(main_window, id, msg, wparam, lparam);
}

INT_PTR CALLBACK dialog_procedure(HWND window, UINT msg, WPARAM wparam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        main_window = window;
        return app_proc(DialogMsg::init, 0) ? TRUE : FALSE;
    case WM_COMMAND:
        return app_proc(DialogMsg::command, uint32_t(wparam)) ? TRUE : FALSE;
    case WM_CLOSE:
        return app_proc(DialogMsg::close, 0) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

} // namespace

bool ui_create_dialog(DialogProc proc) {
    app_proc = proc;
    return CreateDialogParamA(module_instance, dialog_def.name, nullptr, dialog_procedure, 0) !=
           nullptr;
}

void ui_show_dialog() {
    ShowWindow(main_window, SW_SHOWNORMAL);
    if (trace_file() == nullptr) return;
    RECT frame{};
    GetWindowRect(main_window, &frame);
    RECT client{};
    GetClientRect(main_window, &client);
    POINT origin{0, 0};
    ClientToScreen(main_window, &origin);
    RECT base{0, 0, 4, 8}; // one dialog unit of each axis, times its divisor
    MapDialogRect(main_window, &base);
    char caption[256];
    GetWindowTextA(main_window, caption, sizeof caption);
    trace("shown window=%ld,%ld,%ld,%ld client=%ld,%ld,%ld,%ld base=%ld,%ld caption=%s\n",
          frame.left, frame.top, frame.right, frame.bottom, origin.x, origin.y, client.right,
          client.bottom, base.right, base.bottom, caption);
}

void ui_end_dialog() {
    EndDialog(main_window, 0);
}

void ui_destroy_dialog() {
    DestroyWindow(main_window);
    main_window = nullptr;
}

void ui_set_text(int id, const char* text) {
    SetDlgItemTextA(main_window, id, text);
}

int ui_get_text(int id, char* buf, int cap) {
    if (cap <= 0) return 0;
    buf[0] = '\0';
    return int(GetDlgItemTextA(main_window, id, buf, cap));
}

void ui_enable(int id, bool enabled) {
    EnableWindow(GetDlgItem(main_window, id), enabled);
}

bool ui_is_enabled(int id) {
    return IsWindowEnabled(GetDlgItem(main_window, id)) != FALSE;
}

void ui_check(int id, bool checked) {
    CheckDlgButton(main_window, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool ui_is_checked(int id) {
    return IsDlgButtonChecked(main_window, id) == BST_CHECKED;
}

void ui_combo_reset(int id) {
    send_item(id, CB_RESETCONTENT, 0, 0);
}

void ui_combo_add(int id, const char* text) {
    send_item(id, CB_ADDSTRING, 0, LPARAM(text));
}

void ui_combo_select(int id, int index) {
    send_item(id, CB_SETCURSEL, WPARAM(index), 0);
}

int ui_combo_selection(int id) {
    LRESULT index = send_item(id, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : int(index);
}

int ui_combo_count(int id) {
    LRESULT count = send_item(id, CB_GETCOUNT, 0, 0);
    return count == CB_ERR ? 0 : int(count);
}

int ui_combo_item_text(int id, int index, char* buf, int cap) {
    LRESULT len = send_item(id, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (len == CB_ERR) return -1;
    if (cap <= 0) return 0;
    // CB_GETLBTEXT takes no buffer size: an item longer than buf is fetched
    // whole and cut.
    if (len < cap) {
        LRESULT got = send_item(id, CB_GETLBTEXT, WPARAM(index), LPARAM(buf));
        if (got == CB_ERR) got = 0;
        buf[got] = '\0';
        return int(got);
    }
    std::string item(size_t(len) + 1, '\0');
    LRESULT got = send_item(id, CB_GETLBTEXT, WPARAM(index), LPARAM(item.data()));
    size_t n = got == CB_ERR ? 0 : std::min(size_t(got), size_t(cap - 1));
    memcpy(buf, item.data(), n);
    buf[n] = '\0';
    return int(n);
}

void ui_list_set_full_row_select(int id) {
    // wparam 0: every other extended style is switched off.
    send_item(id, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
}

void ui_list_insert_column(int id, int column, const char* header, int width) {
    LVCOLUMNA col{};
    col.mask = LVCF_FMT | LVCF_WIDTH;
    col.fmt = LVCFMT_LEFT;
    col.cx = width;
    if (header != nullptr) {
        col.mask |= LVCF_TEXT;
        col.pszText = const_cast<char*>(header);
    }
    send_item(id, LVM_INSERTCOLUMNA, WPARAM(column), LPARAM(&col));
}

int ui_list_count(int id) {
    return int(send_item(id, LVM_GETITEMCOUNT, 0, 0));
}

int ui_list_insert_item(int id, int index) {
    LVITEMA item{};
    item.iItem = index;
    return int(send_item(id, LVM_INSERTITEMA, 0, LPARAM(&item)));
}

void ui_list_set_item_text(int id, int item, int column, const char* text) {
    LVITEMA sub{};
    sub.iSubItem = column;
    sub.pszText = const_cast<char*>(text);
    send_item(id, LVM_SETITEMTEXTA, WPARAM(item), LPARAM(&sub));
    if (trace_file() == nullptr) return;
    // What the list view holds, not what it was given.
    char shown[4096] = "";
    sub.pszText = shown;
    sub.cchTextMax = sizeof shown;
    send_item(id, LVM_GETITEMTEXTA, WPARAM(item), LPARAM(&sub));
    trace("list %d %d %d %s\n", id, item, column, shown);
}

void ui_list_ensure_visible(int id, int item) {
    send_item(id, LVM_ENSUREVISIBLE, WPARAM(item), TRUE); // partly visible is enough
}

void ui_list_delete_all(int id) {
    send_item(id, LVM_DELETEALLITEMS, 0, 0);
    trace("list %d cleared\n", id);
}

void ui_set_log_font(int id) {
    LOGFONTA font{};
    font.lfHeight = 15;
    font.lfWeight = 200;
    strcpy(font.lfFaceName, "Courier new");
    log_font = CreateFontIndirectA(&font);
    send_item(id, WM_SETFONT, WPARAM(log_font), FALSE);
}

void ui_delete_log_font() {
    if (log_font != nullptr) DeleteObject(log_font);
    log_font = nullptr;
}

int ui_message_box(bool owned, const char* text, const char* caption, unsigned type) {
    trace("box caption=%s text=%s\n", caption, text);
    int answer = MessageBoxA(owned ? main_window : nullptr, text, caption, type);
    trace("box answer=%d\n", answer);
    return answer;
}

bool ui_open_file_dialog(const OpenFileRequest& request) {
    // One filter entry: description, pattern, then the empty entry that ends
    // the list. A request that does not fit is refused rather than cut.
    char filter[256];
    size_t desc = strlen(request.filter_description);
    size_t pattern = strlen(request.filter_pattern);
    if (desc + 1 + pattern + 2 > sizeof filter) return false;
    memcpy(filter, request.filter_description, desc + 1);
    memcpy(filter + desc + 1, request.filter_pattern, pattern + 1);
    filter[desc + 1 + pattern + 1] = '\0';

    if (request.path_capacity <= 0) return false;

    OPENFILENAMEA ofn{};
    ofn.lStructSize = open_file_size;
    ofn.hwndOwner = main_window;
    ofn.hInstance = module_instance;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = request.path;
    ofn.nMaxFile = DWORD(request.path_capacity);
    ofn.lpstrInitialDir = request.initial_dir;
    ofn.lpstrTitle = request.title;
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES;
    ofn.lpstrDefExt = request.default_ext;
    trace("picker title=%s\n", request.title);
    bool chosen = GetOpenFileNameA(&ofn) != FALSE;
    trace("picker chosen=%s\n", chosen ? request.path : "");
    return chosen;
}

void pump_one_message() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) return;
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) return; // WM_QUIT or failure
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

void ui_wait(WaitHandle handle, uint32_t timeout_ms) {
    // MWMO_INPUTAVAILABLE: messages already seen by a peek but still queued
    // (pump_one_message takes one at a time) end the wait too.
    HANDLE object = reinterpret_cast<HANDLE>(handle);
    DWORD count = handle == no_wait_handle ? 0 : 1;
    MsgWaitForMultipleObjectsEx(count, count != 0 ? &object : nullptr, timeout_ms, QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
}
