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

// One entry on two lines: what the control is, then where it is.
// clang-format off
inline constexpr std::array dialog_controls{
    ControlDef{.id = idc_log, .kind = ControlKind::list_view, .text = "",
               .x = 4, .y = 6, .w = 369, .h = 106},
    ControlDef{.id = idc_command, .kind = ControlKind::edit, .text = "",
               .x = 4, .y = 193, .w = 282, .h = 13, .border = true, .auto_hscroll = true},
    ControlDef{.id = idc_send, .kind = ControlKind::button, .text = "Send command",
               .x = 307, .y = 193, .w = 67, .h = 14, .disabled = true},
    ControlDef{.id = idc_sign, .kind = ControlKind::button, .text = "Sign File",
               .x = 307, .y = 209, .w = 67, .h = 14, .disabled = true},
    ControlDef{.id = idc_exit, .kind = ControlKind::button, .text = "Exit",
               .x = 307, .y = 242, .w = 67, .h = 14},
    ControlDef{.id = idc_connect, .kind = ControlKind::button, .text = "Connect",
               .x = 218, .y = 242, .w = 41, .h = 14},
    ControlDef{.id = idc_sign_path, .kind = ControlKind::edit, .text = "",
               .x = 4, .y = 209, .w = 282, .h = 13},
    ControlDef{.id = idc_pick_sign, .kind = ControlKind::button, .text = "..",
               .x = 290, .y = 210, .w = 14, .h = 12},
    ControlDef{.id = idc_bat, .kind = ControlKind::static_center, .text = "0",
               .x = 11, .y = 165, .w = 14, .h = 13},
    ControlDef{.id = idc_fcon, .kind = ControlKind::static_center, .text = "0",
               .x = 33, .y = 165, .w = 14, .h = 13},
    ControlDef{.id = idc_user, .kind = ControlKind::static_center, .text = "0",
               .x = 55, .y = 165, .w = 14, .h = 13},
    ControlDef{.id = idc_pcon, .kind = ControlKind::static_center, .text = "0",
               .x = 77, .y = 165, .w = 14, .h = 13},
    ControlDef{.id = idc_cmos, .kind = ControlKind::static_center, .text = "0",
               .x = 99, .y = 165, .w = 14, .h = 13},
    ControlDef{.id = idc_pend, .kind = ControlKind::static_center, .text = "0",
               .x = 121, .y = 165, .w = 14, .h = 13},
    ControlDef{.id = idc_fatal, .kind = ControlKind::static_center, .text = "0",
               .x = 143, .y = 165, .w = 14, .h = 13},
    ControlDef{.id = idc_busy, .kind = ControlKind::static_center, .text = "0",
               .x = 165, .y = 165, .w = 14, .h = 13},
    ControlDef{.id = idc_ffull, .kind = ControlKind::static_center, .text = "0",
               .x = 201, .y = 166, .w = 14, .h = 13},
    ControlDef{.id = idc_dfull, .kind = ControlKind::static_center, .text = "0",
               .x = 223, .y = 166, .w = 14, .h = 13},
    ControlDef{.id = idc_fwarn, .kind = ControlKind::static_center, .text = "0",
               .x = 245, .y = 166, .w = 14, .h = 13},
    ControlDef{.id = idc_function_bit4, .kind = ControlKind::static_center, .text = "--",
               .x = 269, .y = 166, .w = 14, .h = 13},
    ControlDef{.id = idc_rcvr, .kind = ControlKind::static_center, .text = "0",
               .x = 291, .y = 166, .w = 14, .h = 13},
    ControlDef{.id = idc_sip, .kind = ControlKind::static_center, .text = "0",
               .x = 313, .y = 166, .w = 14, .h = 13},
    ControlDef{.id = idc_day, .kind = ControlKind::static_center, .text = "0",
               .x = 335, .y = 166, .w = 14, .h = 13},
    ControlDef{.id = idc_function_bit0, .kind = ControlKind::static_center, .text = "--",
               .x = 357, .y = 166, .w = 14, .h = 13},
    ControlDef{.id = idc_refresh, .kind = ControlKind::button, .text = "Refresh",
               .x = 262, .y = 242, .w = 42, .h = 14, .disabled = true},
    ControlDef{.id = idc_request, .kind = ControlKind::static_left, .text = "",
               .x = 53, .y = 115, .w = 320, .h = 12},
    ControlDef{.id = idc_reply, .kind = ControlKind::static_left, .text = "",
               .x = 53, .y = 129, .w = 320, .h = 12},
    ControlDef{.id = idc_details, .kind = ControlKind::check_box, .text = "Details",
               .x = 4, .y = 243, .w = 40, .h = 11},
    ControlDef{.id = idc_clear, .kind = ControlKind::button, .text = "X",
               .x = 4, .y = 111, .w = 10, .h = 10},
    ControlDef{.id = idc_batch_path, .kind = ControlKind::edit, .text = "",
               .x = 4, .y = 225, .w = 282, .h = 13},
    ControlDef{.id = idc_pick_batch, .kind = ControlKind::button, .text = "..",
               .x = 290, .y = 226, .w = 14, .h = 12},
    ControlDef{.id = idc_run_batch, .kind = ControlKind::button, .text = "Run batch",
               .x = 307, .y = 225, .w = 41, .h = 14, .disabled = true},
    ControlDef{.id = idc_address, .kind = ControlKind::combo_edit, .text = "115200",
               .x = 130, .y = 242, .w = 84, .h = 59},
    ControlDef{.id = idc_kind, .kind = ControlKind::combo_list, .text = "COM1",
               .x = 76, .y = 242, .w = 50, .h = 112},
    ControlDef{.id = idc_bmp, .kind = ControlKind::button, .text = "BMP",
               .x = 351, .y = 225, .w = 22, .h = 14, .disabled = true},
    ControlDef{.id = idc_esd, .kind = ControlKind::check_box, .text = "ESD",
               .x = 44, .y = 243, .w = 31, .h = 11},
    // Controls without an id.
    ControlDef{.id = idc_none, .kind = ControlKind::group_box, .text = "Device status bits",
               .x = 3, .y = 143, .w = 185, .h = 45},
    ControlDef{.id = idc_none, .kind = ControlKind::group_box, .text = "Function status bits",
               .x = 193, .y = 143, .w = 184, .h = 45},
    ControlDef{.id = idc_none, .kind = ControlKind::static_right, .text = "Request",
               .x = 15, .y = 115, .w = 29, .h = 12},
    ControlDef{.id = idc_none, .kind = ControlKind::static_right, .text = "Reply",
               .x = 19, .y = 128, .w = 25, .h = 12},
    ControlDef{.id = idc_none, .kind = ControlKind::static_center, .text = "bat",
               .x = 8, .y = 152, .w = 20, .h = 11},
    ControlDef{.id = idc_none, .kind = ControlKind::static_center, .text = "fcon",
               .x = 30, .y = 152, .w = 20, .h = 11},
    ControlDef{.id = idc_none, .kind = ControlKind::static_center, .text = "user",
               .x = 51, .y = 152, .w = 20, .h = 11},
    ControlDef{.id = idc_none, .kind = ControlKind::static_center, .text = "pcon",
               .x = 74, .y = 152, .w = 20, .h = 11},
    ControlDef{.id = idc_none, .kind = ControlKind::static_center, .text = "cmos",
               .x = 96, .y = 152, .w = 20, .h = 11},
    ControlDef{.id = idc_none, .kind = ControlKind::static_center, .text = "pend",
               .x = 118, .y = 152, .w = 20, .h = 11},
    ControlDef{.id = idc_none, .kind = ControlKind::static_center, .text = "fatal",
               .x = 141, .y = 152, .w = 18, .h = 11},
    ControlDef{.id = idc_none, .kind = ControlKind::static_center, .text = "busy",
               .x = 163, .y = 152, .w = 18, .h = 11},
    ControlDef{.id = idc_none, .kind = ControlKind::static_center, .text = "ffull",
               .x = 197, .y = 153, .w = 20, .h = 11},
    ControlDef{.id = idc_none, .kind = ControlKind::static_center, .text = "dfull",
               .x = 220, .y = 153, .w = 17, .h = 11},
    ControlDef{.id = idc_none, .kind = ControlKind::static_center, .text = "fwarn",
               .x = 242, .y = 153, .w = 20, .h = 11},
    ControlDef{.id = idc_none, .kind = ControlKind::static_center, .text = "rcvr",
               .x = 290, .y = 153, .w = 16, .h = 11},
    ControlDef{.id = idc_none, .kind = ControlKind::static_center, .text = "sip",
               .x = 312, .y = 153, .w = 15, .h = 11},
    ControlDef{.id = idc_none, .kind = ControlKind::static_center, .text = "day",
               .x = 331, .y = 153, .w = 20, .h = 11},
};
// clang-format on
