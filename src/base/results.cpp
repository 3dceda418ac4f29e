#include "base/results.h"

#include <cstdio>

namespace {

struct Result {
    int code;
    const char* text;
};

constexpr Result results[] = {
    {result_ok, "result_ok (the request was answered)"},
    {net_socket_failure, "net_socket_failure (a socket call failed)"},
    {net_protocol_failure, "net_protocol_failure (no valid answer within the attempts)"},
    {serial_canceled, "serial_canceled (the device answered the enquiry with CAN)"},
    {serial_enquiry_failed, "serial_enquiry_failed (no ACK to three enquiries)"},
    {serial_not_acked, "serial_not_acked (request frame refused or never acknowledged)"},
    {serial_no_stx, "serial_no_stx (no reply frame began)"},
    {serial_retries_failed, "serial_retries_failed (three bad reply frames)"},
    {serial_port_gone, "serial_port_gone (the port's device went away)"},
    {signature_rejected, "signature_rejected (the operator said No to a Z-report signature)"},
    {zreport_not_checked,
     "zreport_not_checked (the Z-report check could not run; nothing was sent)"},
    {command_refused, "command_refused (another request was still running on the link)"},
    {command_stopped, "command_stopped (the program was closed while the device stayed busy)"},
};

} // namespace

const char* result_text(int code) {
    for (const Result& r : results)
        if (r.code == code) return r.text;
    static char unknown[24];
    snprintf(unknown, sizeof unknown, "result %d", code);
    return unknown;
}
