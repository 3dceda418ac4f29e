// varnoke-cli's run: the options are put into the controls as an operator
// would set them, and the buttons are "clicked" through the dialog
// procedure, so that every request, log line and message is the window's.
#include "cli/cli_run.h"

#include "app/dialog.h"
#include "app/handlers.h"
#include "base/dialog_template.h"
#include "base/results.h"
#include "base/state.h"
#include "base/tick.h"
#include "base/wall_clock.h"
#include "base/window.h"
#include "batch/batch.h"
#include "capture/capture_file.h"
#include "cli/cli_check.h"
#include "cli/cli_options.h"
#include "cli/json_line.h"
#include "cli/junit_report.h"
#include "cli/run_stats.h"
#include "cli/terminal.h"
#include "command/command.h"
#include "command/device_errors.h"
#include "command/links.h"
#include "serial/port_finder.h"
#include "serial/serial_link.h"
#include "serial/serial_port.h"
#include "serial/zreport.h"
#include "signing/sign_file.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
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
    uint64_t us;      // the requests' times added up
    uint64_t sign_us; // of the data blocks and "}" alone: a signing's transfer
};
Tally tally;

const CliAction* current = nullptr; // the action that runs; nullptr: Connect
unsigned round_number = 1;          // of --repeat
RunStats run_stats;
JunitReport junit{"varnoke-cli", {}};

// What --zreport found: the report's files and signature, the digest.
struct ZReportRun {
    char identifier[zreport_identifier_max + 1];
    unsigned lines; // written to the _a file
    char a_path[cli_path_max + 1], b_path[cli_path_max + 1];
    char signature[zreport_signature_size + 1]; // "" when none was found
    char digest[zreport_signature_size + 1];    // "" until the check made one
    const char* verdict;                        // nullptr until the check asked
};
ZReportRun zreport_run;

