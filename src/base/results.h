// Every result a device request can end with: the codes of the links, which
// execute_command passes on unchanged, and the command layer's own. A device
// error is no result: it travels in error_code. A function that can fail
// returns one of these, or a plain bool where its caller needs no more.
#pragma once

#include <cstdint>

enum Result : int {
    result_ok = 0, // the request was answered (whatever its error code)

    // The network links.
    net_socket_failure = 1,   // a socket call failed; the reason was logged
    net_protocol_failure = 2, // no valid answer within the attempts

    // The serial link.
    serial_canceled = 1000,       // the device answered the enquiry with CAN
    serial_enquiry_failed = 1001, // no ACK to three enquiries
    serial_not_acked = 1002,      // request frame refused or never acknowledged
    serial_no_stx = 1003,         // no reply frame began
    serial_retries_failed = 1004, // three bad reply frames
    serial_port_gone = 1005,      // the port's device went away (unplugged)
    signature_rejected = 2001,    // the operator said No to a Z-report signature
    zreport_not_checked = 2002,   // the Z-report check could not run; nothing was sent

    // The command layer.
    command_refused = 3001, // another request was still running on the link
    command_stopped = 3002, // the operator closed the program while the device stayed busy

    // The BMP logo's checks of its file, 4001 to 4005; nothing was sent.
    // Their words are the texts of the operator's box.
    logo_not_one_bit = 4001,
    logo_width_invalid,
    logo_height_invalid,
    logo_header_unread,
    logo_data_unread,
};

// The device errors after which the command layer sends the same request
// again: such a reply is not yet the answer to the request.
enum : int32_t {
    device_busy = 0x0E,
    device_printer_offline = 0x1A,
};

// One row of the table of results, the only place that names them.
struct ResultRow {
    int code;
    const char* name;  // "serial_not_acked"
    const char* words; // "request frame refused or never acknowledged"
};

// The name of a code, "serial_not_acked"; "result <code>" for a code that is
// none of the above.
const char* result_name(int code);
// What a code means, "request frame refused or never acknowledged"; empty for
// a code that is none of the above.
const char* result_words(int code);
// Both together, "serial_not_acked (request frame refused or never
// acknowledged)", or "result <code>".
// The texts of an unknown code, and result_text's, live in buffers that the
// next call of the same function overwrites.
const char* result_text(int code);
