// The progress of a long operation in the window's title, as
// "Varnoke v2.24n - Signing 37%". The title changes at most once per
// progress_interval_ms of the tick, so that frequent updates cost nothing,
// and is the caption again when the operation ends, whatever the outcome.
//
//     void sign_file() {
//         ProgressTitle progress; // the title comes back on every return
//         ...
//         progress_signing(bytes_sent, file_size);
//     }
#pragma once

#include <cstdint>

inline constexpr uint32_t progress_interval_ms = 250;

// Begin and end come in pairs; an operation begun inside another one
// (nothing does that today) leaves the title to the outer one's end.
void progress_begin();
void progress_end();

// "... - Signing 37%": bytes sent of the file's size (0% for an empty file).
void progress_signing(uint64_t sent, uint64_t total);
// "... - Batch line 12"
void progress_batch(unsigned line);
// "... - Logo row 40 of 64"
void progress_logo(unsigned row, unsigned rows);

// progress_begin for as long as it lives.
class ProgressTitle {
  public:
    ProgressTitle() { progress_begin(); }
    ~ProgressTitle() { progress_end(); }
    ProgressTitle(const ProgressTitle&) = delete;
    ProgressTitle& operator=(const ProgressTitle&) = delete;
};
