// The window seam over USER32, COMCTL32, COMDLG32 and GDI32: the modeless
// dialog built from the resource template "VARNOKE".
#include "window/window_win32.h"

#include "window_trace.h"

#include "base/dialog_template.h"
#include "base/layout.h"
#include "base/window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

HINSTANCE module_instance = nullptr;

namespace {

HWND main_window = nullptr;
HFONT log_font = nullptr;
DialogProc app_proc = nullptr;

// The controls with their rectangles (client pixels) when the window was
// made, for the layout of a larger window; and the least window size.
struct Placed {
    HWND control;
    PixelRect start;
    Anchor anchor;
    int close_up; // pixels, for a stretched field
};
std::vector<Placed> placed;
SIZE start_client{};
SIZE least_window{};

// The log's own columns (as the program inserted them) and the time column
// after them, shown first.
int log_columns = 0;
bool time_column = false;

// Where the next popup menu opens, in screen coordinates.
POINT menu_anchor{};

WNDPROC edit_procedure = nullptr;         // the command field's own
WNDPROC address_edit_procedure = nullptr; // that of the address/rate box's field

// The values the portable code passes straight through.
static_assert(mb_ok == MB_OK && mb_yesno == MB_YESNO && mb_iconerror == MB_ICONERROR);
static_assert(id_ok == IDOK && id_cancel == IDCANCEL && id_yes == IDYES && id_no == IDNO);
static_assert(bn_clicked == BN_CLICKED && cbn_selchange == CBN_SELCHANGE);
static_assert(wait_forever == INFINITE);
static_assert(vk_return == VK_RETURN && vk_up == VK_UP && vk_down == VK_DOWN);

// The open-file structure without its trailing reserved fields, which every
// version of the common dialogs accepts: 76 bytes on 32-bit Windows (wider
// pointers make it 136 on 64-bit).
constexpr DWORD open_file_size = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
static_assert(sizeof(void*) != 4 || open_file_size == 76);

LRESULT send_item(int id, UINT msg, WPARAM wparam, LPARAM lparam) {
    return SendDlgItemMessageA(main_window, id, msg, wparam, lparam);
}

bool plain_key() {
    return GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0;
}

// A Return that pressed a button: its character, which follows, is not the
// field's either (a one-line edit field would only beep at it).
bool return_used = false;

// Return in a field goes to the dialog procedure first: there is no dialog
// keyboard processing, so the procedure picks the button it presses.
bool ask_return(int id, UINT msg, WPARAM wparam) {
    if (msg == WM_KEYDOWN && wparam == VK_RETURN && plain_key()) {
        return_used = app_proc(DialogMsg::key, make_command(id, vk_return));
        return return_used;
    }
    if (msg == WM_CHAR && wparam == '\r' && return_used) {
        return_used = false;
        return true;
    }
    return false;
}

// Up and Down in the command field go to the dialog procedure first, and
// so does Return.
LRESULT CALLBACK command_edit_procedure(HWND edit, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_KEYDOWN && plain_key() && (wparam == VK_UP || wparam == VK_DOWN) &&
        app_proc(DialogMsg::key, make_command(idc_command, unsigned(wparam)))) {
        int len = GetWindowTextLengthA(edit);
        SendMessageA(edit, EM_SETSEL, WPARAM(len), LPARAM(len)); // the caret after the text
        return 0;
    }
    if (ask_return(idc_command, msg, wparam)) return 0;
    return CallWindowProcA(edit_procedure, edit, msg, wparam, lparam);
}

// Return in the address/rate box's field, unless its list is open (where
// Return picks the item).
LRESULT CALLBACK address_edit_procedure_hook(HWND edit, UINT msg, WPARAM wparam, LPARAM lparam) {
    bool dropped = send_item(idc_address, CB_GETDROPPEDSTATE, 0, 0) != 0;
    if (!dropped && ask_return(idc_address, msg, wparam)) return 0;
    return CallWindowProcA(address_edit_procedure, edit, msg, wparam, lparam);
}

// The client area's size and where it is on the screen, with the log rows
// it has room for.
void trace_size() {
    if (!window_tracing()) return;
    RECT client{};
    GetClientRect(main_window, &client);
    POINT origin{0, 0};
    ClientToScreen(main_window, &origin);
    char size[96];
    snprintf(size, sizeof size, "%ld log-lines-shown %d at %ld,%ld", client.bottom,
             int(send_item(idc_log, LVM_GETCOUNTPERPAGE, 0, 0)), origin.x, origin.y);
    window_trace("size", int(client.right), size);
}

