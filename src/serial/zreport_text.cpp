// What the Z-report capture reads from the replies to "A" and "Q", apart
// from any file.
#include "serial/zreport.h"

#include "base/results.h"

#include <cctype>
#include <cstdint>
#include <cstring>

namespace {

constexpr size_t identifier_at = 13; // in the reply to "A"
constexpr size_t identifier_max = zreport_identifier_max;
constexpr size_t line_reply_max = 60; // a "Q" reply is cut to this
constexpr size_t line_type_at = 9;
constexpr size_t line_text_at = 11;

// Windows opens a device, in any folder, when the part of a file's name
// before its first dot is a device name (trailing blanks and case aside).
bool device_name(std::string_view base) {
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    char upper[8];
    if (base.size() >= sizeof upper) return false;
    for (size_t i = 0; i < base.size(); ++i) upper[i] = char(toupper(uint8_t(base[i])));
    std::string_view name(upper, base.size());
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (name == device) return true;
    // COM0 to COM9 and LPT0 to LPT9, the superscript digits too.
    std::string_view kind = name.substr(0, 3);
    auto digit = uint8_t(name.size() == 4 ? name[3] : 0);
    return (kind == "COM" || kind == "LPT") &&
           (isdigit(digit) || digit == 0xB9 || digit == 0xB2 || digit == 0xB3);
}

} // namespace

bool zreport_names_a_file(std::string_view identifier) {
    if (identifier.empty() || identifier.size() > identifier_max ||
        identifier.find("..") != std::string_view::npos)
        return false;
    for (char c : identifier) {
        auto byte = uint8_t(c);
        if (byte < 0x20 || byte == 0x7F || strchr("/\\:<>\"|?*", c) != nullptr) return false;
    }
    size_t dot = identifier.find('.');
    return dot == std::string_view::npos || !device_name(identifier.substr(0, dot));
}

std::string_view zreport_identifier(const char* reply) {
    std::string_view identifier;
    if (size_t len = strlen(reply); len > identifier_at)
        identifier = std::string_view(reply + identifier_at, len - identifier_at);
    return identifier;
}

bool zreport_reply_repeated(const char* reply) {
    auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    if (reply[0] == '\0' || digit(reply[0]) < 0 || digit(reply[1]) < 0) return false;
    int32_t code = digit(reply[0]) * 16 + digit(reply[1]);
    return code == device_busy || code == device_printer_offline;
}

ZReportLine zreport_line(char* reply) {
    size_t len = strlen(reply);
    if (len >= line_reply_max) {
        reply[line_reply_max] = '\0';
        len = line_reply_max;
    }
    // A reply without a line type is no line of the report.
    if (len <= line_type_at) return {ZLineAction::skip, nullptr};
    char type = reply[line_type_at];
    if (type == '1' || type == '2') return {ZLineAction::skip, nullptr};
    if (type == '3') return {ZLineAction::close, nullptr};
    return {ZLineAction::write, len > line_text_at ? reply + line_text_at : ""};
}

std::string_view zreport_line_signature(const char* reply) {
    size_t len = strnlen(reply, line_reply_max);
    if (len <= line_text_at || (reply[line_type_at] != '1' && reply[line_type_at] != '2'))
        return {};
    for (size_t at = line_text_at; at < len;) {
        size_t end = at;
        while (end < len && isxdigit(uint8_t(reply[end]))) ++end;
        if (end - at == zreport_signature_size)
            return std::string_view(reply + at, zreport_signature_size);
        at = end + 1;
    }
    return {};
}
