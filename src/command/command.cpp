#include "command/command.h"

#include "base/dialog_template.h"
#include "base/log.h"
#include "base/state.h"
#include "base/tick.h"
#include "base/window.h"
#include "command/device_errors.h"

#include <cstring>

char reply_buffer[reply_buffer_size];
int32_t error_code = 0;
int32_t device_status = 0;
int32_t function_status = 0;

namespace {

bool running = false;
CommandWatcher watcher = nullptr;

void log_device_error() {
    if (const DeviceError* row = device_error_row(error_code)) {
        log_printf("Error 0x%02X: %s (%s) -- %s", unsigned(error_code), row->name, row->description,
                   row->action);
    } else {
        log_printf("Unknown error 0x%02X", unsigned(error_code));
    }
}

struct RunningGuard {
    RunningGuard() { running = true; }
    ~RunningGuard() { running = false; }
};

struct Started {
    uint32_t ms;
    uint64_t us;
};

// Hands the request's result and its time to the watcher, and returns it.
Result tell_watcher(const char* request, Result result, Started start) {
    if (watcher != nullptr) watcher(request, result, tick_ms() - start.ms, tick_us() - start.us);
    return result;
}

} // namespace

void update_status_panel() {
    for (int id = idc_status_first; id <= idc_status_last; ++id) {
        int32_t byte = shows_device_status(id) ? device_status : function_status;
        ui_set_text(id, !shows_status_bit(id) ? "--" : (byte & status_bit(id)) ? "1" : "0");
    }
}

bool operation_running() {
    return busy_flag != 0 || running;
}

Result execute_command(const char* request, char* data, size_t data_capacity, int details_flag) {
    if (running) {
        // A click dispatched while a request waits must not start a second
        // transaction on the same link.
        log_printf("Request refused: another request is still running");
        return command_refused;
    }
    RunningGuard guard;
    Started start{tick_ms(), tick_us()};

    for (;;) {
        Result result = link_transaction(request, details_flag != 0);
        // The operator rejected a Z-report signature: the device is asked
        // for "x/5" instead, which asks the operator once more.
        if (result == signature_rejected) result = link_transaction("x/5", details_flag != 0);
        if (result != 0) return tell_watcher(request, result, start);
        ReplyStatus status =
            decode_reply_status(reply_buffer, strnlen(reply_buffer, sizeof reply_buffer));
        error_code = status.error_code;
        device_status = status.device_status;
        function_status = status.function_status;
        if (error_code != device_busy && error_code != device_printer_offline) break;
        if (close_pending != 0) {
            log_printf("Device still busy (0x%02X); request abandoned to close the program",
                       unsigned(error_code));
            return tell_watcher(request, command_stopped, start);
        }
    }

    update_status_panel();
    if (details_flag)
        log_printf("Status info   [%02X-%02X-%02X]", unsigned(error_code), unsigned(device_status),
                   unsigned(function_status));
    ui_set_text(idc_reply, reply_buffer);
    if (error_code != 0) log_device_error();

    size_t len = strnlen(reply_buffer, sizeof reply_buffer);
    copy_reply_data(reply_buffer, len, data, data_capacity);
    if (len > 9 && details_flag) log_printf("Replied frame [%s]", reply_buffer + 9);
    return tell_watcher(request, result_ok, start);
}

void set_command_watcher(CommandWatcher w) {
    watcher = w;
}
