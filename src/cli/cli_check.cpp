#include "cli/cli_check.h"

#include "base/ipv4_text.h"
#include "base/state.h"
#include "base/wall_clock.h"
#include "check/device_check.h"
#include "cli/cli_run.h"
#include "cli/json_line.h"
#include "cli/junit_report.h"
#include "cli/terminal.h"
#include "serial/serial_link.h"
#include "serial/serial_port.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const CliOptions* opts = nullptr;
JunitReport junit{"varnoke-cli", {}};
unsigned counts[3]; // by CheckVerdict
uint64_t total_us = 0, waited_us = 0;

constexpr const char* verdict_words[] = {"PASS", "FAIL", "SKIP"};

CheckLink link_of_options(const CliOptions& o) {
    switch (o.link) {
    case CliLink::rmlx:
        return CheckLink::rmlx;
    case CliLink::tcp:
        return CheckLink::tcp;
    case CliLink::udp:
        return CheckLink::udp;
    default:
        return CheckLink::serial;
    }
}

void print_line(const char* text) {
    if (opts->timestamps) {
        char stamp[clock_stamp_size];
        format_clock_stamp(clock_local_ms(), stamp);
        printf("%s ", stamp);
    }
    printf("%s\n", text);
    fflush(stdout);
}

JsonLine json_object() {
    JsonLine line = json_begin(stdout);
    if (opts->timestamps) {
        char stamp[clock_stamp_size];
        format_clock_stamp(clock_local_ms(), stamp);
        json_text(line, "time", stamp);
    }
    return line;
}

void report(const CheckOutcome& o) {
    ++counts[int(o.verdict)];
    total_us += o.us;
    waited_us += o.waited_us;
    const char* word = verdict_words[int(o.verdict)];
    char sends[160];
    check_sends_text(o.info->sends, sends, sizeof sends);
    if (opts->json) {
        JsonLine line = json_object();
        json_text(line, "action", "check");
        json_text(line, "id", o.info->id);
        json_text(line, "verdict", word);
        json_text(line, "rule", o.info->rule);
        json_text(line, "evidence", o.evidence);
        json_number(line, "measured_ms", o.measured_ms);
        json_number(line, "limit_ms", o.limit_ms);
        json_number(line, "us", (long long)o.us);
        json_number(line, "waited_us", (long long)o.waited_us);
        if (opts->details) json_text(line, "sends", sends);
        json_end(line);
    } else {
        char text[1024];
        snprintf(text, sizeof text, "%s %s  %s  %s", word, o.info->id, o.info->rule, o.evidence);
        print_line(text);
        if (opts->details) {
            snprintf(text, sizeof text, "     sent: %s; passes: %s; %.1f ms, %.1f ms of it waiting",
                     sends, o.info->passes, double(o.us) / 1000.0, double(o.waited_us) / 1000.0);
            print_line(text);
        }
    }
    if (opts->junit != nullptr) {
        JunitCase& c = junit_add_case(junit, o.info->id);
        c.us = o.us;
        if (o.verdict == CheckVerdict::fail) c.outcome = JunitOutcome::failure;
        if (o.verdict == CheckVerdict::skip) c.outcome = JunitOutcome::skipped;
        c.type = word;
        c.message = o.evidence;
    }
}

int list_checks(CheckLink link, const CheckSelection& selection) {
    for (const CheckInfo& c : check_catalogue) {
        if (!check_selected(c, link, selection)) continue;
        char sends[160];
        check_sends_text(c.sends, sends, sizeof sends);
        if (opts->json) {
            JsonLine line = json_object();
            json_text(line, "action", "check-list");
            json_text(line, "id", c.id);
            json_text(line, "rule", c.rule);
            json_text(line, "sends", sends);
            json_text(line, "passes", c.passes);
            json_number(line, "strict", c.strict ? 1 : 0);
            json_end(line);
            continue;
        }
        char text[1024];
        snprintf(text, sizeof text, "%s%s  %s  (sends %s)", c.id, c.strict ? " (strict)" : "",
                 c.rule, sends);
        print_line(text);
    }
    return cli_exit_ok;
}

bool open_serial(int port, char* why, size_t cap) {
    if (opts->link == CliLink::port && !serial_set_port_path(port, opts->target)) {
        snprintf(why, cap, "%s cannot be used as a port", opts->target);
        return false;
    }
    uint32_t baud = baud_rates[opts->baud_index >= 0 ? opts->baud_index : baud_default_index];
    if (serial_open(port, baud, 'N', 8, 1) == 0) {
        snprintf(why, cap, "%s could not be opened", serial_port_name(port));
        return false;
    }
    return true;
}

} // namespace

int run_device_check(const CliOptions& options) {
    opts = &options;
    CheckLink link = link_of_options(options);
    CheckSelection selection;
    selection.strict = options.strict;
    selection.only = options.check_only;
    char bad[64];
    if (options.check_only != nullptr &&
        !check_only_valid(options.check_only, link, bad, sizeof bad)) {
        terminal_error("--check-only: '%s' names no %s check; --check-list shows them", bad,
                       check_link_name(link));
        return cli_exit_usage;
    }
    if (options.check_list) return list_checks(link, selection);

    CheckTarget target{link};
    char why[200] = "";
    if (link == CheckLink::serial) {
        target.port = options.kind;
        if (!open_serial(options.kind, why, sizeof why)) {
            terminal_error("no connection: %s", why);
            return cli_exit_link;
        }
    } else {
        parse_device_address(options.target, target.address);
    }
    char suite[80];
    snprintf(suite, sizeof suite, "device-check %s", check_link_name(link));
    junit_begin_suite(junit, suite);
    int run = device_check_run(target, selection, report, why, sizeof why);
    if (link == CheckLink::serial) serial_close(options.kind);
    int status = run == check_run_no_link              ? cli_exit_link
                 : counts[int(CheckVerdict::fail)] > 0 ? cli_exit_refused
                                                       : cli_exit_ok;
    if (run == check_run_no_link) terminal_error("no connection: %s", why);
    if (options.json) {
        JsonLine line = json_object();
        json_text(line, "action", "check-summary");
        json_number(line, "passed", counts[0]);
        json_number(line, "failed", counts[1]);
        json_number(line, "skipped", counts[2]);
        json_number(line, "us", (long long)total_us);
        json_number(line, "waited_us", (long long)waited_us);
        json_number(line, "exit", status);
        json_end(line);
    } else if (run != check_run_no_link) {
        char text[200];
        snprintf(text, sizeof text,
                 "%u passed, %u failed, %u skipped in %.1f s (%.1f s of it protocol time-outs "
                 "and quiet windows)",
                 counts[0], counts[1], counts[2], double(total_us) / 1e6, double(waited_us) / 1e6);
        print_line(text);
    }
    if (options.junit != nullptr && run != check_run_no_link) {
        if (char failure[128]; !junit_save(junit, options.junit, failure, sizeof failure)) {
            terminal_error("--junit %s: %s", options.junit, failure);
            if (status == cli_exit_ok) status = cli_exit_usage;
        }
    }
    return status;
}
