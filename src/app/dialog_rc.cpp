#include "app/dialog_rc.h"

#include "base/dialog_template.h"

#include <string>

namespace {

struct ControlClass {
    const char* name;
    const char* style;
};

ControlClass control_class(ControlKind kind) {
    switch (kind) {
    case ControlKind::list_view:
        return {"SysListView32", "LVS_REPORT | WS_TABSTOP"};
    case ControlKind::edit:
        return {"Edit", "ES_LEFT | WS_TABSTOP"};
    case ControlKind::button:
        return {"Button", "BS_PUSHBUTTON | WS_TABSTOP"};
    case ControlKind::check_box:
        return {"Button", "BS_AUTOCHECKBOX | WS_TABSTOP"};
    case ControlKind::static_center:
        return {"Static", "SS_CENTER"};
    case ControlKind::static_left:
        return {"Static", "SS_LEFT"};
    case ControlKind::static_right:
        return {"Static", "SS_RIGHT"};
    case ControlKind::combo_edit:
        return {"ComboBox", "CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP"};
    case ControlKind::combo_list:
        return {"ComboBox", "CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP"};
    case ControlKind::group_box:
        return {"Button", "BS_GROUPBOX"};
    }
    return {"Static", "SS_LEFT"};
}

// A resource script string: quotes are doubled.
std::string quoted(const char* text) {
    std::string out = "\"";
    for (const char* p = text; *p != '\0'; ++p) {
        out += *p;
        if (*p == '"') out += '"';
    }
    return out + '"';
}

} // namespace

std::string dialog_rc_text() {
    using std::to_string;
    std::string rc = "// Generated from dialog_template.h by varnoke_rcgen; edit the table, not\n"
                     "// this file.\n"
                     "#include <windows.h>\n"
                     "#include <commctrl.h>\n\n";
    rc += std::string(dialog_def.name) + " DIALOG 0, 0, " + to_string(dialog_def.w) + ", " +
          to_string(dialog_def.h) + "\n";
    rc += "STYLE DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU\n";
    rc += "CAPTION " + quoted(dialog_def.caption) + "\n";
    rc += "FONT " + to_string(dialog_def.font_points) + ", " + quoted(dialog_def.font) + "\n";
    rc += "BEGIN\n";
    for (const ControlDef& c : dialog_controls) {
        ControlClass cls = control_class(c.kind);
        // A combo box's text comes from its list, not from the template.
        bool combo = c.kind == ControlKind::combo_edit || c.kind == ControlKind::combo_list;
        std::string style = cls.style;
        if (c.auto_hscroll) style += " | ES_AUTOHSCROLL";
        if (c.border) style += " | WS_BORDER";
        if (c.disabled) style += " | WS_DISABLED";
        rc += "    CONTROL " + quoted(combo ? "" : c.text) + ", " + to_string(c.id) + ", " +
              quoted(cls.name) + ", " + style + ", " + to_string(c.x) + ", " + to_string(c.y) +
              ", " + to_string(c.w) + ", " + to_string(c.h) + "\n";
    }
    rc += "END\n";
    return rc;
}
