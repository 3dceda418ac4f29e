#include "net/net_trace.h"

#include "app/log.h"
#include "app/state.h"
#include "net/ipv4_text.h"

#include <cstring>

namespace {
// Characters below 32 up to the terminator become '.'.
void blank_controls(char* text) {
    for (; *text != '\0'; ++text)
        if (uint8_t(*text) < 32) *text = '.';
}
} // namespace

void trace_frame(const RmlxFrame& frame, bool received, uint32_t address) {
    if (details == 0) return;
    constexpr size_t shown = 120;
    char text[shown + 4];
    size_t len = frame.header.length < frame_data_size ? frame.header.length : frame_data_size;
    if (len > shown) {
        memcpy(text, frame.data, shown);
        memcpy(text + shown, "...", 4);
    } else {
        memcpy(text, frame.data, len);
        text[len] = '\0';
    }
    blank_controls(text);
    log_printf(received ? "%s --> %s(fsn=0x%04X) '%s'" : "%s <-- %s(fsn=0x%04X) '%s'",
               dotted(address), opcode_name(frame.header.opcode), unsigned(frame.header.fsn), text);
}

void log_request_line(const char* request) {
    if (details == 0) return;
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
