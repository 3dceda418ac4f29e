// The serial request/reply protocol: one device command over the open COM
// port numbered connection_kind.
#pragma once

#include <cstddef>
#include <cstdint>

enum : int {
    serial_ok = 0,
    serial_canceled = 1000,       // the device answered the enquiry with CAN
    serial_enquiry_failed = 1001, // no ACK to three enquiries
    serial_not_acked = 1002,      // request frame refused or never acknowledged
    serial_no_stx = 1003,         // no reply frame began
    serial_retries_failed = 1004, // three bad reply frames
    serial_signature_rejected = 2001,
};

constexpr size_t serial_reply_size = 2048;
// Body of the reply being received; after a verified frame, the reply text.
extern char serial_reply_buffer[serial_reply_size];

// Sends the request and brings back the verified reply text into reply
// (reply_size bytes, a longer reply is cut to fit). Holds busy_flag while it
// runs. Returns serial_ok or one of the failure codes above.
int serial_transaction(const char* request, char* reply, size_t reply_size, int32_t details);

// Sends the request frame until the device acknowledges it; 1 when it did,
// 0 when it refused it or five attempts went unacknowledged.
int serial_send_frame(const char* request);
