#include "serial/serial_link.h"

#include "base/dialog_template.h"
#include "base/log.h"
#include "base/state.h"
#include "base/window.h"
#include "serial/port_finder.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "serial/serial_transaction.h"

#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

// The rate of the selected list item; a typed rate counts when it is one
// of the listed ones. 0 when there is none.
uint32_t read_baud_rate() {
    int selected = ui_combo_selection(idc_address);
    if (selected >= 0 && selected < int(std::size(baud_rates))) return baud_rates[selected];
    char text[30];
    ui_get_text(idc_address, text, sizeof text);
    if (int i = baud_index_of(text); i >= 0) return baud_rates[i];
    show_error_box("Invalid baud rate [%s]; choose one of the listed rates", text);
    return 0;
}

} // namespace

void log_open_failure() {
    const SerialOpenFailure& failure = serial_device_failure();
    if (failure.device[0] != '\0') log_printf("%s", failure.device);
    if (failure.reason[0] != '\0') log_printf("%s", failure.reason);
    snprintf(link_failure_reason, sizeof link_failure_reason, "%s", failure.reason);
}

int baud_index_of(const char* text) {
    for (size_t i = 0; i < std::size(baud_rates); ++i) {
        char listed[12];
        snprintf(listed, sizeof listed, "%u", unsigned(baud_rates[i]));
        if (strcmp(text, listed) == 0) return int(i);
    }
    return -1;
}

void refill_baud_list() {
    ui_combo_reset(idc_address);
    for (uint32_t rate : baud_rates) {
        char text[12];
        snprintf(text, sizeof text, "%u", unsigned(rate));
        ui_combo_add(idc_address, text);
    }
    ui_combo_select(idc_address, baud_default_index);
}

bool serial_connect() {
    int32_t port = connection_kind;
    uint32_t rate = read_baud_rate();
    if (rate == 0) return false;
    const char* name = serial_port_name(port);
    if (!serial_open(port, rate, 'N', 8, 1)) {
        show_error_box("Cannot open port %s...", name);
        log_printf("Failed opening %s port...", name);
        if (port > serial_port_last) {
            snprintf(link_failure_reason, sizeof link_failure_reason,
                     "only COM%d to COM%d can be opened", serial_port_first, serial_port_last);
            log_printf("%s", link_failure_reason);
        } else {
            log_open_failure();
        }
        log_serial_port_hints(port);
        return false;
    }
    log_printf("Opened port %s, %lu, Parity NONE, Data 8, Stop 1", name,
               static_cast<unsigned long>(rate));
    return true;
}

Result serial_link_transaction(const char* request, char* reply, size_t reply_size, bool details) {
    // The request on its way, in the window.
    ui_set_text(idc_request, request);
    return serial_transaction(request, reply, reply_size, details ? 1 : 0);
}

void serial_link_close() {
    serial_close(connection_kind);
}