// Where the fields and buttons of the bottom rows are, as the system has
// them, in client pixels.
void trace_places() {
    if (!window_tracing()) return;
    for (const Placed& p : placed) {
        int id = GetDlgCtrlID(p.control);
        if (p.anchor != Anchor::stretch && p.anchor != Anchor::bottom_right) continue;
        RECT r{};
        GetWindowRect(p.control, &r);
        MapWindowPoints(nullptr, main_window, reinterpret_cast<POINT*>(&r), 2);
        char place[64];
        snprintf(place, sizeof place, "%ld,%ld,%ld,%ld", r.left, r.top, r.right - r.left,
                 r.bottom - r.top);
        window_trace("place", id, place);
    }
}

// The template's styles make a fixed frame; the window grows from the same
// client area, which stays where the dialog manager centred it.
void make_resizable() {
    for (HWND c = GetWindow(main_window, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, main_window, reinterpret_cast<POINT*>(&r), 2);
        int id = GetDlgCtrlID(c);
        RECT close_up{0, 0, close_up_du(id), 0};
        MapDialogRect(main_window, &close_up);
        placed.push_back({c,
                          {r.left, r.top, r.right - r.left, r.bottom - r.top},
                          anchor_of(id),
                          int(close_up.right)});
    }
    RECT client{};
    GetClientRect(main_window, &client);
    start_client = {client.right, client.bottom};
    POINT origin{0, 0};
    ClientToScreen(main_window, &origin);
    RECT frame{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    LONG_PTR style = GetWindowLongPtrA(main_window, GWL_STYLE) | WS_THICKFRAME | WS_MAXIMIZEBOX;
    SetWindowLongPtrA(main_window, GWL_STYLE, style);
    AdjustWindowRectEx(&frame, DWORD(style), FALSE,
                       DWORD(GetWindowLongPtrA(main_window, GWL_EXSTYLE)));
    least_window = {frame.right - frame.left, frame.bottom - frame.top};
    SetWindowPos(main_window, nullptr, frame.left, frame.top, least_window.cx, least_window.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    trace_size();
    trace_places();
}

void lay_out(int client_w, int client_h) {
    if (placed.empty()) return;
    // A log that showed its last entry goes on showing it.
    int count = int(send_item(idc_log, LVM_GETITEMCOUNT, 0, 0));
    int last_shown = int(send_item(idc_log, LVM_GETTOPINDEX, 0, 0) +
                         send_item(idc_log, LVM_GETCOUNTPERPAGE, 0, 0));
    int dw = client_w - start_client.cx, dh = client_h - start_client.cy;
    HDWP moves = BeginDeferWindowPos(int(placed.size()));
    for (const Placed& p : placed) {
        PixelRect r = anchored_rect(p.start, p.anchor, dw, dh, p.close_up);
        // Only the log and the stretched fields change size: a combo box's
        // height is that of its list.
        bool sized = p.anchor == Anchor::grow || p.anchor == Anchor::stretch;
        UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (sized ? 0 : SWP_NOSIZE);
        if (moves != nullptr)
            moves = DeferWindowPos(moves, p.control, nullptr, r.x, r.y, r.w, r.h, flags);
    }
    if (moves != nullptr) EndDeferWindowPos(moves);
    if (count > 0 && last_shown >= count)
        send_item(idc_log, LVM_ENSUREVISIBLE, WPARAM(count - 1), TRUE);
    InvalidateRect(main_window, nullptr, TRUE);
    trace_size();
    trace_places();
}

// The log's context menu, from the pointer (at the entry under it) or from
// the keyboard (at the log's corner).
bool context_menu(HWND control, LPARAM lparam) {
    HWND log = GetDlgItem(main_window, idc_log);
    if (control != log) return false;
    uint32_t item = no_item;
    if (GET_X_LPARAM(lparam) == -1 && GET_Y_LPARAM(lparam) == -1) {
        menu_anchor = {8, 8};
        ClientToScreen(log, &menu_anchor);
    } else {
        menu_anchor = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        LVHITTESTINFO hit{};
        hit.pt = menu_anchor;
        ScreenToClient(log, &hit.pt);
        LRESULT index = SendMessageA(log, LVM_HITTEST, 0, LPARAM(&hit));
        if (index >= 0) item = uint32_t(index);
    }
    app_proc(DialogMsg::context_menu, item);
    return true;
}

INT_PTR CALLBACK dialog_procedure(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
    case WM_INITDIALOG: {
        main_window = window;
        HWND edit = GetDlgItem(window, idc_command);
        edit_procedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(command_edit_procedure)));
        // A drop-down combo box's one child is its edit field.
        if (HWND address = GetWindow(GetDlgItem(window, idc_address), GW_CHILD); address != nullptr)
            address_edit_procedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                address, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(address_edit_procedure_hook)));
        bool result = app_proc(DialogMsg::init, 0);
        make_resizable();
        return result ? TRUE : FALSE;
    }
    case WM_COMMAND:
        if (HIWORD(wparam) == CBN_SELCHANGE && window_tracing()) {
            int id = LOWORD(wparam);
            char item[256] = "";
            int index = ui_combo_selection(id);
            if (index >= 0) ui_combo_item_text(id, index, item, sizeof item);
            window_trace("pick", id, item);
        }
        return app_proc(DialogMsg::command, uint32_t(wparam)) ? TRUE : FALSE;
    case WM_CLOSE:
        return app_proc(DialogMsg::close, 0) ? TRUE : FALSE;
    case WM_CONTEXTMENU:
        return context_menu(reinterpret_cast<HWND>(wparam), lparam) ? TRUE : FALSE;
    case WM_GETMINMAXINFO:
        if (least_window.cx == 0) return FALSE;
        reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = {least_window.cx, least_window.cy};
        return TRUE;
    case WM_SIZE:
        if (wparam != SIZE_MINIMIZED) lay_out(LOWORD(lparam), HIWORD(lparam));
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

