// The device check: the catalogue's rules run against a device over one
// link, each check with its verdict and evidence.
#pragma once

#include "check/check_catalogue.h"

#include <cstddef>
#include <cstdint>

enum class CheckVerdict : uint8_t { pass, fail, skip };

struct CheckOutcome {
    const CheckInfo* info;
    CheckVerdict verdict;
    uint32_t measured_ms; // the answer's time; 0 when there was none
    uint32_t limit_ms;    // the console's time-out for it; 0 when none applies
    uint64_t us;          // how long the check ran
    uint64_t waited_us;   // of it, time spent in protocol time-outs and quiet windows
    char evidence[320];   // figures measured; on a failure what came instead
};

// Which checks run: those of the link, the strict ones only when asked,
// and with only set, those whose id begins with one of its comma-separated
// prefixes ("serial.,rmlx.sync").
struct CheckSelection {
    bool strict = false;
    const char* only = nullptr;
};

bool check_selected(const CheckInfo& info, CheckLink link, const CheckSelection& selection);
// Whether every prefix of only names at least one check of the link; the
// first that names none goes to bad (always terminated).
bool check_only_valid(const char* only, CheckLink link, char* bad, size_t cap);

// Where the device is: the serial port (the connection kind whose port is
// open), or the device's IPv4 address (network order).
struct CheckTarget {
    CheckLink link;
    int port = 0;
    uint32_t address = 0;
};

using CheckReporter = void (*)(const CheckOutcome& outcome);

enum : int { check_run_done = 0, check_run_no_link = 2 };

// Runs the selected checks in catalogue order, handing each outcome to
// report as it ends. check_run_no_link when the link could not be opened
// (why says why); nothing was run then.
int device_check_run(const CheckTarget& target, const CheckSelection& selection,
                     CheckReporter report, char* why, size_t why_cap);

// The status layout of a reply text: "HH/HH/HH", then nothing or "/" and data.
bool reply_status_layout_ok(const char* text, size_t len);

// Bytes as hexadecimal, "02 76 2F", cut with "..." to fit out.
void hex_bytes(const uint8_t* bytes, size_t len, char* out, size_t cap);
