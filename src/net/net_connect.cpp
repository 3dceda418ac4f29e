#include "net/net_connect.h"

#include "base/dialog_template.h"
#include "base/ipv4_text.h"
#include "base/log.h"
#include "base/state.h"
#include "base/window.h"

#include <cstring>
#include <initializer_list>

namespace {

void enable_all(std::initializer_list<int> ids, bool enabled) {
    for (int id : ids) ui_enable(id, enabled);
}

} // namespace

bool read_device_address(uint32_t& address) {
    char text[30];
    int selected = ui_combo_selection(idc_address);
    if (selected < 0 || ui_combo_item_text(idc_address, selected, text, sizeof text) < 0)
        ui_get_text(idc_address, text, sizeof text);
    if (parse_device_address(text, address)) return true;
    show_error_box("Invalid device address [%s]; type the device's IPv4 address, such as "
                   "192.0.2.7",
                   text);
    return false;
}

bool open_connection_link(OpenLink open, uint32_t address) {
    log_printf("init connection with %s", dotted(address));
    memset(&connection_link, 0, sizeof connection_link);
    if (open(connection_link, address) == result_ok) return true;
    show_error_box("Net device connection error");
    return false;
}

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
