#include "window_trace.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
FILE* trace_file = nullptr;
} // namespace

bool window_trace_open() {
    if (trace_file != nullptr) return true;
    const char* path = getenv("VARNOKE_UI_TRACE");
    // Binary, so that a line ends with \n on Windows too.
    if (path != nullptr && *path != '\0') trace_file = fopen(path, "wb");
    return trace_file != nullptr;
}

bool window_tracing() {
    return trace_file != nullptr;
}

void window_trace(const char* what, int number, const char* text) {
    if (trace_file == nullptr) return;
    fprintf(trace_file, "%s %d ", what, number);
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        auto c = static_cast<unsigned char>(*p);
        if (c < 0x20)
            fprintf(trace_file, "\\x%02X", c);
        else
            fputc(c, trace_file);
    }
    fputc('\n', trace_file);
    // A test reads the file while the window runs.
    fflush(trace_file);
}

void window_trace_box(unsigned type, const char* caption, const char* text) {
    if (trace_file == nullptr) return;
    std::string line = std::string("caption=") + (caption != nullptr ? caption : "") +
                       " text=" + (text != nullptr ? text : "");
    window_trace("box", int(type), line.c_str());
}

void window_trace_close() {
    if (trace_file != nullptr) fclose(trace_file);
    trace_file = nullptr;
}
