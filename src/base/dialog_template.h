// The dialog template "VARNOKE": one table of its controls, from which each
// platform builds the window. Positions are in dialog units.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

enum : int {
    idc_log = 1000,
    idc_command = 1001,
    idc_send = 1002,
    idc_sign = 1003,
    idc_exit = 1004,
    idc_connect = 1007,
    idc_sign_path = 1008,
    idc_pick_sign = 1009,
    // The status bit labels, named by the captions above them: bits 7 to 0
    // of the device status byte, then those of the function status byte,
    // whose bits 4 and 0 are not shown.
    idc_status_first = 1010,
    idc_bat = 1010,
    idc_fcon = 1011,
    idc_user = 1012,
    idc_pcon = 1013,
    idc_cmos = 1014,
    idc_pend = 1015,
    idc_fatal = 1016,
    idc_busy = 1017,
    idc_ffull = 1018,
    idc_dfull = 1019,
    idc_fwarn = 1020,
    idc_function_bit4 = 1021,
    idc_rcvr = 1022,
    idc_sip = 1023,
    idc_day = 1024,
    idc_function_bit0 = 1025,
    idc_status_last = 1025,
    idc_refresh = 1026,
    idc_request = 1027,
    idc_reply = 1028,
    idc_details = 1029,
    idc_clear = 1030,
    idc_batch_path = 1031,
    idc_pick_batch = 1032,
    idc_run_batch = 1033,
    idc_address = 1034,
    idc_kind = 1035,
    idc_bmp = 1036,
    idc_esd = 1037,
    idc_none = -1,
};

// The bit of its status byte that a status label shows, bit 7 first: the
// first eight labels show device_status, the others function_status.
// Function bits 4 and 0 have no caption and always read "--".
constexpr bool shows_device_status(int label) {
    return label < idc_ffull;
}
constexpr bool shows_status_bit(int label) {
    return label != idc_function_bit4 && label != idc_function_bit0;
}
constexpr int32_t status_bit(int label) {
    return 0x80 >> ((label - idc_status_first) % 8);
}

enum class ControlKind {
    list_view,     // report mode, tab stop
    edit,          // one line; auto_hscroll style adds ES_AUTOHSCROLL
    button,        // push button
    check_box,     // automatic check box
    static_center, // static text, centred
    static_left,
    static_right,
    combo_edit, // drop-down with edit field, vertical scroll
    combo_list, // drop-down list, vertical scroll
    group_box,
};

struct ControlDef {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, w, h;
    bool border = false;       // WS_BORDER on the command edit
    bool auto_hscroll = false; // ES_AUTOHSCROLL
    bool disabled = false;     // WS_DISABLED in the template
};

struct DialogDef {
    const char* name;
    const char* caption;
    int w, h;
    const char* font;
    int font_points;
};

// The bytes "Send command" reads from the command field, its end included.
inline constexpr size_t command_field_size = 2000;

inline constexpr DialogDef dialog_def{"VARNOKE", "Varnoke v2.24n", 380, 258, "MS Sans Serif", 8};

