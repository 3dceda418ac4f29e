// Connecting and disconnecting, over the link that the connection kind list
// names.
#include "app/handlers.h"
#include "base/dialog_template.h"
#include "base/log.h"
#include "base/state.h"
#include "base/window.h"
#include "capture/wire_capture.h"
#include "command/command.h"
#include "command/links.h"
#include "serial/serial_port.h"

#include <initializer_list>

namespace {

char device_info[200];

void enable_all(std::initializer_list<int> ids, bool enabled) {
    for (int id : ids) ui_enable(id, enabled);
}

void connect() {
    wire_capture_reset();
    link_failure_reason[0] = '\0';
    connection_kind = ui_combo_selection(idc_kind) + 1;
    const LinkKind& link = link_of(connection_kind);
    if (!link.open()) return;

    log_printf("Reading device info");
    ui_enable(idc_connect, false);
    if (execute_command("v", device_info, sizeof device_info, ui_is_checked(idc_details)) != 0) {
        log_printf("Fatal device comm error");
        // A window that shows Disconnected must not keep a link open.
        link.close();
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
    close_connection_link();
    ui_set_text(idc_connect, "Connect");
    enable_all({idc_send, idc_sign, idc_refresh, idc_run_batch, idc_bmp}, false);
    enable_all({idc_connect, idc_kind, idc_address}, true);
    connected_flag = 0;
}

} // namespace

void close_connection_link() {
    const LinkKind& link = link_of(connection_kind);
    link.close();
    if (link.network)
        log_printf("Closed network services");
    else
        log_printf("Closed port %s", serial_port_name(connection_kind));
}

void connect_or_disconnect() {
    if (operation_running()) return;
    if (connected_flag == 0) {
        connect();
    } else {
        disconnect();
    }
}
