#include "cli/cli_options.h"

#include "base/ipv4_text.h"
#include "base/log.h"
#include "base/state.h"
#include "base/window.h"
#include "serial/serial_link.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

const char cli_usage[] =
    "Usage: varnoke-cli LINK [ACTION...] [OPTION...]\n"
    "Runs the console's operations on one signature device from a terminal: connects\n"
    "as the window does (the request \"v\" first), runs the actions in the order\n"
    "given, disconnects, and writes the log lines to standard output.\n"
    "\n"
    "Link, one of:\n"
    "  --com N               the serial port COMN, as the window opens it (1 to 12;\n"
    "                        COM1 to COM4 can be opened)\n"
    "  --port PATH           the serial device at PATH (/dev/ttyUSB0, \\\\.\\COM7)\n"
    "  --rmlx ADDRESS        the device at ADDRESS over RMLX (UDP port 24222)\n"
    "  --tcp ADDRESS         the device at ADDRESS over TCP (port 9101)\n"
    "  --udp ADDRESS         the device at ADDRESS over plain UDP (port 9101)\n"
    "  --baud RATE           the serial line's rate: 9600, 19200, 38400, 57600,\n"
    "                        115200 (the default) or 126000\n"
    "  --discover            list the RMLX devices that answer a discovery, and exit\n"
    "  --list-ports          list the serial ports of this machine, and exit: the COM\n"
    "                        name whose link leads to each, its path, what it is\n"
    "Actions, each repeatable:\n"
    "  --send TEXT           send TEXT as one request and print the reply\n"
    "  --status              send the status query \"?\" and print the reply\n"
    "  --batch FILE          send the lines of FILE, one request each (\"Run batch\")\n"
    "  --sign FILE           have the whole of FILE signed (\"Sign File\")\n"
    "  --logo FILE           upload the 1-bit BMP picture FILE as logo bitmap 1\n"
    "  --zreport             the Z-report check on a serial link: \"A\", \"Q\" to the\n"
    "                        report's end, the digest compared with the report's own\n"
    "                        signature, and the check request sent only if identical\n"
    "Device check (instead of actions):\n"
    "  --check               check the device's side of the link, rule by rule: one\n"
    "                        line per check (PASS, FAIL or SKIP, its id, the rule,\n"
    "                        what was measured), then the count; exit 0 when no\n"
    "                        check failed, 1 when one did, 2 when the link could not\n"
    "                        be opened. The checks send only \"v\", \"?\" and the\n"
    "                        protocol's own bytes (ENQ, ACK, NAK, CAN, SYN, QRY, a\n"
    "                        frame with a spoiled checksum), never a request that\n"
    "                        changes the device's fiscal state\n"
    "  --check-only IDS      only the checks whose id begins with one of IDS, a\n"
    "                        comma-separated list (serial. or rmlx.sync); strict\n"
    "                        ones included\n"
    "  --check-list          print the link's checks and exit; nothing is sent\n"
    "  --strict              also the strict checks, rules a console tolerates\n"
    "Options:\n"
    "  --details             log the frames, status bytes and blocks (\"Details\")\n"
    "  --yes                 answer Yes to the Z-report signature question\n"
    "  --no                  answer No to it; without --yes or --no the request\n"
    "                        that asks it is not sent\n"
    "  --zreport-request REQUEST  the check request of --zreport: x/2 (the default)\n"
    "                        or x/5\n"
    "  --keep-going          run the later actions after one has failed\n"
    "  --reconnect           when the link fails in a --send or --batch (the device\n"
    "                        unplugged or restarted), try the failed request again\n"
    "                        each second until the device answers, then go on\n"
    "  --reconnect-timeout S  give up waiting after S seconds (1 to 86400; 30)\n"
    "  --repeat N            run the actions N times on one connection\n"
    "  --repeat-until-failure  with --repeat, stop after the first round that failed\n"
    "  --stats               at the end, per request text: count, failures, and the\n"
    "                        response time's minimum, median, 90th and 99th percentile\n"
    "                        and maximum in microseconds\n"
    "  --junit FILE          write a JUnit XML report of the run to FILE\n"
    "  --capture FILE        save the wire capture of the run as a pcapng FILE (in a\n"
    "                        folder: varnoke-YYYYMMDD-hhmmss.pcapng)\n"
    "  --quiet               no device reply line after each batch line\n"
    "  --timestamps          begin each line with its date and time\n"
    "  --json                one JSON object a line instead of the log: each request,\n"
    "                        then a summary of each action\n"
    "  --help                this text (also -h)\n"
    "  --version             the program's version\n"
    "\n"
    "Exit status: 0 every action succeeded, 1 the device refused a request, 2 a link\n"
    "failed, 64 a bad option or file, 128+N stopped by signal N (130: Ctrl+C).\n";

