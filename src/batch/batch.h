// "Run batch": the lines of a text file sent to the device as requests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

inline constexpr size_t batch_line_max = 1500;

// The click handler: runs the batch file named in the window.
void run_batch();
// The same from line first on (the lines before it are read, not sent), for
// a batch that goes on after its link came back.
void run_batch_from(unsigned first);

// Reads one line of at most max_chars characters into line (max_chars + 1
// bytes): CR and the other bytes below 0x20 are skipped, LF ends the line,
// characters past max_chars are dropped. Returns 1 with the line, also an
// empty one; 0 at the end of the file when nothing was read, and on a read
// error, whose partial line is dropped.
int read_batch_line(FILE* file, char* line, size_t max_chars);

// Whether the file holds no zero byte, which no text file does. Reads it to
// the end (or the first zero byte) and rewinds it; a read error is left to
// the reading of the lines.
bool batch_file_is_text(FILE* file);

// One byte of a line being read into line (len characters so far): skips the
// bytes below 0x20, keeps at most max_chars characters. True for LF, which
// ends the line.
bool batch_line_add(char* line, size_t& len, size_t max_chars, uint8_t byte);
