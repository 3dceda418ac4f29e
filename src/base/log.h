// The message log: the list view at the top of the window, and the modal
// error box.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__GNUC__)
#define VARNOKE_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define VARNOKE_PRINTF(f, a)
#endif

inline constexpr size_t log_format_size = 4096; // formatting buffer
inline constexpr size_t log_half_size = 256;    // one half of a split line
inline constexpr size_t log_split_above = 250;  // longer lines become two entries
inline constexpr size_t log_column_max = 4090;  // longest text one column takes
inline constexpr size_t error_box_size = 500;

// Formats one line and appends it to the log. A formatted result longer than
// the formatting buffer is cut to fit. Returns the length logged.
int log_printf(const char* format, ...) VARNOKE_PRINTF(1, 2);

// Appends text as one entry per line; tab-separated fields go to successive
// columns. Newlines in text are overwritten with terminators.
void log_append(int list_id, char* text);

// How log_printf cuts a formatted line of n characters into entries: whole
// up to log_split_above, else two halves (n / 2 and the rest), each in
// pieces of at most log_half_size - 1 characters.
struct LogPiece {
    size_t offset, length;
};
inline constexpr size_t log_pieces_max = 2 * ((log_format_size / 2) / (log_half_size - 1) + 1);
struct LogPieces {
    LogPiece piece[log_pieces_max];
    size_t count;
};
LogPieces log_split_line(size_t n); // n below log_format_size

// How log_append makes entries of a text, apart from the list: one entry per
// line (a newline ends a line and is overwritten with a terminator; a final
// newline makes no entry), and in each line the tab-separated fields as
// columns 0, 1, ... up to the first empty field or one longer than
// log_column_max. entry is called for each line before its columns, line
// counted from 0; column gets the field's text, terminated. Returns the
// number of entries.
struct LogSink {
    void (*entry)(void* context, size_t line);
    void (*column)(void* context, size_t line, int column, const char* text);
    void* context;
};
size_t log_split_entries(char* text, const LogSink& sink);

// The log's record as at start: no entry times, the time column off. For the
// window's initialisation.
void log_record_init();
// Every entry of the log keeps the local time it was written at
// (clock_local_ms); the entries of one log_append share one time.
int64_t log_entry_time(int item); // 0 for an entry that does not exist
// Deletes every entry (the "X" button).
void log_clear();
// The time column before the log's text, off at start. New entries get
// their time in it while it is shown.
void log_show_times(bool shown);
bool log_times_shown();

void insert_columns(int list_id, const char* const* headers, const int* widths, int count);

// Modal box, caption " Error ", error icon, OK. Text longer than the box
// buffer is cut.
void show_error_box(const char* format, ...) VARNOKE_PRINTF(1, 2);
