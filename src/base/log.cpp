#include "base/log.h"

#include "base/dialog_template.h"
#include "base/wall_clock.h"
#include "base/window.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
char format_buffer[log_format_size];
char half_buffer[log_half_size];
char error_box_text[error_box_size];

// entry_times[i] is the time of entry i of the log list. The list is the
// record of what exists: should it hold other entries than these (emptied
// or filled by other means), the times follow it.
std::vector<int64_t> entry_times;
bool times_shown = false;

void set_time_text(int item) {
    char text[clock_time_size];
    format_clock_time(entry_times[size_t(item)], text);
    ui_list_set_time_text(idc_log, item, text);
}

// Appends the pieces of a formatted line, each through the half buffer.
void append_pieces(const char* text, size_t len) {
    LogPieces pieces = log_split_line(len);
    for (size_t i = 0; i < pieces.count; ++i) {
        memcpy(half_buffer, text + pieces.piece[i].offset, pieces.piece[i].length);
        half_buffer[pieces.piece[i].length] = '\0';
        log_append(idc_log, half_buffer);
    }
}

struct Appending {
    int list_id;
    int item;
    bool log;
    int64_t now;
};

void add_entry(void* context, size_t line) {
    auto& a = *static_cast<Appending*>(context);
    int item = a.item + int(line);
    ui_list_insert_item(a.list_id, item);
    if (!a.log) return;
    entry_times.push_back(a.now);
    if (times_shown) set_time_text(item);
}

void set_column(void* context, size_t line, int column, const char* text) {
    auto& a = *static_cast<Appending*>(context);
    ui_list_set_item_text(a.list_id, a.item + int(line), column, text);
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

    append_pieces(format_buffer, n);
    return int(n);
}

void log_append(int list_id, char* text) {
    // Entries are inserted in order, one per line; the scroll runs from the
    // last new entry back to the first so that the first line of a multi-line
    // text ends up visible.
    int first = ui_list_count(list_id);
    bool log = list_id == idc_log;
    int64_t now = log ? clock_local_ms() : 0;
    if (log) entry_times.resize(size_t(first), now);
    Appending appending{list_id, first, log, now};
    size_t entries = log_split_entries(text, {add_entry, set_column, &appending});
    for (int i = first + int(entries) - 1; i >= first; --i) ui_list_ensure_visible(list_id, i);
}

void log_record_init() {
    entry_times.clear();
    times_shown = false;
}

int64_t log_entry_time(int item) {
    return item >= 0 && size_t(item) < entry_times.size() ? entry_times[size_t(item)] : 0;
}

void log_clear() {
    ui_list_delete_all(idc_log);
    entry_times.clear();
}

void log_show_times(bool shown) {
    times_shown = shown;
    ui_list_show_time_column(idc_log, shown);
    if (!shown) return;
    entry_times.resize(size_t(ui_list_count(idc_log)), clock_local_ms());
    for (int item = 0; item < int(entry_times.size()); ++item) set_time_text(item);
}

bool log_times_shown() {
    return times_shown;
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