namespace {

// What an option is: the link, an action, a flag, or one of its own.
enum class Role {
    link,
    action,
    flag,
    baud,
    reconnect_timeout,
    yes,
    no,
    help,
    version,
    text,
    repeat
};

struct OptionDef {
    const char* name;
    bool takes_value;
    Role role;
    CliLink link = CliLink::none;
    CliActionKind action = CliActionKind::send;
    bool CliOptions::*flag = nullptr;
    int32_t kind = 0; // of a link; --com's is its number
    const char* CliOptions::*text = nullptr;
};

constexpr OptionDef option_defs[] = {
    {"--com", true, Role::link, CliLink::com},
    {"--port", true, Role::link, CliLink::port, {}, {}, kind_first_com},
    {"--rmlx", true, Role::link, CliLink::rmlx, {}, {}, kind_rmlx},
    {"--tcp", true, Role::link, CliLink::tcp, {}, {}, kind_tcp},
    {"--udp", true, Role::link, CliLink::udp, {}, {}, kind_udp},
    {"--baud", true, Role::baud},
    {"--discover", false, Role::flag, {}, {}, &CliOptions::discover},
    {"--list-ports", false, Role::flag, {}, {}, &CliOptions::list_ports},
    {"--send", true, Role::action, {}, CliActionKind::send},
    {"--status", false, Role::action, {}, CliActionKind::status},
    {"--batch", true, Role::action, {}, CliActionKind::batch},
    {"--sign", true, Role::action, {}, CliActionKind::sign},
    {"--logo", true, Role::action, {}, CliActionKind::logo},
    {"--zreport", false, Role::action, {}, CliActionKind::zreport},
    {"--zreport-request", true, Role::text, {}, {}, {}, 0, &CliOptions::zreport_request},
    {"--check", false, Role::flag, {}, {}, &CliOptions::check},
    {"--check-list", false, Role::flag, {}, {}, &CliOptions::check_list},
    {"--check-only", true, Role::text, {}, {}, {}, 0, &CliOptions::check_only},
    {"--strict", false, Role::flag, {}, {}, &CliOptions::strict},
    {"--details", false, Role::flag, {}, {}, &CliOptions::details},
    {"--yes", false, Role::yes},
    {"--no", false, Role::no},
    {"--keep-going", false, Role::flag, {}, {}, &CliOptions::keep_going},
    {"--reconnect", false, Role::flag, {}, {}, &CliOptions::reconnect},
    {"--reconnect-timeout", true, Role::reconnect_timeout},
    {"--repeat", true, Role::repeat},
    {"--repeat-until-failure", false, Role::flag, {}, {}, &CliOptions::repeat_until_failure},
    {"--stats", false, Role::flag, {}, {}, &CliOptions::stats},
    {"--junit", true, Role::text, {}, {}, {}, 0, &CliOptions::junit},
    {"--capture", true, Role::text, {}, {}, {}, 0, &CliOptions::capture},
    {"--quiet", false, Role::flag, {}, {}, &CliOptions::quiet},
    {"--timestamps", false, Role::flag, {}, {}, &CliOptions::timestamps},
    {"--json", false, Role::flag, {}, {}, &CliOptions::json},
    {"--help", false, Role::help},
    {"--version", false, Role::version},
};

bool fail_with(char* why, size_t cap, const char* format, ...) VARNOKE_PRINTF(3, 4);
bool fail_with(char* why, size_t cap, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(why, cap, format, args);
    va_end(args);
    return false;
}

const OptionDef* find_option(const char* arg, size_t len) {
    for (const OptionDef& def : option_defs)
        if (strlen(def.name) == len && strncmp(def.name, arg, len) == 0) return &def;
    return nullptr;
}

// A decimal number from min to max, digits only.
bool read_number(const char* text, int min, int max, int& out) {
    if (*text == '\0' || strlen(text) > 9) return false;
    int value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
    }
    if (value < min || value > max) return false;
    out = value;
    return true;
}