int status_of(int result) {
    if (result == result_ok) return error_code != 0 ? cli_exit_refused : cli_exit_ok;
    // The Z-report check kept the request from the device: the operator's
    // answer, or a check that could not run.
    return result == signature_rejected || result == zreport_not_checked ? cli_exit_refused
                                                                         : cli_exit_link;
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

// Why a request failed, as --stats and --junit name it: the device's error
// for a refusal, the result's name otherwise; "" when it did not fail.
std::string_view failure_name(int result) {
    if (status_of(result) == cli_exit_ok) return "";
    return result == result_ok ? std::string_view(error_name(error_code)) : result_name(result);
}

// The request's text cut for a name: long blocks would make long names.
std::string short_text(const char* request) {
    std::string text(request, strnlen(request, 61));
    if (text.size() > 60) text.replace(57, std::string::npos, "...");
    return text;
}

void junit_request(const char* request, int result, uint64_t us) {
    bool block = (request[0] == '@' || request[0] == '&') && request[1] == '/';
    // A signing's blocks are one case: one block's number says nothing.
    static unsigned blocks = 0; // in the case that ends the suite
    bool signing = current != nullptr && current->kind == CliActionKind::sign;
    JunitCase* c = nullptr;
    if (signing && block && blocks > 0) {
        c = &junit.suites.back().cases.back();
        c->name = "data blocks (" + std::to_string(++blocks) + ")";
    } else if (signing && block) {
        c = &junit_add_case(junit, "data blocks (1)");
        blocks = 1;
    } else if (current != nullptr &&
               (current->kind == CliActionKind::batch || current->kind == CliActionKind::zreport)) {
        // Named by their place: the same text comes many times.
        c = &junit_add_case(junit, (current->kind == CliActionKind::batch ? "line " : "request ") +
                                       std::to_string(tally.requests) + ": " + short_text(request));
    } else {
        c = &junit_add_case(junit, short_text(request));
    }
    if (!block) blocks = 0;
    c->us += us;
    int status = status_of(result);
    if (status == cli_exit_ok || c->outcome != JunitOutcome::passed) return;
    c->outcome = status == cli_exit_refused ? JunitOutcome::failure : JunitOutcome::error;
    c->type = failure_name(result);
    if (result == result_ok) {
        const DeviceError* row = device_error_row(error_code);
        char words[300];
        snprintf(words, sizeof words, "error 0x%02X %s%s%s", unsigned(error_code),
                 error_name(error_code), row != nullptr ? ": " : "",
                 row != nullptr ? row->description : "");
        c->message = words;
    } else {
        c->message = result_text(result);
    }
}

void watch_request(const char* request, int result, uint32_t elapsed_ms, uint64_t elapsed_us) {
    ++tally.requests;
    tally.us += elapsed_us;
    if (request[0] == '}' || ((request[0] == '@' || request[0] == '&') && request[1] == '/'))
        tally.sign_us += elapsed_us;
    if (options.stats) stats_add(run_stats, request, elapsed_us, failure_name(result));
    if (options.junit != nullptr) junit_request(request, result, elapsed_us);
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
    size_t len = strnlen(reply_buffer, sizeof reply_buffer);
    if (!options.json) {
        // A batch line's reply data, as --send prints its reply; with
        // "Details" the log has them already.
        if (current != nullptr && current->kind == CliActionKind::batch && !options.quiet &&
            !options.details && result == result_ok && len > 9) {
            char line[sizeof reply_buffer + 8];
            snprintf(line, sizeof line, "  -> %s", reply_buffer + 9);
            terminal_print(line);
        }
        return;
    }

    JsonLine line = json_object();
    json_text(line, "request", request);
    json_number(line, "result", result);
    json_text(line, "result_name", result_name(result));
    if (result == result_ok) {
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
    json_number(line, "us", static_cast<long long>(elapsed_us));
    json_end(line);
}

bool link_opened = false; // Connect has begun

void print_stats() {
    if (options.json) {
        JsonLine line = json_begin(stdout);
        json_array_begin(line, "stats");
        for (const RequestStats& r : run_stats.requests) {
            json_array_object_begin(line);
            json_text(line, "request", r.request);
            json_number(line, "count", static_cast<long long>(r.us.size()));
            json_object_begin(line, "failures");
            for (const auto& [name, n] : r.failures) json_number(line, name.c_str(), n);
            json_object_end(line);
            Spread t = stats_spread(r.us);
            json_object_begin(line, "us");
            json_number(line, "min", static_cast<long long>(t.min));
            json_number(line, "p50", static_cast<long long>(t.p50));
            json_number(line, "p90", static_cast<long long>(t.p90));
            json_number(line, "p99", static_cast<long long>(t.p99));
            json_number(line, "max", static_cast<long long>(t.max));
            json_object_end(line);
            json_object_end(line);
        }
        json_array_end(line);
        json_end(line);
        return;
    }
    terminal_print("Request                  Count     Min us     p50 us     p90 us     p99 us"
                   "     Max us  Failures");
    for (const RequestStats& r : run_stats.requests) {
        Spread t = stats_spread(r.us);
        std::string failures;
        for (const auto& [name, n] : r.failures)
            failures += (failures.empty() ? "" : ", ") + name + " " + std::to_string(n);
        char line[400];
        snprintf(line, sizeof line, "%-22.22s%s %7zu %10llu %10llu %10llu %10llu %10llu  %s",
                 r.request.c_str(), r.request.size() > 22 ? ".." : "  ", r.us.size(),
                 static_cast<unsigned long long>(t.min), static_cast<unsigned long long>(t.p50),
                 static_cast<unsigned long long>(t.p90), static_cast<unsigned long long>(t.p99),
                 static_cast<unsigned long long>(t.max), failures.empty() ? "-" : failures.c_str());
        terminal_print(line);
    }
}

// What the run leaves beside its output, also after a failure or a stop
// signal: the statistics, the JUnit report, the wire capture. A file that
// cannot be written turns success into a usage error.
int finish_run(int status) {
    if (options.stats) print_stats();
    if (options.junit != nullptr) {
        if (char why[128]; !junit_save(junit, options.junit, why, sizeof why)) {
            terminal_error("--junit %s: %s", options.junit, why);
            if (status == cli_exit_ok) status = cli_exit_usage;
        }
    }
    if (options.capture != nullptr) {
        // Given a folder, the file gets the name the window proposes.
        char in_folder[cli_path_max + 64];
        const char* path = options.capture;
        if (std::error_code ec; std::filesystem::is_directory(path, ec)) {
            char name[48];
            wire_capture_default_name(name, sizeof name);
            snprintf(in_folder, sizeof in_folder, "%s/%s", options.capture, name);
            path = in_folder;
        }
        char why[300];
        if (!save_wire_capture(path, why, sizeof why)) {
            terminal_error("--capture %s: %s", path, why);
            if (status == cli_exit_ok) status = cli_exit_usage;
        } else if (path == in_folder) {
            terminal_error("--capture: saved as %s", path);
        }
    }
    return status;
}

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
    finish_run(cli_exit_signal + signal);
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
        if (a.kind == CliActionKind::send || a.kind == CliActionKind::status ||
            a.kind == CliActionKind::zreport)
            continue;
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
        if (status != cli_exit_ok && link_failure_reason[0] != '\0')
            json_text(line, "reason", link_failure_reason);
        json_number(line, "us", static_cast<long long>(tally.us));
        json_number(line, "exit", status);
        json_end(line);
    }
    if (status != cli_exit_ok) terminal_error("no connection over %s", name);
    return status;
}

