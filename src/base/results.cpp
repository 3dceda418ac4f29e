#include "base/results.h"

#include <cstdio>

namespace {

constexpr ResultRow results[] = {
    {result_ok, "result_ok", "the request was answered"},
    {net_socket_failure, "net_socket_failure", "a socket call failed"},
    {net_protocol_failure, "net_protocol_failure", "no valid answer within the attempts"},
    {serial_canceled, "serial_canceled", "the device answered the enquiry with CAN"},
    {serial_enquiry_failed, "serial_enquiry_failed", "no ACK to three enquiries"},
    {serial_not_acked, "serial_not_acked", "request frame refused or never acknowledged"},
    {serial_no_stx, "serial_no_stx", "no reply frame began"},
    {serial_retries_failed, "serial_retries_failed", "three bad reply frames"},
    {serial_port_gone, "serial_port_gone", "the port's device went away"},
    {signature_rejected, "signature_rejected", "the operator said No to a Z-report signature"},
    {zreport_not_checked, "zreport_not_checked",
     "the Z-report check could not run; nothing was sent"},
    {command_refused, "command_refused", "another request was still running on the link"},
    {command_stopped, "command_stopped", "the program was closed while the device stayed busy"},
    {logo_not_one_bit, "logo_not_one_bit", "Format error: BMP file must be back & white format"},
    {logo_width_invalid, "logo_width_invalid",
     "Format error: BMP file width must be in range 1-256"},
    {logo_height_invalid, "logo_height_invalid",
     "Format error: BMP file height must be in range 1-256"},
    {logo_header_unread, "logo_header_unread", "File error: Could not read bitmap header"},
    {logo_data_unread, "logo_data_unread", "File error: Could not load image data"},
};

const ResultRow* row_of(int code) {
    for (const ResultRow& row : results)
        if (row.code == code) return &row;
    return nullptr;
}

} // namespace

const char* result_name(int code) {
    if (const ResultRow* row = row_of(code)) return row->name;
    static char unknown[24];
    snprintf(unknown, sizeof unknown, "result %d", code);
    return unknown;
}

const char* result_words(int code) {
    const ResultRow* row = row_of(code);
    return row != nullptr ? row->words : "";
}

const char* result_text(int code) {
    // The longest name and words with " (" and ")", or "result -2147483648".
    static char text[128];
    if (const ResultRow* row = row_of(code))
        snprintf(text, sizeof text, "%s (%s)", row->name, row->words);
    else
        snprintf(text, sizeof text, "result %d", code);
    return text;
}
