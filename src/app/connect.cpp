// Connecting and disconnecting, and what happens when a network kind is
// chosen in the connection kind list.
#include "app/connect.h"

#include "app/dialog.h"
#include "app/dialog_template.h"
#include "app/handlers.h"
#include "app/log.h"
#include "app/state.h"
#include "command/command.h"
#include "net/ipv4_text.h"
#include "net/rmlx.h"
#include "net/tcp.h"
#include "net/udp.h"
#include "serial/serial_port.h"

#include <cstdio>
#include <cstring>

NetLink connection_link;

namespace {

char device_info[200];
uint32_t discovered[discovered_max];

bool is_network_kind(int32_t kind) {
    return kind >= kind_rmlx && kind <= kind_udp;
}

void enable_all(std::initializer_list<int> ids, bool enabled) {
    for (int id : ids) ui_enable(id, enabled);
}

// The selected item's text, or the text typed into the edit field.
uint32_t read_device_address() {
    char text[30];
    int selected = ui_combo_selection(idc_address);
    if (selected < 0 || ui_combo_item_text(idc_address, selected, text, sizeof text) < 0)
        ui_get_text(idc_address, text, sizeof text);
    uint32_t address = parse_ipv4(text);
    log_printf("init connection with %s", dotted(address));
    return address;
}

// The rate of the selected list item; a typed rate counts when it is one
// of the listed ones. 0 when there is none.
uint32_t read_baud_rate() {
    int selected = ui_combo_selection(idc_address);
    if (selected >= 0 && selected < int(std::size(baud_rates))) return baud_rates[selected];
    char text[30];
    ui_get_text(idc_address, text, sizeof text);
    for (uint32_t rate : baud_rates) {
        char listed[12];
        snprintf(listed, sizeof listed, "%u", unsigned(rate));
        if (strcmp(text, listed) == 0) return rate;
    }
    show_error_box("Invalid baud rate [%s]; choose one of the listed rates", text);
    return 0;
}

void close_link(int32_t kind) {
    if (kind == kind_rmlx) {
        rmlx_close();
    } else if (kind == kind_tcp) {
        tcp_close();
    } else {
        udp_close();
    }
}

// Opens the link of connection_kind; false (reported) when it cannot.
bool open_link() {
    int32_t kind = connection_kind;
    if (kind == kind_rmlx) {
        if (rmlx_init() != 0) {
            show_error_box("RMLX protocol init failed");
            return false;
        }
        memset(&connection_link, 0, sizeof connection_link);
        if (rmlx_open(connection_link, read_device_address(), 1) != 0) {
            show_error_box("Net device connection error");
            return false;
        }
        return true;
    }
    if (kind == kind_tcp || kind == kind_udp) {
        memset(&connection_link, 0, sizeof connection_link);
        uint32_t address = read_device_address();
        int result = kind == kind_tcp ? tcp_open(connection_link, address)
                                      : udp_open(connection_link, address);
        if (result != 0) {
            show_error_box("Net device connection error");
            return false;
        }
        return true;
    }
    uint32_t rate = read_baud_rate();
    if (rate == 0) return false;
    if (serial_open(kind, rate, 'N', 8, 1) == 0) {
        show_error_box("Cannot open port COM%u...", unsigned(kind));
        log_printf("Failed opening COM%u port...", unsigned(kind));
        return false;
    }
    log_printf("Opened port COM%u, %lu, Parity NONE, Data 8, Stop 1", unsigned(kind),
               static_cast<unsigned long>(rate));
    return true;
}

void connect() {
    connection_kind = ui_combo_selection(idc_kind) + 1;
    if (!open_link()) return;

    log_printf("Reading device info");
    ui_enable(idc_connect, false);
    if (execute_command("v", device_info, sizeof device_info, ui_is_checked(idc_details)) != 0) {
        log_printf("Fatal device comm error");
        if (is_network_kind(connection_kind)) {
            // A window that shows Disconnected must not keep a link open.
            close_link(connection_kind);
            log_printf("Closed network services");
        } else {
            serial_close(connection_kind);
        }
        ui_enable(idc_connect, true);
        return;
    }
    log_printf("Device info: [%s]", device_info);
    ui_set_text(idc_connect, "Disconnect");
    enable_all({idc_send, idc_sign, idc_connect, idc_refresh, idc_run_batch, idc_bmp}, true);
    enable_all({idc_kind, idc_address}, false);
    connected_flag = 1;
}

void disconnect() {
    if (is_network_kind(connection_kind)) {
        close_link(connection_kind);
        log_printf("Closed network services");
    } else {
        serial_close(connection_kind);
        log_printf("Closed port COM%u", unsigned(connection_kind));
    }
    ui_set_text(idc_connect, "Connect");
    enable_all({idc_send, idc_sign, idc_refresh, idc_run_batch, idc_bmp}, false);
    enable_all({idc_connect, idc_kind, idc_address}, true);
    connected_flag = 0;
}

// The first and last steps that every network kind's selection shares.
void begin_network_selection() {
    ui_combo_reset(idc_address);
    enable_all({idc_kind, idc_address}, true);
    enable_all({idc_send, idc_sign, idc_refresh, idc_connect, idc_exit}, false);
    busy_flag = 1;
}

void end_network_selection(bool select_first) {
    busy_flag = 0;
    ui_combo_select(idc_address, select_first ? 0 : -1);
    ui_set_text(idc_connect, "Connect");
    enable_all({idc_send, idc_sign, idc_refresh, idc_run_batch}, false);
    enable_all({idc_connect, idc_exit, idc_kind, idc_address}, true);
    connected_flag = 0;
}

} // namespace

void connect_or_disconnect() {
    if (operation_running()) return;
    if (connected_flag == 0) {
        connect();
    } else {
        disconnect();
    }
}

void network_query() {
    begin_network_selection();
    log_printf("Querying network devices:");
    uint32_t count = 0;
    if (rmlx_discover(discovered, discovered_max, &count) != 0) {
        log_printf("Net devices detection failed");
        count = 0;
    } else {
        for (uint32_t i = 0; i < count; ++i) {
            const char* text = dotted(discovered[i]);
            ui_combo_add(idc_address, text);
            log_printf("- Detected ip %s", text);
        }
        log_printf("%u devices responded", unsigned(count));
    }
    end_network_selection(count > 0);
}

void tcp_selection() {
    begin_network_selection();
    log_printf("Init TCP OK:");
    end_network_selection(false);
}

void udp_selection() {
    begin_network_selection();
    log_printf("Init UDP OK:");
    end_network_selection(false);
}