bool ui_create_dialog(DialogProc proc) {
    app_proc = proc;
    window_trace_open(); // open for the rest of the process
    return CreateDialogParamA(module_instance, dialog_def.name, nullptr, dialog_procedure, 0) !=
           nullptr;
}

void ui_show_dialog() {
    ShowWindow(main_window, SW_SHOWNORMAL);
    if (!window_tracing()) return;
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
    char shown[512];
    snprintf(shown, sizeof shown,
             "window=%ld,%ld,%ld,%ld client=%ld,%ld,%ld,%ld base=%ld,%ld caption=%s", frame.left,
             frame.top, frame.right, frame.bottom, origin.x, origin.y, client.right, client.bottom,
             base.right, base.bottom, caption);
    window_trace("shown", 0, shown);
}

void ui_end_dialog() {
    EndDialog(main_window, 0);
}

void ui_destroy_dialog() {
    DestroyWindow(main_window);
    main_window = nullptr;
    placed.clear();
}

void ui_set_title(const char* text) {
    SetWindowTextA(main_window, text);
    window_trace("title", 0, text);
}

void ui_set_text(int id, const char* text) {
    SetDlgItemTextA(main_window, id, text);
    if (!window_tracing()) return;
    char shown[1024];
    ui_get_text(id, shown, sizeof shown);
    window_trace("text", id, shown);
}

int ui_get_text(int id, char* buf, int cap) {
    if (cap <= 0) return 0;
    buf[0] = '\0';
    return int(GetDlgItemTextA(main_window, id, buf, cap));
}

void ui_enable(int id, bool enabled) {
    EnableWindow(GetDlgItem(main_window, id), enabled);
    window_trace("enable", id, ui_is_enabled(id) ? "1" : "0");
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
    if (send_item(id, LVM_INSERTCOLUMNA, WPARAM(column), LPARAM(&col)) >= 0 && id == idc_log)
        ++log_columns;
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
    // Fields after the log's own columns have no column, the time column
    // being none of theirs.
    if (id == idc_log && column >= log_columns) return;
    LVITEMA sub{};
    sub.iSubItem = column;
    sub.pszText = const_cast<char*>(text);
    send_item(id, LVM_SETITEMTEXTA, WPARAM(item), LPARAM(&sub));
    // The log's own text, as the list view holds it rather than as it was
    // given.
    if (!window_tracing() || id != idc_log || column != 0) return;
    char shown[4096] = "";
    sub.pszText = shown;
    sub.cchTextMax = sizeof shown;
    send_item(id, LVM_GETITEMTEXTA, WPARAM(item), LPARAM(&sub));
    window_trace("log", item, shown);
}

void ui_list_ensure_visible(int id, int item) {
    send_item(id, LVM_ENSUREVISIBLE, WPARAM(item), TRUE); // partly visible is enough
}

void ui_list_delete_all(int id) {
    send_item(id, LVM_DELETEALLITEMS, 0, 0);
    window_trace("log-count", id, std::to_string(ui_list_count(id)).c_str());
}

int ui_list_item_text(int id, int item, int column, char* buf, int cap) {
    if (cap <= 0) return 0;
    buf[0] = '\0';
    LVITEMA sub{};
    sub.iSubItem = column;
    sub.pszText = buf;
    sub.cchTextMax = cap;
    return int(send_item(id, LVM_GETITEMTEXTA, WPARAM(item), LPARAM(&sub)));
}