void report_failure(const CliAction& a, int status) {
    char what[600];
    if (a.kind == CliActionKind::status || a.kind == CliActionKind::zreport)
        snprintf(what, sizeof what, "%s", a.option);
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
    static constexpr const char* names[] = {"send", "status", "batch", "sign", "logo", "zreport"};
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
            // The same transfer timed by its requests.
            json_number(line, "us", static_cast<long long>(tally.sign_us));
            if (tally.sign_us > 0)
                json_real(line, "us_rate", double(s.bytes) * 1e6 / double(tally.sign_us));
            else
                json_null(line, "us_rate");
        } else {
            json_null(line, "ms");
            json_null(line, "rate");
            json_null(line, "us");
            json_null(line, "us_rate");
        }
        break;
    }
    case CliActionKind::zreport: {
        const ZReportRun& z = zreport_run;
        auto text_or_null = [&line](const char* key, const char* text) {
            if (text != nullptr && *text != '\0')
                json_text(line, key, text);
            else
                json_null(line, key);
        };
        text_or_null("identifier", z.identifier);
        json_number(line, "lines", z.lines);
        text_or_null("a_file", z.a_path);
        text_or_null("b_file", z.b_path);
        text_or_null("digest", z.digest);
        text_or_null("signature", z.signature);
        text_or_null("verdict", z.verdict);
        json_text(line, "request", options.zreport_request);
        break;
    }
    case CliActionKind::logo:
        json_text(line, "file", a.value);
        json_number(line, "rows", tally.requests);
        break;
    }
    if (a.kind != CliActionKind::sign) json_number(line, "us", static_cast<long long>(tally.us));
    json_number(line, "exit", status);
    json_end(line);
}

// --reconnect, after a --send or --batch whose request failed on its link:
// waits a second (a stop signal still ends the run) and says whether to try
// that request again, until the reconnect time-out has passed since the
// first failure (lost_at, 0 until then).
bool wait_to_retry(const CliAction& a, uint32_t& lost_at) {
    bool retried_kind = a.kind == CliActionKind::send || a.kind == CliActionKind::batch;
    if (!options.reconnect || !retried_kind || tally.failed_at == 0 ||
        status_of(tally.failed_result) != cli_exit_link)
        return false;
    uint32_t now = tick_ms();
    if (lost_at == 0) {
        lost_at = now;
        terminal_error("the link failed; trying again each second for up to %u s",
                       options.reconnect_seconds);
    }
    if (now - lost_at >= options.reconnect_seconds * 1000u) return false;
    ui_wait(no_wait_handle, 1000);
    stop_if_asked();
    return true;
}

