// varnoke-cli's run: the options are put into the controls as an operator
// would set them, and the buttons are "clicked" through the dialog
// procedure, so that every request, log line and message is the window's.
#include "cli/cli_run.h"

#include "app/dialog.h"
#include "app/dialog_template.h"
#include "app/handlers.h"
#include "app/results.h"
#include "app/state.h"
#include "app/wall_clock.h"
#include "app/window.h"
#include "cli/cli_options.h"
#include "cli/json_line.h"
#include "cli/terminal.h"
#include "command/command.h"
#include "command/device_errors.h"
#include "command/links.h"
#include "serial/port_finder.h"
#include "serial/serial_link.h"
#include "serial/serial_port.h"
#include "signing/sign_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

CliOptions options;

// The requests of the action that runs, and the first of them that failed.
struct Tally {
    unsigned requests;
    int status; // the worst: a link failure, a refusal, none
    int last_result;
    unsigned failed_at; // from 1; 0: none failed
    int failed_result;
    int failed_error;
    char failed_request[44];
};
Tally tally;

int status_of(int result) {
    if (result == result_ok) return error_code != 0 ? cli_exit_refused : cli_exit_ok;
    // The Z-report check kept the request from the device: the operator's
    // answer, or a check that could not run.
    return result == signature_rejected || result == zreport_not_checked ? cli_exit_refused
                                                                         : cli_exit_link;
}

// "serial_no_stx" of "serial_no_stx (no reply frame began)".
std::string_view result_name(int result) {
    std::string_view text = result_text(result);
    return text.substr(0, text.find(" ("));
}

const char* error_name(int code) {
    if (code == 0) return device_error_table[0].name;
    const DeviceError* row = device_error_row(code);
    return row != nullptr ? row->name : "unknown";
}

JsonLine json_object() {
    JsonLine line = json_begin(stdout);
    if (options.timestamps) {
        char stamp[clock_stamp_size];
        format_clock_stamp(clock_local_ms(), stamp);
        json_text(line, "time", stamp);
    }
    return line;
}

void watch_request(const char* request, int result, uint32_t elapsed_ms) {
    ++tally.requests;
    tally.last_result = result;
    int status = status_of(result);
    if (status > tally.status) tally.status = status;
    if (status != cli_exit_ok && tally.failed_at == 0) {
        tally.failed_at = tally.requests;
        tally.failed_result = result;
        tally.failed_error = error_code;
        snprintf(tally.failed_request, sizeof tally.failed_request, "%.40s%s", request,
                 strlen(request) > 40 ? "..." : "");
    }
    if (!options.json) return;

    JsonLine line = json_object();
    json_text(line, "request", request);
    json_number(line, "result", result);
    json_text(line, "result_name", result_name(result));
    if (result == result_ok) {
        size_t len = strnlen(reply_buffer, sizeof reply_buffer);
        json_number(line, "error_code", error_code);
        json_text(line, "error_name", error_name(error_code));
        json_number(line, "device_status", device_status);
        json_number(line, "function_status", function_status);
        json_text(line, "data", len > 9 ? std::string_view(reply_buffer + 9, len - 9) : "");
    } else {
        for (const char* key :
             {"error_code", "error_name", "device_status", "function_status", "data"})
            json_null(line, key);
    }
    json_number(line, "ms", elapsed_ms);
    json_end(line);
}

bool link_opened = false; // Connect has begun

[[noreturn]] void stop(int signal) {
    // The request in progress is left where it waits; the link is let go, as
    // Disconnect lets it go, so that the port or socket is free for whoever
    // comes next.
    if (link_opened) close_connection_link();
    const char* name = terminal_signal_name(signal);
    if (options.json) {
        JsonLine line = json_object();
        json_text(line, "action", "stop");
        json_text(line, "signal", name);
        json_number(line, "exit", cli_exit_signal + signal);
        json_end(line);
    }
    terminal_error("stopped by %s; the link is closed", name);
    exit(cli_exit_signal + signal);
}

void stop_if_asked() {
    if (int signal = terminal_stop_signal(); signal != 0) stop(signal);
}

void click(int id) {
    dialog_proc(DialogMsg::command, make_command(id, bn_clicked));
}

