// The command line of varnoke-cli: the link, the actions in their order and
// how the output looks. Everything is checked here, before any device
// traffic, so that a mistyped option costs nothing but its message.
#pragma once

#include "base/dialog_template.h"

#include <array>
#include <cstddef>

enum class CliLink { none, com, port, rmlx, tcp, udp };
enum class CliActionKind { send, status, batch, sign, logo, zreport };

struct CliAction {
    CliActionKind kind;
    const char* option; // "--batch", for messages
    const char* value;  // the text or file name (points into argv); "" for --status, --zreport
};

inline constexpr size_t cli_actions_max = 256;
// The window's command field holds at most this many characters.
inline constexpr size_t cli_command_max = command_field_size - 1;
inline constexpr size_t cli_path_max = 511;
inline constexpr unsigned cli_repeat_max = 1000000;

struct CliOptions {
    CliLink link = CliLink::none;
    const char* link_option = nullptr; // the option that named the link
    int kind = 0;                      // the connection kind: the COM port, RMLX, TCP, UDP
    const char* target = nullptr;      // --port PATH, or the address of a network link
    int baud_index = -1;               // in baud_rates; -1: the default
    bool discover = false;
    bool list_ports = false;
    bool details = false;
    bool keep_going = false;
    bool reconnect = false;          // wait for a device that went away
    unsigned reconnect_seconds = 30; // how long

    bool json = false;
    bool timestamps = false;
    int answer = 0; // id_yes (--yes), id_no (--no) or 0
    bool quiet = false;
    bool stats = false;
    bool repeat_until_failure = false;
    unsigned repeat = 1;
    const char* zreport_request = "x/2";
    const char* junit = nullptr;      // --junit FILE
    const char* capture = nullptr;    // --capture FILE
    bool check = false;               // --check: the device check instead of actions
    bool check_list = false;          // --check-list: its catalogue, nothing sent
    bool strict = false;              // --strict: the strict checks too
    const char* check_only = nullptr; // --check-only ID,...
    std::array<CliAction, cli_actions_max> actions{};
    size_t action_count = 0;
};

enum class CliParse { run, help, version, usage_error };

// Reads argv into options. On usage_error, why holds the message (without
// the program's name).
CliParse parse_cli_options(int argc, char** argv, CliOptions& options, char* why, size_t cap);

extern const char cli_usage[];