inline constexpr std::array dialog_controls{
    ControlDef{idc_log, ControlKind::list_view, "", 4, 6, 369, 106},
    ControlDef{idc_command, ControlKind::edit, "", 4, 193, 282, 13, true, true},
    ControlDef{idc_send, ControlKind::button, "Send command", 307, 193, 67, 14, false, false, true},
    ControlDef{idc_sign, ControlKind::button, "Sign File", 307, 209, 67, 14, false, false, true},
    ControlDef{idc_exit, ControlKind::button, "Exit", 307, 242, 67, 14},
    ControlDef{idc_connect, ControlKind::button, "Connect", 218, 242, 41, 14},
    ControlDef{idc_sign_path, ControlKind::edit, "", 4, 209, 282, 13},
    ControlDef{idc_pick_sign, ControlKind::button, "..", 290, 210, 14, 12},
    ControlDef{idc_bat, ControlKind::static_center, "0", 11, 165, 14, 13},
    ControlDef{idc_fcon, ControlKind::static_center, "0", 33, 165, 14, 13},
    ControlDef{idc_user, ControlKind::static_center, "0", 55, 165, 14, 13},
    ControlDef{idc_pcon, ControlKind::static_center, "0", 77, 165, 14, 13},
    ControlDef{idc_cmos, ControlKind::static_center, "0", 99, 165, 14, 13},
    ControlDef{idc_pend, ControlKind::static_center, "0", 121, 165, 14, 13},
    ControlDef{idc_fatal, ControlKind::static_center, "0", 143, 165, 14, 13},
    ControlDef{idc_busy, ControlKind::static_center, "0", 165, 165, 14, 13},
    ControlDef{idc_ffull, ControlKind::static_center, "0", 201, 166, 14, 13},
    ControlDef{idc_dfull, ControlKind::static_center, "0", 223, 166, 14, 13},
    ControlDef{idc_fwarn, ControlKind::static_center, "0", 245, 166, 14, 13},
    ControlDef{idc_function_bit4, ControlKind::static_center, "--", 269, 166, 14, 13},
    ControlDef{idc_rcvr, ControlKind::static_center, "0", 291, 166, 14, 13},
    ControlDef{idc_sip, ControlKind::static_center, "0", 313, 166, 14, 13},
    ControlDef{idc_day, ControlKind::static_center, "0", 335, 166, 14, 13},
    ControlDef{idc_function_bit0, ControlKind::static_center, "--", 357, 166, 14, 13},
    ControlDef{idc_refresh, ControlKind::button, "Refresh", 262, 242, 42, 14, false, false, true},
    ControlDef{idc_request, ControlKind::static_left, "", 53, 115, 320, 12},
    ControlDef{idc_reply, ControlKind::static_left, "", 53, 129, 320, 12},
    ControlDef{idc_details, ControlKind::check_box, "Details", 4, 243, 40, 11},
    ControlDef{idc_clear, ControlKind::button, "X", 4, 111, 10, 10},
    ControlDef{idc_batch_path, ControlKind::edit, "", 4, 225, 282, 13},
    ControlDef{idc_pick_batch, ControlKind::button, "..", 290, 226, 14, 12},
    ControlDef{idc_run_batch, ControlKind::button, "Run batch", 307, 225, 41, 14, false, false,
               true},
    ControlDef{idc_address, ControlKind::combo_edit, "115200", 130, 242, 84, 59},
    ControlDef{idc_kind, ControlKind::combo_list, "COM1", 76, 242, 50, 112},
    ControlDef{idc_bmp, ControlKind::button, "BMP", 351, 225, 22, 14, false, false, true},
    ControlDef{idc_esd, ControlKind::check_box, "ESD", 44, 243, 31, 11},
    // Controls without an id.
    ControlDef{idc_none, ControlKind::group_box, "Device status bits", 3, 143, 185, 45},
    ControlDef{idc_none, ControlKind::group_box, "Function status bits", 193, 143, 184, 45},
    ControlDef{idc_none, ControlKind::static_right, "Request", 15, 115, 29, 12},
    ControlDef{idc_none, ControlKind::static_right, "Reply", 19, 128, 25, 12},
    ControlDef{idc_none, ControlKind::static_center, "bat", 8, 152, 20, 11},
    ControlDef{idc_none, ControlKind::static_center, "fcon", 30, 152, 20, 11},
    ControlDef{idc_none, ControlKind::static_center, "user", 51, 152, 20, 11},
    ControlDef{idc_none, ControlKind::static_center, "pcon", 74, 152, 20, 11},
    ControlDef{idc_none, ControlKind::static_center, "cmos", 96, 152, 20, 11},
    ControlDef{idc_none, ControlKind::static_center, "pend", 118, 152, 20, 11},
    ControlDef{idc_none, ControlKind::static_center, "fatal", 141, 152, 18, 11},
    ControlDef{idc_none, ControlKind::static_center, "busy", 163, 152, 18, 11},
    ControlDef{idc_none, ControlKind::static_center, "ffull", 197, 153, 20, 11},
    ControlDef{idc_none, ControlKind::static_center, "dfull", 220, 153, 17, 11},
    ControlDef{idc_none, ControlKind::static_center, "fwarn", 242, 153, 20, 11},
    ControlDef{idc_none, ControlKind::static_center, "rcvr", 290, 153, 16, 11},
    ControlDef{idc_none, ControlKind::static_center, "sip", 312, 153, 15, 11},
    ControlDef{idc_none, ControlKind::static_center, "day", 331, 153, 20, 11},
};
