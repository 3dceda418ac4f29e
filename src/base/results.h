// Every result a device request can end with: the codes of the links, which
// execute_command passes on unchanged, and the command layer's own. A device
// error is no result: it travels in error_code.
#pragma once

#include <cstdint>

enum : int {
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
};

// The device errors after which the command layer sends the same request
// again: such a reply is not yet the answer to the request.
enum : int32_t {
    device_busy = 0x0E,
    device_printer_offline = 0x1A,
};

// The result in words, "serial_not_acked (request frame refused or never
// acknowledged)"; "result <code>" for a code that is none of the above. The
// text of an unknown code lives in one buffer that the next call overwrites.
const char* result_text(int code);
