#include "cli/json_line.h"

#include "base/text8.h"

#include <cstdint>
#include <string>

void json_write_string(FILE* out, std::string_view text8) {
    std::string utf8 = text8_to_utf8(text8);
    fputc('"', out);
    for (char c : utf8) {
        auto byte = uint8_t(c);
        if (c == '"' || c == '\\')
            fprintf(out, "\\%c", c);
        else if (byte < 0x20 || byte == 0x7F)
            fprintf(out, "\\u%04X", unsigned(byte));
        else
            fputc(c, out);
    }
    fputc('"', out);
}

namespace {
void key_of(JsonLine& line, const char* key) {
    if (!line.first) fputc(',', line.out);
    line.first = false;
    json_write_string(line.out, key);
    fputc(':', line.out);
}
} // namespace

JsonLine json_begin(FILE* out) {
    fputc('{', out);
    return JsonLine{out};
}

void json_text(JsonLine& line, const char* key, std::string_view text8) {
    key_of(line, key);
    json_write_string(line.out, text8);
}

void json_number(JsonLine& line, const char* key, long long value) {
    key_of(line, key);
    fprintf(line.out, "%lld", value);
}

void json_real(JsonLine& line, const char* key, double value) {
    key_of(line, key);
    fprintf(line.out, "%.2f", value);
}

void json_null(JsonLine& line, const char* key) {
    key_of(line, key);
    fputs("null", line.out);
}

void json_array_begin(JsonLine& line, const char* key) {
    key_of(line, key);
    fputc('[', line.out);
    line.first = true;
}

void json_array_text(JsonLine& line, std::string_view text8) {
    if (!line.first) fputc(',', line.out);
    line.first = false;
    json_write_string(line.out, text8);
}

void json_array_end(JsonLine& line) {
    fputc(']', line.out);
    line.first = false;
}

void json_object_begin(JsonLine& line, const char* key) {
    key_of(line, key);
    fputc('{', line.out);
    line.first = true;
}

void json_array_object_begin(JsonLine& line) {
    if (!line.first) fputc(',', line.out);
    fputc('{', line.out);
    line.first = true;
}

void json_object_end(JsonLine& line) {
    fputc('}', line.out);
    line.first = false;
}

void json_end(JsonLine& line) {
    fputs("}\n", line.out);
    fflush(line.out);
}
