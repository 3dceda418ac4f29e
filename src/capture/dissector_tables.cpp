#include "capture/dissector_tables.h"

#include "base/dialog_template.h"
#include "command/device_errors.h"

#include <cstdio>
#include <string_view>

namespace {

// The caption above a status label: the caption centred over it.
constexpr const char* caption_of(int label_id) {
    size_t label = dialog_controls.size();
    for (size_t i = 0; i < dialog_controls.size(); ++i)
        if (dialog_controls[i].id == label_id) label = i;
    if (label == dialog_controls.size()) return nullptr;
    const ControlDef& l = dialog_controls[label];
    for (const ControlDef& c : dialog_controls) {
        int offset = 2 * c.x + c.w - (2 * l.x + l.w);
        if (c.id == idc_none && c.kind == ControlKind::static_center && c.y < l.y &&
            l.y - c.y < 20 && offset >= -4 && offset <= 4)
            return c.text;
    }
    return nullptr;
}

constexpr bool every_shown_bit_has_a_caption() {
    for (int id = idc_status_first; id <= idc_status_last; ++id)
        if (shows_status_bit(id) != (caption_of(id) != nullptr)) return false;
    return true;
}
static_assert(every_shown_bit_has_a_caption());

std::string lua_string(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string error_row(unsigned code, const DeviceError& row) {
    char key[16];
    snprintf(key, sizeof key, "[0x%02X] = ", code);
    return std::string("    ") + key + "{ " + lua_string(row.name) + ", " +
           lua_string(row.description) + " },\n";
}

std::string bits(bool device) {
    std::string out;
    for (int id = idc_status_first; id <= idc_status_last; ++id) {
        if (shows_device_status(id) != device || !shows_status_bit(id)) continue;
        char bit[8];
        snprintf(bit, sizeof bit, "0x%02X", unsigned(status_bit(id)));
        out += std::string("    { ") + bit + ", " + lua_string(caption_of(id)) + " },\n";
    }
    return out;
}

} // namespace

std::string dissector_tables_lua() {
    std::string lua = "-- Written by the build target update_wireshark_lua; do not edit.\n"
                      "-- Device error codes: name and description.\n"
                      "local device_errors = {\n";
    for (size_t code = 0; code + 1 < device_error_table.size(); ++code)
        lua += error_row(unsigned(code), device_error_table[code]);
    lua += error_row(0x80, device_error_table.back());
    lua += "}\n-- The status bits by the captions of the console's status panel.\n"
           "local device_status_bits = {\n" +
           bits(true) + "}\nlocal function_status_bits = {\n" + bits(false) + "}\n";
    return lua;
}

std::string with_dissector_tables(const std::string& lua) {
    size_t begin = lua.find(lua_tables_begin);
    if (begin == std::string::npos) return "";
    size_t body = lua.find('\n', begin);
    size_t end = lua.find(lua_tables_end, begin);
    if (body == std::string::npos || end == std::string::npos || end < body) return "";
    return lua.substr(0, body + 1) + dissector_tables_lua() + lua.substr(end);
}
