#include "check/device_check.h"

#include "base/tick.h"
#include "check_links.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

uint64_t check_waited_us = 0;

const char* check_link_name(CheckLink link) {
    switch (link) {
    case CheckLink::serial:
        return "serial";
    case CheckLink::rmlx:
        return "rmlx";
    case CheckLink::tcp:
        return "tcp";
    case CheckLink::udp:
        return "udp";
    }
    return "?";
}

void check_sends_text(uint16_t sends, char* out, size_t cap) {
    static constexpr struct {
        uint16_t bit;
        const char* name;
    } names[] = {
        {sends_can, "CAN"},
        {sends_enq, "ENQ"},
        {sends_qry, "QRY"},
        {sends_syn, "SYN"},
        {sends_v, "\"v\""},
        {sends_status, "\"?\""},
        {sends_spoiled, "\"v\" with a spoiled checksum"},
        {sends_ack, "ACK"},
        {sends_nak, "NAK"},
    };
    size_t used = 0;
    if (cap > 0) out[0] = '\0';
    for (const auto& n : names) {
        if ((sends & n.bit) == 0 || used >= cap) continue;
        int w = snprintf(out + used, cap - used, "%s%s", used > 0 ? ", " : "", n.name);
        if (w > 0) used += size_t(w);
    }
}

namespace {

// The prefixes of only, one at a time.
template <class F> bool each_prefix(const char* only, F&& f) {
    for (const char* p = only; *p != '\0';) {
        const char* end = strchr(p, ',');
        size_t len = end != nullptr ? size_t(end - p) : strlen(p);
        if (len > 0 && !f(p, len)) return false;
        p += len + (end != nullptr ? 1 : 0);
    }
    return true;
}

} // namespace

bool check_selected(const CheckInfo& info, CheckLink link, const CheckSelection& selection) {
    if (info.link != link) return false;
    if (selection.only == nullptr) return selection.strict || !info.strict;
    // A check named by --check-only runs, strict or not.
    bool named = false;
    each_prefix(selection.only, [&](const char* p, size_t len) {
        if (strncmp(info.id, p, len) == 0) named = true;
        return true;
    });
    return named;
}

bool check_only_valid(const char* only, CheckLink link, char* bad, size_t cap) {
    if (cap > 0) bad[0] = '\0';
    bool any = false;
    bool ok = each_prefix(only, [&](const char* p, size_t len) {
        any = true;
        for (const CheckInfo& c : check_catalogue)
            if (c.link == link && strncmp(c.id, p, len) == 0) return true;
        snprintf(bad, cap, "%.*s", int(len), p);
        return false;
    });
    return ok && any;
}

bool reply_status_layout_ok(const char* text, size_t len) {
    if (len < 8) return false;
    for (size_t i = 0; i < 8; ++i) {
        bool separator = i == 2 || i == 5;
        if (separator ? text[i] != '/' : isxdigit(uint8_t(text[i])) == 0) return false;
    }
    return len == 8 || text[8] == '/';
}

void hex_bytes(const uint8_t* bytes, size_t len, char* out, size_t cap) {
    size_t used = 0;
    if (cap > 0) out[0] = '\0';
    for (size_t i = 0; i < len; ++i) {
        if (used + 8 > cap) {
            snprintf(out + used, cap - used, "...");
            return;
        }
        used += size_t(snprintf(out + used, cap - used, i == 0 ? "%02X" : " %02X", bytes[i]));
    }
}

void check_say(CheckOutcome& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(out.evidence, sizeof out.evidence, format, args);
    va_end(args);
}

void check_pass(CheckOutcome& out, uint32_t measured_ms, uint32_t limit_ms) {
    out.verdict = CheckVerdict::pass;
    out.measured_ms = measured_ms;
    out.limit_ms = limit_ms;
}

bool status_layout_missing(CheckOutcome& out, const char* text, size_t len) {
    if (reply_status_layout_ok(text, len)) return false;
    check_say(out, "the reply \"%.60s\" lacks the status layout", text);
    return true;
}

void check_reply_status(CheckOutcome& out, const char* text, size_t len) {
    if (status_layout_missing(out, text, len)) return;
    check_pass(out, 0, 0);
    check_say(out, "\"%.8s\"", text);
}

int device_check_run(const CheckTarget& target, const CheckSelection& selection,
                     CheckReporter report, char* why, size_t why_cap) {
    bool serial = target.link == CheckLink::serial;
    bool opened =
        serial ? serial_check_open(target, why, why_cap) : net_check_open(target, why, why_cap);
    if (!opened) return check_run_no_link;
    for (const CheckInfo& info : check_catalogue) {
        if (!check_selected(info, target.link, selection)) continue;
        CheckOutcome out{};
        out.info = &info;
        out.verdict = CheckVerdict::fail;
        check_waited_us = 0;
        uint64_t start = tick_us();
        if (serial)
            serial_check_one(info, out);
        else
            net_check_one(info, out);
        out.us = tick_us() - start;
        out.waited_us = check_waited_us;
        report(out);
    }
    if (serial)
        serial_check_close();
    else
        net_check_close();
    return check_run_done;
}
