// How a found port is written for the operator, the same on every platform.
#include "serial/port_finder.h"

#include "base/log.h"
#include "serial/serial_port.h"

#include <cstdio>
#include <cstring>

namespace {

// Appends to out at *used, keeping the terminator; a full buffer cuts the
// text.
void append(char* out, size_t cap, size_t& used, const char* format, const char* a,
            const char* b = "") {
    if (used + 1 >= cap) return;
    int n = snprintf(out + used, cap - used, format, a, b);
    if (n < 0) return;
    used = size_t(n) < cap - used ? used + size_t(n) : cap - 1;
}

} // namespace

const char* port_path(const SerialPortInfo& port) {
    return port.stable[0] != '\0' ? port.stable : port.device;
}

void describe_port(const SerialPortInfo& port, char* out, size_t cap) {
    if (cap == 0) return;
    out[0] = '\0';
    size_t used = 0;
    append(out, cap, used, "%s", port.kernel);
    if (port.manufacturer[0] != '\0' && port.product[0] != '\0')
        append(out, cap, used, ", %s %s", port.manufacturer, port.product);
    else if (port.product[0] != '\0')
        append(out, cap, used, ", %s", port.product);
    else if (port.adapter[0] != '\0')
        append(out, cap, used, ", %s", port.adapter);
    if (port.usb) {
        char ids[16];
        snprintf(ids, sizeof ids, "%04x:%04x", unsigned(port.vendor_id), unsigned(port.product_id));
        append(out, cap, used, ", USB %s", ids);
    }
    if (port.serial[0] != '\0') append(out, cap, used, ", serial %s", port.serial);
}

void format_port_line(const SerialPortInfo& port, char* out, size_t cap) {
    char com[16] = "-";
    if (port.com > 0) snprintf(com, sizeof com, "COM%d", port.com);
    char description[320];
    describe_port(port, description, sizeof description);
    snprintf(out, cap, "%-5s %s  %s", com, port_path(port), description);
}

void log_serial_port_hints(int port) {
    static SerialPortList list; // a few kilobytes: kept off the stack
    find_serial_ports(list);
    if (list.count == 0) {
        log_printf("No serial ports found");
        return;
    }
    // A port opened by a path given to it (varnoke-cli --port) has no COM
    // link to make: its ports are named by their paths.
    bool by_path = strncmp(serial_port_name(port), "COM", 3) != 0;
    for (size_t i = 0; i < list.count; ++i) {
        char line[1200];
        if (by_path) {
            char description[320];
            describe_port(list.ports[i], description, sizeof description);
            snprintf(line, sizeof line, "Port %s: %s", description, port_path(list.ports[i]));
        } else {
            format_port_hint(list.ports[i], port, line, sizeof line);
        }
        log_printf("%s", line);
    }
}