// The tally as it was before the request that failed, whose number it
// returns (the batch line to go on from).
unsigned forget_failure() {
    unsigned failed = tally.failed_at;
    tally = Tally{};
    tally.requests = failed - 1;
    return failed;
}

void send_request(const char* request) {
    ui_set_text(idc_command, request);
    click(idc_send);
}

// The check's question, answered from the report: the _b file that the
// check has just written holds the digest it shows.
int decide_check(const char** why) {
    ZReportRun& z = zreport_run;
    z.digest[0] = '\0';
    if (FILE* f = fopen(z.b_path, "rb")) {
        size_t n = fread(z.digest, 1, zreport_signature_size, f);
        z.digest[n] = '\0';
        fclose(f);
    }
    if (z.signature[0] == '\0') {
        z.verdict = "not-found";
        return 0; // --yes, --no, or No and why
    }
    bool same = strlen(z.digest) == zreport_signature_size;
    for (size_t i = 0; same && i < zreport_signature_size; ++i)
        same = toupper(uint8_t(z.digest[i])) == toupper(uint8_t(z.signature[i]));
    z.verdict = same ? "match" : "mismatch";
    *why = same ? "--zreport: the report's signature is identical"
                : "--zreport: the report's signature is different";
    return same ? id_yes : id_no;
}

// How many "Q" a report may take before the device is taken to be stuck.
constexpr unsigned zreport_lines_max = 10000;

// "A", "Q" to the line of type "3", the check request. The status of the
// requests, or a refusal when no verdict allowed the check.
int run_zreport() {
    ZReportRun& z = zreport_run;
    z = ZReportRun{};
    send_request("A");
    if (tally.status != cli_exit_ok) return tally.status;
    std::string_view id = zreport_identifier(reply_buffer);
    snprintf(z.identifier, sizeof z.identifier, "%.*s", int(id.size()), id.data());
    std::string a_name = std::string(id) + "_a.txt", b_name = std::string(id) + "_b.txt";
    FILE* a_file = nullptr;
    if (zreport_names_a_file(id) && zreport_out_path(a_name.c_str(), z.a_path, sizeof z.a_path) &&
        zreport_out_path(b_name.c_str(), z.b_path, sizeof z.b_path))
        a_file = fopen(z.a_path, "rb");
    if (a_file == nullptr) {
        terminal_error("--zreport: the report's lines have no file to go to; nothing more was "
                       "sent");
        return cli_exit_refused;
    }
    fclose(a_file);

    bool ended = false;
    for (unsigned i = 0; i < zreport_lines_max && !ended; ++i) {
        send_request("Q");
        if (tally.status != cli_exit_ok) return tally.status;
        char reply[sizeof reply_buffer];
        snprintf(reply, sizeof reply, "%s", reply_buffer);
        std::string_view signature = zreport_line_signature(reply);
        if (!signature.empty())
            snprintf(z.signature, sizeof z.signature, "%.*s", int(signature.size()),
                     signature.data());
        ZReportLine line = zreport_line(reply);
        z.lines += line.action == ZLineAction::write;
        ended = line.action == ZLineAction::close;
    }
    if (!ended) {
        terminal_error("--zreport: the report did not end (line type \"3\") within %u lines; "
                       "nothing more was sent",
                       zreport_lines_max);
        return cli_exit_refused;
    }

    terminal_set_decider(decide_check);
    send_request(options.zreport_request);
    terminal_set_decider(nullptr);
    int status = tally.status;
    if (z.verdict != nullptr && strcmp(z.verdict, "match") != 0 && status == cli_exit_ok)
        status = cli_exit_refused;
    return status;
}

