#include "app/log.h"

#include "app/dialog_template.h"
#include "app/window.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
char format_buffer[log_format_size];
char half_buffer[log_half_size];
char column_buffer[log_column_max + 6];
char error_box_text[error_box_size];

// Appends len bytes of text as entries of at most log_half_size - 1 bytes, so
// that each piece fits the half buffer. A half longer than that (a line over
// 510 characters) becomes several entries rather than losing its tail.
void append_half(const char* text, size_t len) {
    do {
        size_t piece = len < log_half_size - 1 ? len : log_half_size - 1;
        memcpy(half_buffer, text, piece);
        half_buffer[piece] = '\0';
        log_append(idc_log, half_buffer);
        text += piece;
        len -= piece;
    } while (len > 0);
}
} // namespace

int log_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int r = vsnprintf(format_buffer, sizeof format_buffer, format, args);
    va_end(args);
    size_t n = r < 0 ? 0 : size_t(r);
    if (n >= sizeof format_buffer) n = sizeof format_buffer - 1;
    format_buffer[n] = '\0';

    if (n <= log_split_above) {
        log_append(idc_log, format_buffer);
    } else {
        append_half(format_buffer, n / 2);
        append_half(format_buffer + n / 2, n - n / 2);
    }
    return int(n);
}

void log_append(int list_id, char* text) {
    // Entries are inserted in order, one per line; the scroll runs from the
    // last new entry back to the first so that the first line of a multi-line
    // text ends up visible.
    int first = ui_list_count(list_id);
    int item = first;
    char* line = text;
    for (;;) {
        ui_list_insert_item(list_id, item);
        char* end = line;
        while (*end != '\0' && *end != '\n') ++end;
        char* rest = nullptr;
        if (*end == '\n') {
            *end = '\0';
            if (end[1] != '\0') rest = end + 1;
        }
        int column = 0;
        for (char* seg = line;;) {
            char* stop = seg;
            while (*stop != '\0' && *stop != '\t') ++stop;
            size_t len = size_t(stop - seg);
            if (len == 0 || len > log_column_max) break;
            memcpy(column_buffer, seg, len);
            column_buffer[len] = '\0';
            ui_list_set_item_text(list_id, item, column, column_buffer);
            ++column;
            if (*stop != '\t') break;
            seg = stop + 1;
        }
        if (rest == nullptr) break;
        line = rest;
        ++item;
    }
    for (int i = item; i >= first; --i) ui_list_ensure_visible(list_id, i);
}

void insert_columns(int list_id, const char* const* headers, const int* widths, int count) {
    ui_list_set_full_row_select(list_id);
    for (int i = 0; i < count; ++i) ui_list_insert_column(list_id, i, headers[i], widths[i]);
}

void show_error_box(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(error_box_text, sizeof error_box_text, format, args);
    va_end(args);
    ui_message_box(true, error_box_text, " Error ", mb_ok | mb_iconerror);
}
