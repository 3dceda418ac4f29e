// The message log: the list view at the top of the window, and the modal
// error box.
#pragma once

#include <cstddef>

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

void insert_columns(int list_id, const char* const* headers, const int* widths, int count);

// Modal box, caption " Error ", error icon, OK. Text longer than the box
// buffer is cut.
void show_error_box(const char* format, ...) VARNOKE_PRINTF(1, 2);
