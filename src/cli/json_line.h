// One JSON object on one line of a stream, written as it is built. Texts are
// the program's 8-bit texts: they go out as UTF-8, with quotes, backslashes
// and control bytes escaped, so that every line parses whatever a device
// or a file held.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

struct JsonLine {
    FILE* out;
    bool first = true;
};

JsonLine json_begin(FILE* out);
void json_text(JsonLine& line, const char* key, std::string_view text8);
void json_number(JsonLine& line, const char* key, long long value);
void json_real(JsonLine& line, const char* key, double value); // two decimals
void json_null(JsonLine& line, const char* key);
// An array of texts: the key, then each item, then the end.
void json_array_begin(JsonLine& line, const char* key);
void json_array_text(JsonLine& line, std::string_view text8);
void json_array_end(JsonLine& line);
// An object as a member (after its key) or as an item of an array: its
// members follow, then the end.
void json_object_begin(JsonLine& line, const char* key);
void json_array_object_begin(JsonLine& line);
void json_object_end(JsonLine& line);
// Closes the object and the line, and flushes it.
void json_end(JsonLine& line);

// The text as a JSON string with its quotes.
void json_write_string(FILE* out, std::string_view text8);