int ui_list_next_selected(int id, int after) {
    return int(send_item(id, LVM_GETNEXTITEM, WPARAM(after), MAKELPARAM(LVNI_SELECTED, 0)));
}

void ui_list_show_time_column(int id, bool shown) {
    if (id != idc_log || shown == time_column) return;
    time_column = shown;
    if (!shown) {
        send_item(id, LVM_DELETECOLUMN, WPARAM(log_columns), 0);
        window_trace("time-column", id, "0");
        return;
    }
    LVCOLUMNA col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    col.fmt = LVCFMT_LEFT;
    col.cx = int(send_item(id, LVM_GETSTRINGWIDTHA, 0, LPARAM("00:00:00.000"))) + 14;
    col.pszText = const_cast<char*>("Time");
    send_item(id, LVM_INSERTCOLUMNA, WPARAM(log_columns), LPARAM(&col));
    std::vector<int> order;
    order.push_back(log_columns);
    for (int i = 0; i < log_columns; ++i) order.push_back(i);
    send_item(id, LVM_SETCOLUMNORDERARRAY, WPARAM(order.size()), LPARAM(order.data()));
    window_trace("time-column", id, "1");
}

void ui_list_set_time_text(int id, int item, const char* text) {
    if (id != idc_log || !time_column) return;
    LVITEMA sub{};
    sub.iSubItem = log_columns;
    sub.pszText = const_cast<char*>(text);
    send_item(id, LVM_SETITEMTEXTA, WPARAM(item), LPARAM(&sub));
}

int ui_popup_menu(const MenuEntry* entries, int count) {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return -1;
    for (int i = 0; i < count; ++i)
        AppendMenuA(menu, MF_STRING | (entries[i].checked ? MF_CHECKED : MF_UNCHECKED),
                    UINT_PTR(i + 1), entries[i].text);
    if (window_tracing()) {
        std::string shown;
        for (int i = 0; i < count; ++i) {
            if (i > 0) shown += '|';
            shown += entries[i].text;
        }
        window_trace("menu", count, shown.c_str());
        char at[32];
        snprintf(at, sizeof at, "%ld,%ld", menu_anchor.x, menu_anchor.y);
        window_trace("menu-at", count, at);
    }
    int chosen =
        int(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN,
                           menu_anchor.x, menu_anchor.y, 0, main_window, nullptr));
    DestroyMenu(menu);
    window_trace("menu-pick", chosen - 1, chosen > 0 ? entries[chosen - 1].text : "");
    return chosen - 1;
}

void ui_copy_to_clipboard(const char* text) {
    std::string lines;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\n') lines += '\r';
        lines += *p;
    }
    if (!OpenClipboard(main_window)) return;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, lines.size() + 1);
    if (void* copy = memory != nullptr ? GlobalLock(memory) : nullptr) {
        memcpy(copy, lines.c_str(), lines.size() + 1);
        GlobalUnlock(memory);
        // The clipboard owns the memory once it has taken it.
        if (SetClipboardData(CF_TEXT, memory) != nullptr) memory = nullptr;
    }
    if (memory != nullptr) GlobalFree(memory);
    CloseClipboard();
    window_trace("clipboard", int(lines.size()), text);
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
    window_trace_open(); // a box may come before the window
    window_trace_box(type, caption, text);
    int answer = MessageBoxA(owned ? main_window : nullptr, text, caption, type);
    window_trace("box-answer", answer, caption);
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
    window_trace("picker", 0, request.title);
    bool chosen = GetOpenFileNameA(&ofn) != FALSE;
    window_trace("picked", chosen ? 1 : 0, chosen ? request.path : "");
    return chosen;
}

bool ui_save_file_dialog(const SaveFileRequest& request) {
    // The filter entries, each a description and a pattern, then the empty
    // entry that ends the list.
    std::string filter;
    for (int i = 0; i < request.filter_count; ++i) {
        filter += request.filters[i].description;
        filter += '\0';
        filter += request.filters[i].pattern;
        filter += '\0';
    }
    filter += '\0';
    if (request.path_capacity <= 0) return false;

    OPENFILENAMEA ofn{};
    ofn.lStructSize = open_file_size;
    ofn.hwndOwner = main_window;
    ofn.hInstance = module_instance;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = request.path;
    ofn.nMaxFile = DWORD(request.path_capacity);
    ofn.lpstrTitle = request.title;
    // The current directory stays: the other fields may hold relative paths.
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                OFN_EXPLORER | OFN_LONGNAMES;
    ofn.lpstrDefExt = request.default_ext;
    window_trace("picker", 1, request.title);
    bool chosen = GetSaveFileNameA(&ofn) != FALSE;
    window_trace("picked", chosen ? 1 : 0, chosen ? request.path : "");
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
