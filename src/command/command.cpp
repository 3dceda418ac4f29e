#include "command/command.h"

#include "app/dialog_template.h"
#include "app/log.h"
#include "app/state.h"
#include "app/window.h"
#include "command/device_errors.h"

#include <cstring>

char reply_buffer[reply_buffer_size];
int32_t error_code = 0;
int32_t device_status = 0;
int32_t function_status = 0;

namespace {

bool running = false;

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Status byte at pos of the reply; positions past the reply's end count as
// digits that are not hexadecimal, never as bytes left from an older reply.
int32_t status_byte(size_t reply_len, size_t pos) {
    if (pos + 1 >= reply_len) return 0xFF;
    return decode_hex_byte(reply_buffer + pos) & 0xFF;
}

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

} // namespace

int decode_hex_byte(const char* two) {
    int high = hex_digit(two[0]);
    if (high < 0) return -1;
    int low = hex_digit(two[1]);
    if (low < 0) return -1;
    return ((high << 4) & 0xF0) | low;
}

void update_status_panel() {
    for (int id = idc_status_first; id <= idc_status_last; ++id) {
        int32_t byte = shows_device_status(id) ? device_status : function_status;
        ui_set_text(id, !shows_status_bit(id) ? "--" : (byte & status_bit(id)) ? "1" : "0");
    }
}

bool command_running() {
    return running;
}

bool operation_running() {
    return busy_flag != 0 || command_running();
}

int execute_command(const char* request, char* data, size_t data_capacity, int details_flag) {
    if (running) {
        // A click dispatched while a request waits must not start a second
        // transaction on the same link.
        log_printf("Request refused: another request is still running");
        return command_refused;
    }
    RunningGuard guard;
    details = details_flag;

    for (;;) {
        int result = link_transaction(request);
        // The operator rejected a Z-report signature: the device is asked
        // for "x/5" instead, which asks the operator once more.
        if (result == signature_rejected) result = link_transaction("x/5");
        if (result != 0) return result;
        size_t len = strnlen(reply_buffer, sizeof reply_buffer);
        error_code = status_byte(len, 0);
        device_status = status_byte(len, 3);
        function_status = status_byte(len, 6);
        if (error_code != device_busy && error_code != device_printer_offline) break;
        if (close_pending != 0) {
            log_printf("Device still busy (0x%02X); request abandoned to close the program",
                       unsigned(error_code));
            return command_stopped;
        }
    }

    update_status_panel();
    if (details_flag)
        log_printf("Status info   [%02X-%02X-%02X]", unsigned(error_code), unsigned(device_status),
                   unsigned(function_status));
    ui_set_text(idc_reply, reply_buffer);
    if (error_code != 0) log_device_error();

    size_t len = strnlen(reply_buffer, sizeof reply_buffer);
    if (data_capacity > 0) {
        size_t n = len > 8 ? len - 9 : 0;
        if (n >= data_capacity) n = data_capacity - 1;
        if (n > 0) memcpy(data, reply_buffer + 9, n);
        data[n] = '\0';
    }
    if (len > 9 && details_flag) log_printf("Replied frame [%s]", reply_buffer + 9);
    return 0;
}
