// Writes the user guide named on the command line to standard output with its
// troubleshooting table, the lines between its two marker lines, made afresh
// from the console's device error table. A test keeps the committed guide
// equal to what this gives.
#include "command/device_errors.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

constexpr const char* table_begin = "<!-- BEGIN ERROR TABLE GENERATED FROM THE CONSOLE -->";
constexpr const char* table_end = "<!-- END ERROR TABLE GENERATED FROM THE CONSOLE -->";

// A table cell: a '|' would end the cell early.
std::string cell(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '|') out += '\\';
        out += *p;
    }
    return out;
}

std::string row(unsigned code, const DeviceError& e) {
    char hex[8];
    snprintf(hex, sizeof hex, "0x%02X", code);
    return std::string("| ") + hex + " | `" + e.name + "` | " + cell(e.description) + " | " +
           cell(e.action) + " |\n";
}

std::string error_table() {
    std::string out = "<!-- Written by the build target update_guide; do not edit. -->\n"
                      "| Code | Name | What the device says | What to do |\n"
                      "| --- | --- | --- | --- |\n";
    // Row 0 is "OK", which is never logged; the last row is code 0x80.
    for (size_t code = 1; code + 1 < device_error_table.size(); ++code)
        out += row(unsigned(code), device_error_table[code]);
    return out + row(0x80, device_error_table.back());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s guide.md\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string guide = text.str();
    size_t begin = guide.find(table_begin);
    size_t body = guide.find('\n', begin);
    size_t end = guide.find(table_end, begin);
    if (!in || begin == std::string::npos || body == std::string::npos ||
        end == std::string::npos || end < body) {
        fprintf(stderr, "%s: cannot read it, or it lacks the lines \"%s\" and \"%s\"\n", argv[1],
                table_begin, table_end);
        return 1;
    }
    std::cout << guide.substr(0, body + 1) << error_table() << guide.substr(end);
    return std::cout.flush() ? 0 : 1;
}