bool take_link(CliOptions& o, const OptionDef& def, const char* value, char* why, size_t cap) {
    const char* option = def.name;
    if (o.link != CliLink::none)
        return fail_with(why, cap, "only one link can be given, not both %s and %s", o.link_option,
                         option);
    o.link = def.link;
    o.link_option = option;
    o.target = value;
    o.kind = def.kind;
    switch (def.link) {
    case CliLink::com:
        if (!read_number(value, kind_first_com, kind_last_com, o.kind))
            return fail_with(why, cap, "--com wants a port number from 1 to 12, not '%s'", value);
        return true;
    case CliLink::port:
        if (*value == '\0' || strlen(value) > cli_path_max)
            return fail_with(why, cap, "--port wants a device path of 1 to %u characters",
                             unsigned(cli_path_max));
        return true;
    default:
        if (uint32_t address; !parse_device_address(value, address))
            return fail_with(why, cap, "%s wants an IPv4 address such as 192.0.2.7, not '%s'",
                             option, value);
        return true;
    }
}

bool take_action(CliOptions& o, CliActionKind kind, const char* option, const char* value,
                 char* why, size_t cap) {
    if (o.action_count == o.actions.size())
        return fail_with(why, cap, "more than %u actions", unsigned(o.actions.size()));
    if (kind == CliActionKind::send) {
        if (strlen(value) > cli_command_max)
            return fail_with(why, cap, "--send takes a request of at most %u characters",
                             unsigned(cli_command_max));
        for (const char* p = value; *p != '\0'; ++p)
            if (uint8_t(*p) < 0x20)
                return fail_with(why, cap, "--send: the request holds the control byte 0x%02X",
                                 unsigned(uint8_t(*p)));
    } else if (kind != CliActionKind::status && kind != CliActionKind::zreport) {
        if (*value == '\0' || strlen(value) > cli_path_max)
            return fail_with(why, cap, "%s wants a file name of 1 to %u characters", option,
                             unsigned(cli_path_max));
    }
    o.actions[o.action_count++] = {kind, option, value};
    return true;
}

bool take_baud(CliOptions& o, const char* value, char* why, size_t cap) {
    o.baud_index = baud_index_of(value);
    if (o.baud_index >= 0) return true;
    return fail_with(why, cap,
                     "--baud wants one of 9600, 19200, 38400, 57600, 115200 and 126000, not '%s'",
                     value);
}

} // namespace

