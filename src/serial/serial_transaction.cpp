#include "serial/serial_transaction.h"

#include "base/log.h"
#include "base/state.h"
#include "codec/frame_checksum.h"
#include "serial/control_chars.h"
#include "serial/reply_frame.h"
#include "serial/serial_link.h"
#include "serial/serial_port.h"
#include "serial/zreport.h"

#include <cstdio>
#include <cstring>

char serial_reply_buffer[serial_reply_size];

namespace {

constexpr unsigned enquiry_rounds = 3;
constexpr uint32_t enquiry_wait_ms = 3000;
constexpr unsigned frame_attempts = 5;
constexpr uint32_t frame_ack_wait_ms = 2000;
constexpr unsigned reply_attempts = 3;
constexpr uint32_t stx_wait_ms = 2000;
constexpr uint32_t byte_wait_ms = 500;
constexpr size_t reply_body_max = serial_reply_size - 1;

void put(uint8_t byte) {
    serial_write_byte(connection_kind, byte);
}
uint8_t get() {
    return serial_read_byte(connection_kind);
}

// Every way out of a transaction: the line is free for the next operation.
Result release_line(Result result) {
    busy_flag = 0;
    return result;
}

// Set when a wait found that the port's device has gone: the transaction
// ends at once instead of spending its time-outs on a dead line.
bool line_lost = false;

// True as soon as a byte waits; false when time ran out or the device has
// gone (line_lost is set then).
bool input_within(uint32_t timeout_ms) {
    int got = serial_wait_input(timeout_ms);
    if (got < 0) line_lost = true;
    return got > 0;
}

// The loss of the port's device was logged; it is not logged again for each
// request that finds it still gone.
bool loss_told = false;

void tell_loss() {
    log_printf("%s: the device has gone (the adapter was unplugged?)",
               serial_port_name(connection_kind));
    loss_told = true;
}

Result device_gone() {
    tell_loss();
    return release_line(serial_port_gone);
}

// A port whose device went away (during an earlier request, or since) is
// opened again by the same path: an adapter plugged back in may have another
// name behind it.
bool line_back() {
    if (!serial_port_lost(connection_kind)) {
        loss_told = false;
        return true;
    }
    if (!loss_told) tell_loss();
    if (!serial_reopen(connection_kind)) {
        log_open_failure();
        return false;
    }
    log_printf("Reopened port %s", serial_port_name(connection_kind));
    return true;
}

// Acknowledges and hands the text in serial_reply_buffer to the caller.
Result complete(Result result, char* reply, size_t reply_size) {
    put(ack);
    if (reply_size == 0) return release_line(result);
    size_t len = strlen(serial_reply_buffer);
    if (len >= reply_size) {
        log_printf("Reply cut to %u of %u characters", unsigned(reply_size - 1), unsigned(len));
        len = reply_size - 1;
    }
    memcpy(reply, serial_reply_buffer, len);
    reply[len] = '\0';
    return release_line(result);
}

// ACK received: result_ok; CAN: serial_canceled; anything else or silence
// in every round: serial_enquiry_failed.
Result enquire() {
    for (unsigned round = 0; round < enquiry_rounds; ++round) {
        put(can);
        put(can);
        put(can);
        serial_purge(connection_kind);
        put(enq);
        if (!input_within(enquiry_wait_ms)) {
            if (line_lost) return serial_enquiry_failed;
            log_printf("Enquire #%u timedout", round);
            continue;
        }
        uint8_t byte = get();
        if (byte == ack) return result_ok;
        if (byte == can) return serial_canceled;
        log_printf("Enquire #%u not acked (0x%02X)", round, byte);
    }
    return serial_enquiry_failed;
}

// Waits for STX, dropping whatever comes before it; false after 2000 ms of
// silence.
bool await_stx() {
    for (;;) {
        if (!input_within(stx_wait_ms)) return false;
        uint8_t byte = get();
        if (byte == stx) return true;
        log_printf("Expected STX, received 0x%02X. Ignored", byte);
    }
}

// Collects the frame body up to ETX into serial_reply_buffer (bytes past
// reply_body_max are dropped) and checks its length and checksum. On success
// the separator and digits are cut off.
bool receive_body() {
    size_t len = 0;
    serial_reply_buffer[0] = '\0';
    for (;;) {
        if (!input_within(byte_wait_ms)) return false;
        uint8_t byte = get();
        if (byte == etx) break;
        len = reply_body_put(serial_reply_buffer, len, reply_body_max, byte);
    }
    serial_reply_buffer[len] = '\0';
    return reply_body_verify(serial_reply_buffer, len);
}

// Sends the request frame until the device acknowledges it; false when it
// refused it or every attempt went unacknowledged.
bool send_frame(const char* request) {
    size_t len = strlen(request);
    char digits[3];
    snprintf(digits, sizeof digits, "%02u", frame_checksum(request, len));
    for (unsigned attempt = 0; attempt < frame_attempts; ++attempt) {
        serial_purge(connection_kind);
        put(stx);
        for (size_t i = 0; i < len; ++i) put(uint8_t(request[i]));
        put('/');
        put(uint8_t(digits[0]));
        put(uint8_t(digits[1]));
        put(etx);
        if (!input_within(frame_ack_wait_ms)) {
            if (line_lost) return false;
            log_printf("Packet acknowledge timed out");
            continue;
        }
        uint8_t byte = get();
        if (byte == ack) return true;
        if (byte == can) return false;
        if (attempt + 1 < frame_attempts) log_printf("Packet not acknowledged, retrying");
    }
    return false;
}

} // namespace

ZReportStep zreport_step(const char* request) {
    switch (request[0]) {
    case 'A':
        return ZReportStep::identifier;
    case 'Q':
        return ZReportStep::line;
    case 'x':
        if (request[1] != '\0' && (request[2] == '2' || request[2] == '5'))
            return ZReportStep::check;
        return ZReportStep::none;
    default:
        return ZReportStep::none;
    }
}

Result serial_transaction(const char* request, char* reply, size_t reply_size,
                          int32_t details_flag) {
    busy_flag = 1;
    if (details_flag != 0) log_printf("Request frame [%s]", request);

    line_lost = false;
    if (!line_back()) return release_line(serial_port_gone);

    ZReportStep step = zreport_step(request);
    if (step == ZReportStep::check) {
        Result result = zreport_check(request);
        if (result == zreport_not_checked) return release_line(result);
        if (result != result_ok) return complete(result, reply, reply_size);
    }

    Result enquiry = enquire();
    if (line_lost) return device_gone();
    if (enquiry == serial_canceled) {
        log_printf("Canceled by peer");
        return release_line(serial_canceled);
    }
    if (enquiry != result_ok) {
        log_printf("Enquire state failed");
        return release_line(serial_enquiry_failed);
    }

    if (!send_frame(request)) {
        if (line_lost) return device_gone();
        log_printf("Packet not acknowledged");
        return release_line(serial_not_acked);
    }

    for (unsigned attempt = 0; attempt < reply_attempts; ++attempt) {
        if (!await_stx()) {
            if (line_lost) return device_gone();
            log_printf("Receive STX timeout");
            return release_line(serial_no_stx);
        }
        if (!receive_body()) {
            if (line_lost) return device_gone();
            put(nak);
            continue;
        }
        if (step == ZReportStep::identifier) zreport_capture_identifier(serial_reply_buffer);
        if (step == ZReportStep::line) zreport_capture_line(serial_reply_buffer);
        return complete(result_ok, reply, reply_size);
    }
    log_printf("Request retries failed");
    return release_line(serial_retries_failed);
}