// Each file is read before anything is sent, so that a mistyped name costs
// no device traffic.
bool files_usable() {
    for (size_t i = 0; i < options.action_count; ++i) {
        const CliAction& a = options.actions[i];
        if (a.kind == CliActionKind::send || a.kind == CliActionKind::status) continue;
        FILE* f = fopen(a.value, "rb");
        if (f == nullptr) {
            terminal_error("%s %s: %s", a.option, a.value, strerror(errno));
            return false;
        }
        errno = 0;
        getc(f);
        int error = errno;
        bool unreadable = ferror(f) != 0;
        fclose(f);
        if (unreadable) {
            terminal_error("%s %s: cannot be read: %s", a.option, a.value, strerror(error));
            return false;
        }
    }
    return true;
}

int connect_device() {
    // The kind to choose in the list, and the link's name for messages.
    int32_t kind = options.kind;
    const LinkKind& link = link_of(kind);
    char name[cli_path_max + 16];
    if (options.link == CliLink::port) {
        serial_set_port_path(kind, options.target);
        snprintf(name, sizeof name, "%s", options.target);
    } else if (link.network) {
        snprintf(name, sizeof name, "%s %s", link.name, options.target);
    } else {
        snprintf(name, sizeof name, "COM%d", int(kind));
    }
    ui_combo_select(idc_kind, kind - 1);
    if (link.network) {
        // Typed into the address box, as the operator types it.
        ui_combo_reset(idc_address);
        ui_set_text(idc_address, options.target);
    } else {
        ui_combo_select(idc_address,
                        options.baud_index >= 0 ? options.baud_index : baud_default_index);
    }
    link_opened = true;
    click(idc_connect);

    int status = connected_flag == 1 ? cli_exit_ok : cli_exit_link;
    if (options.json) {
        JsonLine line = json_object();
        json_text(line, "action", "connect");
        json_text(line, "link", name);
        json_number(line, "exit", status);
        json_end(line);
    }
    if (status != cli_exit_ok) terminal_error("no connection over %s", name);
    return status;
}

void report_failure(const CliAction& a, int status) {
    char what[600];
    if (a.kind == CliActionKind::status)
        snprintf(what, sizeof what, "--status");
    else
        snprintf(what, sizeof what, "%s %s", a.option, a.value);
    if (status == cli_exit_usage) {
        terminal_error("%s: %s", what,
                       a.kind == CliActionKind::sign ? "the transfer did not finish"
                                                     : "the file was refused; nothing was sent");
        return;
    }
    const char* unit = a.kind == CliActionKind::batch ? "line" : "request";
    if (tally.failed_result == signature_rejected)
        terminal_error("%s: %s %u (%s) was not sent: the Z-report signature was not "
                       "confirmed",
                       what, unit, tally.failed_at, tally.failed_request);
    else if (tally.failed_result == result_ok)
        terminal_error("%s: %s %u (%s) was refused by the device: error 0x%02X %s", what, unit,
                       tally.failed_at, tally.failed_request, unsigned(tally.failed_error),
                       error_name(tally.failed_error));
    else
        terminal_error("%s: %s %u (%s) failed: %s", what, unit, tally.failed_at,
                       tally.failed_request, result_text(tally.failed_result));
}

void json_summary(const CliAction& a, int status) {
    static constexpr const char* names[] = {"send", "status", "batch", "sign", "logo"};
    JsonLine line = json_object();
    json_text(line, "action", names[int(a.kind)]);
    switch (a.kind) {
    case CliActionKind::send:
        json_text(line, "request", a.value);
        break;
    case CliActionKind::status:
        break;
    case CliActionKind::batch:
        json_text(line, "file", a.value);
        json_number(line, "lines", tally.requests);
        break;
    case CliActionKind::sign: {
        const SigningSummary& s = last_signing();
        json_text(line, "file", a.value);
        json_number(line, "blocks", s.blocks);
        json_number(line, "bytes", s.bytes);
        if (s.done) {
            json_number(line, "ms", s.elapsed_ms);
            json_real(line, "rate", double(s.rate));
        } else {
            json_null(line, "ms");
            json_null(line, "rate");
        }
        break;
    }
    case CliActionKind::logo:
        json_text(line, "file", a.value);
        json_number(line, "rows", tally.requests);
        break;
    }
    json_number(line, "exit", status);
    json_end(line);
}

