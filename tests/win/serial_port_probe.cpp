// The COM port layer over the real Win32 communications functions, run under
// Wine (or on Windows) against the device simulator on COM1. Prints one line
// per check; the exit code is the number of failed checks.
//
// usage: serial_port_probe.exe
#include "base/state.h"
#include "base/tick.h"
#include "probe.h"
#include "serial/control_chars.h"
#include "serial/serial_port.h"
#include "serial/serial_transaction.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Whether COM1 exists and nobody holds it.
bool com1_free() {
    HANDLE h = CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// The bytes that arrive within timeout_ms of the last one, up to and
// including the first `last` byte.
std::string read_until(uint8_t last, uint32_t timeout_ms) {
    std::string got;
    while (serial_wait_input(timeout_ms) == 1) {
        uint8_t byte = serial_read_byte(1);
        got += char(byte);
        if (byte == last) break;
    }
    return got;
}

void port_numbers() {
    for (int port : {0, 5, -1, 12}) {
        char what[40];
        snprintf(what, sizeof what, "there is no port %d", port);
        check(!serial_open(port, 115200, 'N', 8, 1), what);
    }
    check(com1_free(), "COM1 is there and free before the first open");
    // A mode text the driver rejects fails before the device is touched.
    check(!serial_open(1, 115200, 'X', 8, 1), "parity X is refused");
}

void open_once() {
    check(serial_open(1, 115200, 'N', 8, 1), "COM1 opens at 115200 N 8 1");
    check(serial_open(1, 9600, 'N', 8, 1), "a second open reports success");
    check(serial_bytes_waiting(1) == 0, "nothing waits on a silent line");
}

void silent_wait() {
    connection_kind = 1;
    uint32_t start = tick_ms();
    check(serial_wait_input(40) == 0, "a wait on a silent line times out");
    check(tick_ms() - start > 40, "the wait lasts past its time-out");
    // A comm handle cannot be waited on: the wait looks again every
    // millisecond, and sleeps in between.
    uint64_t before = processor_ms();
    serial_wait_input(2000);
    uint64_t used = processor_ms() - before;
    printf("processor time of a 2 s wait: %llu ms\n", (unsigned long long)used);
    check(used < 1000, "a 2 s wait takes under a second of processor time");
}

void byte_exchange() {
    // The enquiry handshake by hand: every byte goes out raw and the answer
    // is counted and read one byte at a time.
    for (uint8_t byte : {can, can, can}) serial_write_byte(1, byte);
    serial_purge(1);
    serial_write_byte(1, enq);
    check(read_until(ack, 2000) == std::string(1, char(ack)), "ENQ is answered with ACK");
    const char frame[] = "\x02v/65\x03";
    for (size_t i = 0; i < sizeof frame - 1; ++i) serial_write_byte(1, uint8_t(frame[i]));
    check(read_until(ack, 2000) == std::string(1, char(ack)), "the frame of \"v\" is acknowledged");
    // The shortest reply frame: STX, status text, "/", two digits, ETX.
    uint32_t waiting = 0;
    for (uint32_t start = tick_ms(); waiting < 13 && tick_ms() - start < 2000;) {
        serial_wait_input(100);
        waiting = serial_bytes_waiting(1);
    }
    std::string reply = read_until(etx, 2000);
    printf("reply frame of %zu bytes, %u counted waiting at once\n", reply.size(),
           unsigned(waiting));
    check(waiting >= 13 && reply.size() >= waiting, "the waiting count takes in the whole queue");
    check(reply.front() == char(stx) && reply.back() == char(etx),
          "the reply is one STX..ETX frame");
    check(serial_bytes_waiting(1) == 0, "nothing is left after the frame");
    serial_write_byte(1, ack);
}

void transaction() {
    char reply[1000] = "";
    int result = serial_transaction("v", reply, sizeof reply, 1);
    printf("serial_transaction(\"v\") = %d, reply \"%s\"\n", result, reply);
    check(result == result_ok, "the request \"v\" succeeds");
    check(strlen(reply) > 9 && reply[2] == '/' && reply[5] == '/',
          "the reply text carries the status bytes");
}

void close_and_reopen() {
    serial_close(1);
    check(serial_bytes_waiting(1) == 0 && serial_read_byte(1) == 0, "a closed port reads nothing");
    serial_close(1); // not open: nothing happens
    check(serial_open(1, 115200, 'N', 8, 1), "COM1 opens again after close");
    serial_close(1);
}

} // namespace

int main() {
    port_numbers();
    open_once();
    silent_wait();
    byte_exchange();
    transaction();
    close_and_reopen();
    return probe_result();
}
