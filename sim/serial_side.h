// The simulator's serial side: the device end of the serial protocol on a
// pseudo-terminal, whose slave the console opens as its COM port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Faults of the line protocol. Counts apply to the next N occasions and run
// down; noise and reply_length stay until changed. Where several could apply
// to one occasion, the first listed is taken, and only one.
struct SerialFaults {
    unsigned enq_other = 0;        // enquiries answered with enq_other_byte
    uint8_t enq_other_byte = 0x15; // (NAK unless chosen)
    unsigned enq_silent = 0;       // enquiries left unanswered
    unsigned enq_can = 0;          // enquiries refused with CAN
    unsigned frame_nak = 0;        // good request frames answered with NAK
    unsigned frame_silent = 0;     // request frames left unanswered
    unsigned frame_can = 0;        // request frames refused with CAN
    unsigned reply_silent = 0;     // acknowledged requests never answered
    unsigned bad_checksum = 0;     // reply frames sent with a wrong checksum
    unsigned stall = 0;            // reply frames that stop halfway
    unsigned resend_differs = 0;   // NAK-requested repeats with another reply text
    unsigned noise = 0;            // random bytes (never STX) before each reply frame
    unsigned reply_length = 0;     // non-zero: reply texts padded with "." to this length
};

// The counted serial faults by their option names ("--stall"), for the
// command line and the fault matrix.
struct SerialFaultName {
    const char* option;
    unsigned SerialFaults::*count;
};
extern const SerialFaultName serial_fault_names[12];

struct SerialSideConfig {
    uint32_t baud = 115200; // line speed for pacing
    bool pace = false;      // both directions at 10 bit times per byte
    int com = 0;            // 1..: link the slave as COMn in the dosdevices folder
    uint64_t seed = 1;      // noise bytes
};

// Opens the pseudo-terminal and starts serving on a thread of its own;
// false after printing why.
bool serial_sim_start(const SerialSideConfig& config);
void serial_sim_stop();
const char* serial_sim_slave_path();

// Faults now in force, and the counts still to come.
void serial_sim_set_faults(const SerialFaults& faults);
SerialFaults serial_sim_faults();

// Back to a device at rest: no faults, empty transcript, noise reseeded.
void serial_sim_reset();

// The next reply frames carry these bodies (everything between STX and ETX)
// instead of the device's own, one per frame sent, NAK-requested repeats
// included; the request is still executed.
void serial_sim_send_raw(const std::vector<std::string>& bodies);

// Every byte the device has received and sent since the last reset.
std::string serial_sim_received();
std::string serial_sim_sent();

// Times the device chose to stay silent (an injected silence or stall) since
// the last reset; each leaves the console waiting for a time-out.
unsigned serial_sim_silences();

// CLOCK_MONOTONIC nanoseconds at which the last byte was handed to the
// terminal (just before its write).
uint64_t serial_sim_last_write_ns();