void print_zreport() {
    const ZReportRun& z = zreport_run;
    char line[4 * cli_path_max];
    snprintf(line, sizeof line, "Z-report %.59s: %u lines in %.511s", z.identifier, z.lines,
             z.a_path);
    terminal_print(line);
    if (z.verdict == nullptr) return;
    snprintf(line, sizeof line, "Computed digest: %.40s in %.511s", z.digest, z.b_path);
    terminal_print(line);
    snprintf(line, sizeof line, "Signature in the report: %s -- %s",
             z.signature[0] != '\0' ? z.signature : "none", z.verdict);
    terminal_print(line);
}

void junit_suite_of(const CliAction* a) {
    char name[cli_path_max + 64];
    int n = options.repeat > 1 ? snprintf(name, sizeof name, "round %u: ", round_number) : 0;
    if (a == nullptr)
        snprintf(name + n, sizeof name - size_t(n), "connect");
    else if (*a->value == '\0')
        snprintf(name + n, sizeof name - size_t(n), "%s", a->option);
    else
        snprintf(name + n, sizeof name - size_t(n), "%s %s", a->option, a->value);
    junit_begin_suite(junit, name);
}

int run_action(const CliAction& a) {
    stop_if_asked();
    tally = Tally{};
    current = &a;
    if (options.junit != nullptr) junit_suite_of(&a);
    unsigned boxes = terminal_boxes();
    int zreport_status = cli_exit_ok;
    switch (a.kind) {
    case CliActionKind::send:
        ui_set_text(idc_command, a.value);
        click(idc_send);
        for (uint32_t lost_at = 0; wait_to_retry(a, lost_at);) {
            forget_failure();
            click(idc_send);
        }
        break;
    case CliActionKind::status:
        click(idc_refresh);
        break;
    case CliActionKind::batch:
        ui_set_text(idc_batch_path, a.value);
        click(idc_run_batch);
        for (uint32_t lost_at = 0; wait_to_retry(a, lost_at);) run_batch_from(forget_failure());
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
    case CliActionKind::zreport:
        zreport_status = run_zreport();
        break;
    }

    int status = tally.status > zreport_status ? tally.status : zreport_status;
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
    if (a.kind == CliActionKind::zreport) {
        const char* verdict = zreport_run.verdict != nullptr ? zreport_run.verdict : "";
        if (options.junit != nullptr && *verdict != '\0') {
            JunitCase& c = junit_add_case(junit, "signature");
            if (strcmp(verdict, "match") != 0) {
                c.outcome = JunitOutcome::failure;
                c.type = verdict;
                c.message = std::string("report: ") +
                            (zreport_run.signature[0] != '\0' ? zreport_run.signature : "none") +
                            ", computed: " + zreport_run.digest;
            }
        }
        if (!options.json) print_zreport();
    }
    if (options.json) json_summary(a, status);
    if (status != cli_exit_ok && (a.kind != CliActionKind::zreport || tally.failed_at != 0))
        report_failure(a, status);
    if (a.kind == CliActionKind::zreport && zreport_run.verdict != nullptr) {
        if (strcmp(zreport_run.verdict, "not-found") == 0)
            terminal_error("--zreport: the report carries no signature to compare");
        else if (strcmp(zreport_run.verdict, "mismatch") == 0)
            terminal_error("--zreport: the report's signature differs from the computed digest");
    }
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

    if (options.check || options.check_list) return run_device_check(options);
    if (options.discover) return finish_run(discover());
    if (options.junit != nullptr) junit_suite_of(nullptr);
    int status = connect_device();
    if (status != cli_exit_ok) return finish_run(status);
    for (round_number = 1; round_number <= options.repeat; ++round_number) {
        bool round_failed = false;
        for (size_t i = 0; i < options.action_count; ++i) {
            int action_status = run_action(options.actions[i]);
            if (action_status == cli_exit_ok) continue;
            round_failed = true;
            if (status == cli_exit_ok) status = action_status;
            if (!options.keep_going) break;
        }
        // Without --repeat-until-failure a bench wants all its rounds, the
        // failed ones counted.
        if (round_failed && (options.repeat == 1 || options.repeat_until_failure)) break;
    }
    stop_if_asked();
    current = nullptr;
    click(idc_connect); // Disconnect
    return finish_run(status);
}
