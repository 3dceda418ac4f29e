// The one operation through which every device request passes, and the
// reply status it decodes.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t reply_buffer_size = 1000;
extern char reply_buffer[reply_buffer_size];
extern int32_t error_code;
extern int32_t device_status;
extern int32_t function_status;

// Results of execute_command besides the links' own codes.
enum : int {
    signature_rejected = 2001, // the serial link's answer when the operator said No
    command_refused = 3001,    // another request was still running on the link
    command_stopped = 3002,    // the operator closed the program while the device stayed busy
};

enum : int32_t {
    device_busy = 0x0E,
    device_printer_offline = 0x1A,
};

// Sends request over the link that connection_kind selects, repeats it while
// the device is busy, decodes the status bytes, updates the panel and the
// Reply field and logs device errors. data receives the reply's data part,
// cut to data_capacity - 1 characters; it is untouched on failure. Returns 0
// when a reply was decoded (whatever its error code), else the link's code.
int execute_command(const char* request, char* data, size_t data_capacity, int details_flag);

// True while execute_command runs; the window's handlers and the close
// sequence wait for it, as they do for busy_flag.
bool command_running();

// 0..255 for two hexadecimal digits (either case), -1 otherwise.
int decode_hex_byte(const char* two);

// The status panel's labels: the bit of the device or function status byte
// each shows; bit 0 marks a label that always reads "--".
struct StatusLabel {
    int id;
    bool device;
    uint8_t bit;
};
inline constexpr StatusLabel status_labels[] = {
    {1010, true, 0x80},  {1011, true, 0x40},  {1012, true, 0x20},  {1013, true, 0x10},
    {1014, true, 0x08},  {1015, true, 0x04},  {1016, true, 0x02},  {1017, true, 0x01},
    {1018, false, 0x80}, {1019, false, 0x40}, {1020, false, 0x20}, {1021, false, 0},
    {1022, false, 0x08}, {1023, false, 0x04}, {1024, false, 0x02}, {1025, false, 0},
};

void update_status_panel();

// The link transaction that connection_kind selects; writes the reply text
// into reply_buffer and returns 0, or the link's failure code.
int link_transaction(const char* request);