CliParse parse_cli_options(int argc, char** argv, CliOptions& o, char* why, size_t cap) {
    o = CliOptions{};
    bool said_yes = false, said_no = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (strcmp(arg, "-h") == 0) return CliParse::help;
        if (strncmp(arg, "--", 2) != 0 || arg[2] == '\0') {
            fail_with(why, cap, "unexpected argument '%s'", arg);
            return CliParse::usage_error;
        }
        const char* equals = strchr(arg, '=');
        size_t name_len = equals != nullptr ? size_t(equals - arg) : strlen(arg);
        const OptionDef* def = find_option(arg, name_len);
        if (def == nullptr) {
            fail_with(why, cap, "unknown option '%.*s'", int(name_len), arg);
            return CliParse::usage_error;
        }
        const char* value = "";
        if (def->takes_value) {
            if (equals != nullptr) {
                value = equals + 1;
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                fail_with(why, cap, "%s needs a value", def->name);
                return CliParse::usage_error;
            }
        } else if (equals != nullptr) {
            fail_with(why, cap, "%s takes no value", def->name);
            return CliParse::usage_error;
        }

        bool ok = true;
        switch (def->role) {
        case Role::link:
            ok = take_link(o, *def, value, why, cap);
            break;
        case Role::action:
            ok = take_action(o, def->action, def->name, value, why, cap);
            break;
        case Role::flag:
            o.*def->flag = true;
            break;
        case Role::baud:
            ok = take_baud(o, value, why, cap);
            break;
        case Role::reconnect_timeout:
            if (int seconds; read_number(value, 1, 86400, seconds))
                o.reconnect_seconds = unsigned(seconds);
            else
                ok = fail_with(why, cap, "--reconnect-timeout wants 1 to 86400 seconds, not '%s'",
                               value);
            break;
        case Role::yes:
            said_yes = true;
            o.answer = id_yes;
            break;
        case Role::no:
            said_no = true;
            o.answer = id_no;
            break;
        case Role::text:
            if (*value == '\0' || strlen(value) > cli_path_max)
                ok = fail_with(why, cap, "%s wants a value of 1 to %u characters", def->name,
                               unsigned(cli_path_max));
            o.*def->text = value;
            break;
        case Role::repeat: {
            int n = 0;
            ok = read_number(value, 1, int(cli_repeat_max), n);
            if (!ok)
                fail_with(why, cap, "--repeat wants a number from 1 to %u, not '%s'",
                          cli_repeat_max, value);
            o.repeat = unsigned(n);
            break;
        }
        case Role::help:
            return CliParse::help;
        case Role::version:
            return CliParse::version;
        }
        if (!ok) return CliParse::usage_error;
    }

    if (said_yes && said_no) {
        fail_with(why, cap, "--yes and --no cannot both be given");
        return CliParse::usage_error;
    }
    if (o.list_ports) {
        if (o.link != CliLink::none || o.action_count > 0 || o.discover) {
            fail_with(why, cap, "--list-ports takes no link and no action");
            return CliParse::usage_error;
        }
        return CliParse::run;
    }
    if (o.discover) {
        if (o.link != CliLink::none || o.action_count > 0) {
            fail_with(why, cap, "--discover takes no link and no action");
            return CliParse::usage_error;
        }
        return CliParse::run;
    }
    bool checking = o.check || o.check_list || o.check_only != nullptr || o.strict;
    if (checking && !(o.check || o.check_list)) {
        fail_with(why, cap, "--check-only and --strict go with --check or --check-list");
        return CliParse::usage_error;
    }
    if (checking && o.action_count > 0) {
        fail_with(why, cap, "--check and --check-list take no action");
        return CliParse::usage_error;
    }
    if (o.link == CliLink::none) {
        fail_with(why, cap, "no link: give one of --com, --port, --rmlx, --tcp and --udp");
        return CliParse::usage_error;
    }
    bool serial = o.link == CliLink::com || o.link == CliLink::port;
    for (size_t i = 0; i < o.action_count; ++i)
        if (o.actions[i].kind == CliActionKind::zreport && !serial) {
            fail_with(why, cap, "--zreport needs a serial link (--com, --port), not %s",
                      o.link_option);
            return CliParse::usage_error;
        }
    if (strcmp(o.zreport_request, "x/2") != 0 && strcmp(o.zreport_request, "x/5") != 0) {
        fail_with(why, cap, "--zreport-request wants x/2 or x/5, not '%s'", o.zreport_request);
        return CliParse::usage_error;
    }
    if (o.repeat_until_failure && o.repeat == 1) {
        fail_with(why, cap, "--repeat-until-failure needs --repeat N");
        return CliParse::usage_error;
    }
    if (o.baud_index >= 0 && !serial) {
        fail_with(why, cap, "--baud is for a serial link (--com, --port), not %s", o.link_option);
        return CliParse::usage_error;
    }
    return CliParse::run;
}