int run_action(const CliAction& a) {
    stop_if_asked();
    tally = Tally{};
    unsigned boxes = terminal_boxes();
    switch (a.kind) {
    case CliActionKind::send:
        ui_set_text(idc_command, a.value);
        click(idc_send);
        break;
    case CliActionKind::status:
        click(idc_refresh);
        break;
    case CliActionKind::batch:
        ui_set_text(idc_batch_path, a.value);
        click(idc_run_batch);
        break;
    case CliActionKind::sign:
        ui_set_text(idc_sign_path, a.value);
        click(idc_sign);
        break;
    case CliActionKind::logo:
        // The button's picker is cancelled, so it takes the field's file.
        ui_set_text(idc_batch_path, a.value);
        click(idc_bmp);
        break;
    }

    int status = tally.status;
    // A file refused in a box before any request, or a signing that did not
    // get through its file.
    if (status == cli_exit_ok && ((tally.requests == 0 && terminal_boxes() != boxes) ||
                                  (a.kind == CliActionKind::sign && !last_signing().done)))
        status = cli_exit_usage;
    bool asked = a.kind == CliActionKind::send || a.kind == CliActionKind::status;
    if (asked && !options.json && tally.requests > 0 && tally.last_result == result_ok) {
        char line[sizeof reply_buffer + 8];
        snprintf(line, sizeof line, "Reply: %s", reply_buffer);
        terminal_print(line);
    }
    if (options.json) json_summary(a, status);
    if (status != cli_exit_ok) report_failure(a, status);
    return status;
}

int discover() {
    ui_combo_select(idc_kind, kind_rmlx - 1);
    dialog_proc(DialogMsg::command, make_command(idc_kind, cbn_selchange));
    int count = ui_combo_count(idc_address);
    link_of(kind_rmlx).close();
    int status = count > 0 ? cli_exit_ok : cli_exit_link;
    if (options.json) {
        JsonLine line = json_object();
        json_text(line, "action", "discover");
        json_array_begin(line, "devices");
        for (int i = 0; i < count; ++i) {
            char address[32];
            ui_combo_item_text(idc_address, i, address, sizeof address);
            json_array_text(line, address);
        }
        json_array_end(line);
        json_number(line, "exit", status);
        json_end(line);
    }
    if (status != cli_exit_ok) terminal_error("no RMLX device answered");
    return status;
}

// Needs no link and no window: what the finder saw, one port a line.
int list_ports() {
    static SerialPortList list;
    find_serial_ports(list);
    for (size_t i = 0; i < list.count; ++i) {
        const SerialPortInfo& port = list.ports[i];
        if (!options.json) {
            char line[1024];
            format_port_line(port, line, sizeof line);
            printf("%s\n", line);
            continue;
        }
        JsonLine line = json_object();
        json_text(line, "action", "list-ports");
        if (port.com > 0) {
            char com[16];
            snprintf(com, sizeof com, "COM%d", port.com);
            json_text(line, "port", com);
        } else {
            json_null(line, "port");
        }
        json_text(line, "path", port_path(port));
        json_text(line, "device", port.device);
        char description[320];
        describe_port(port, description, sizeof description);
        json_text(line, "description", description);
        if (port.usb) {
            char id[8];
            snprintf(id, sizeof id, "%04x", unsigned(port.vendor_id));
            json_text(line, "usb_vendor", id);
            snprintf(id, sizeof id, "%04x", unsigned(port.product_id));
            json_text(line, "usb_product", id);
            json_text(line, "usb_serial", port.serial);
        }
        json_end(line);
    }
    fflush(stdout);
    if (list.count == 0) terminal_error("no serial ports found");
    return cli_exit_ok;
}

} // namespace

int cli_main(int argc, char** argv) {
    char why[600];
    switch (parse_cli_options(argc, argv, options, why, sizeof why)) {
    case CliParse::help:
        fputs(cli_usage, stdout);
        return cli_exit_ok;
    case CliParse::version:
        printf("varnoke-cli %s\n", VARNOKE_VERSION);
        return cli_exit_ok;
    case CliParse::usage_error:
        terminal_error("%s", why);
        fputs("Try 'varnoke-cli --help'.\n", stderr);
        return cli_exit_usage;
    case CliParse::run:
        break;
    }
    if (options.list_ports) return list_ports();
    if (!files_usable()) return cli_exit_usage;

    terminal_start();
    terminal_on_stop(stop);
    terminal_set_answer(options.answer);
    set_command_watcher(watch_request);
    ui_create_dialog(dialog_proc);
    ui_check(idc_details, options.details);
    // From here on: the window's own start-up line is not the device's.
    terminal_show_log(!options.json, options.timestamps);

    if (options.discover) return discover();
    int status = connect_device();
    if (status != cli_exit_ok) return status;
    for (size_t i = 0; i < options.action_count; ++i) {
        int action_status = run_action(options.actions[i]);
        if (action_status == cli_exit_ok) continue;
        if (status == cli_exit_ok) status = action_status;
        if (!options.keep_going) break;
    }
    stop_if_asked();
    click(idc_connect); // Disconnect
    return status;
}
