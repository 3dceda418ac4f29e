// The simulated signature device: what it answers to each request text,
// shared by the simulator's serial and network sides.
#pragma once

#include "codec/sha1.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Error codes the device answers with (first status byte).
enum : uint8_t {
    dev_ok = 0x00,
    dev_numfields = 0x01,
    dev_fieldsize = 0x04,
    dev_fieldcheck = 0x05,
    dev_badreq = 0x06,
    dev_prntype = 0x09,
    dev_busy = 0x0E,
    dev_inprogress = 0x10,
    dev_notopen = 0x11,
    dev_signdataerr = 0x12,
    dev_znotfound = 0x15,
    dev_printeroffline = 0x1A,
    dev_nodata = 0x1E,
    dev_badchar = 0x25,
    dev_zero_z = 0x80,
};

// Bits the device sets of itself in the second and third status bytes.
enum : uint8_t {
    dev_status_busy = 0x01, // device status: the request was refused as BUSY
    fn_status_sip = 0x04,   // function status: a signature block is open
    fn_status_day = 0x02,   // function status: signatures since the last Z
};

// Faults injected by the simulator's options or by tests.
struct DeviceFaults {
    unsigned busy = 0;            // the next N requests get BUSY, unexecuted
    unsigned printer_offline = 0; // after those, N get PRINTEROFFLINE, unexecuted
    uint8_t error_code = 0;       // non-zero: every request gets this code, unexecuted
    uint8_t device_status = 0;    // bits set in every reply
    uint8_t function_status = 0;
};

// One issued Z report as "Q" reads it out: each line is its type character,
// "/" and the line text.
struct ZReport {
    unsigned number = 0;
    std::vector<std::string> lines;
};

// A logo bitmap as uploaded row by row: rows of ceil(width / 8) bytes, the
// top row first; received[r] says whether row r + 1 has arrived.
struct LogoBitmap {
    unsigned width = 0, height = 0;
    std::vector<uint8_t> rows;
    std::vector<bool> received;
};

struct DeviceModel {
    // The seed decides the serial number and the contents of the Z report
    // that the device holds from the factory.
    explicit DeviceModel(uint32_t seed = 1);

    // Answers one request text with the reply text: the status bytes
    // "EE/DD/FF" in hexadecimal, then "/" and the data.
    std::string handle(std::string_view request);

    // Identity, reported by "v".
    std::string model = "ESD-SIM";
    std::string serial_number;
    std::string firmware = "1.00";

    DeviceFaults faults;
    // Not a fault: how long sim_request holds every reply back, as a device
    // that takes its time (--reply-delay).
    unsigned reply_delay_ms = 0;

    // Signature block in progress.
    bool block_open = false;
    Sha1 block;
    // Signatures since the last Z (40 hexadecimal characters each).
    std::vector<std::string> day_signatures;
    std::vector<ZReport> z_reports;
    size_t z_selected = 0; // index into z_reports that "Q" reads
    size_t q_cursor = 0;   // next line "Q" returns
    std::array<LogoBitmap, 8> logos;
    // How "Q" reads a report's signature line (type "2"): as issued, with
    // its last digit changed, or left out; for the console's check.
    enum class ZSignature { kept, wrong, none };
    ZSignature z_signature = ZSignature::kept;

    // The Z identifier that "A" reports for report number n.
    std::string z_identifier(unsigned number) const;
};

// Deterministic pseudo-random numbers for the simulator (splitmix64).
uint64_t sim_random(uint64_t& state);
