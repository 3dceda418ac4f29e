#include "net/net_trace.h"

#include "base/ipv4_text.h"
#include "base/log.h"
#include "base/state.h"

#include <cstring>

namespace {

bool traced = false;
// Characters below 32 up to the terminator become '.'.
void blank_controls(char* text) {
    for (; *text != '\0'; ++text)
        if (uint8_t(*text) < 32) *text = '.';
}

constexpr size_t bytes_shown = 120;

// Received bytes as the trace lines show them: the first bytes_shown, "..."
// after a longer run, controls as '.'.
void show_bytes(const char* bytes, size_t len, char (&text)[bytes_shown + 4]) {
    if (len > bytes_shown) {
        memcpy(text, bytes, bytes_shown);
        memcpy(text + bytes_shown, "...", 4);
    } else {
        memcpy(text, bytes, len);
        text[len] = '\0';
    }
    blank_controls(text);
}

} // namespace

void set_net_details(bool on) {
    traced = on;
}

bool net_details() {
    return traced;
}

void trace_frame(const RmlxFrame& frame, bool received, uint32_t address) {
    if (!traced) return;
    char text[bytes_shown + 4];
    size_t len = frame.header.length < frame_data_size ? frame.header.length : frame_data_size;
    show_bytes(reinterpret_cast<const char*>(frame.data), len, text);
    log_printf(received ? "%s --> %s(fsn=0x%04X) '%s'" : "%s <-- %s(fsn=0x%04X) '%s'",
               dotted(address), opcode_name(frame.header.opcode), unsigned(frame.header.fsn), text);
}

void log_request_line(const char* request) {
    if (!traced) return;
    constexpr size_t shown = 40;
    char text[shown + 4];
    size_t len = strnlen(request, shown);
    memcpy(text, request, len);
    if (len == shown)
        memcpy(text + shown, "...", 4);
    else
        text[len] = '\0';
    blank_controls(text);
    log_printf("Sending '%s'", text);
}

void log_dropped_bytes(const char* prefix, const char* bytes, size_t count) {
    if (!traced) {
        log_printf("%s: dropped %u late byte(s)", prefix, unsigned(count));
        return;
    }
    char text[bytes_shown + 4];
    show_bytes(bytes, count, text);
    log_printf("%s: dropped %u late byte(s) '%s'", prefix, unsigned(count), text);
}
