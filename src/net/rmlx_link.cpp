#include "net/rmlx_link.h"

#include "base/dialog_template.h"
#include "base/ipv4_text.h"
#include "base/log.h"
#include "base/window.h"
#include "net/net_connect.h"
#include "net/rmlx.h"

namespace {

uint32_t discovered[discovered_max];

// The link says in the log that it could not look for pending input; the
// operator gets a box too, before anything else is said of the failure.
void show_input_check_failure() {
    if (rmlx_take_input_check_failure()) ui_message_box(true, "error", "", mb_ok);
}

Result open_queried(NetLink& link, uint32_t address) {
    Result r = rmlx_open(link, address, RmlxOpening::query_first);
    show_input_check_failure();
    return r;
}

} // namespace

bool rmlx_connect() {
    uint32_t address;
    if (!read_device_address(address)) return false;
    if (rmlx_init() != result_ok) {
        show_error_box("RMLX protocol init failed");
        return false;
    }
    return open_connection_link(open_queried, address);
}

Result rmlx_link_transaction(const char* request, char* reply, size_t reply_size,
                             bool /*details*/) {
    Result r = rmlx_request(connection_link, request, reply, reply_size);
    show_input_check_failure();
    return r;
}

void rmlx_kind_chosen() {
    begin_network_selection();
    log_printf("Querying network devices:");
    uint32_t count = 0;
    Result r = rmlx_discover(discovered, discovered_max, &count);
    show_input_check_failure();
    if (r != result_ok) {
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
