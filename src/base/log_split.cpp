// How a logged text becomes entries of the list, apart from the list.
#include "base/log.h"

#include <cstring>
#include <initializer_list>

namespace {
char column_buffer[log_column_max + 6];
} // namespace

LogPieces log_split_line(size_t n) {
    LogPieces out{};
    if (n <= log_split_above) {
        out.piece[out.count++] = {0, n};
        return out;
    }
    // Two halves, each in pieces that fit the half buffer: a half longer than
    // that (a line over 510 characters) becomes several entries rather than
    // losing its tail.
    for (auto [start, len] : {LogPiece{0, n / 2}, LogPiece{n / 2, n - n / 2}}) {
        do {
            size_t piece = len < log_half_size - 1 ? len : log_half_size - 1;
            out.piece[out.count++] = {start, piece};
            start += piece;
            len -= piece;
        } while (len > 0);
    }
    return out;
}

size_t log_split_entries(char* text, const LogSink& sink) {
    size_t line_index = 0;
    char* line = text;
    for (;;) {
        sink.entry(sink.context, line_index);
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
            sink.column(sink.context, line_index, column, column_buffer);
            ++column;
            if (*stop != '\t') break;
            seg = stop + 1;
        }
        if (rest == nullptr) break;
        line = rest;
        ++line_index;
    }
    return line_index + 1;
}
