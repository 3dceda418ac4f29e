// The serial device over the Win32 communications functions.
#include "serial/serial_device.h"

#include "capture/wire_capture.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// The DCB as every Windows version since the first 32-bit one lays it out.
static_assert(sizeof(DCB) == 28);

constexpr DWORD queue_size = 16384;

HANDLE as_handle(SerialHandle device) {
    return reinterpret_cast<HANDLE>(device);
}

// Clears a pending line error, so that I/O can go on; the input count.
DWORD clear_error(HANDLE handle) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle, &errors, &status)) return 0;
    return status.cbInQue;
}

// Raw 8-bit transfer with DTR and RTS raised and no flow control of either
// kind, whatever the mode text left in these fields.
void set_raw_line(DCB& dcb) {
    dcb.DCBlength = sizeof(DCB);
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDsrSensitivity = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0; // received NUL bytes are kept
    dcb.fAbortOnError = 0;
    dcb.XonLim = 0;
    dcb.XoffLim = 0;
}

// Everything after CreateFileA; false leaves the handle for the caller to
// close.
bool configure(HANDLE handle, DCB& dcb) {
    set_raw_line(dcb);
    if (!SetCommState(handle, &dcb)) return false;
    if (!SetupComm(handle, queue_size, queue_size)) return false;
    // Reads return at once with what has arrived; writes take as long as the
    // driver needs. A driver that refuses these still carries the protocol,
    // whose own time-outs catch a dead line.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    SetCommTimeouts(handle, &timeouts);
    // Nothing here uses EscapeCommFunction or GetCommModemStatus: drivers
    // without modem lines (Wine on a pseudo-terminal) fail them.
    return ClearCommBreak(handle) != FALSE;
}

SerialOpenFailure failure;

// The reason of a failed CreateFileA or set-up, from the system's error.
void describe(const char* device, DWORD err) {
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) {
        snprintf(failure.reason, sizeof failure.reason,
                 "no device at %s: is the adapter plugged in?", device);
        return;
    }
    if (err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION) {
        snprintf(failure.reason, sizeof failure.reason, "another program holds %s", device);
        return;
    }
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, err, 0,
                   text, sizeof text, nullptr);
    text[strcspn(text, "\r\n")] = '\0';
    snprintf(failure.reason, sizeof failure.reason, "cannot open %s: %s (error %lu)", device, text,
             (unsigned long)err);
}

} // namespace

const SerialOpenFailure& serial_device_failure() {
    return failure;
}

SerialHandle serial_device_open(int port, const char* path, uint32_t baud, char parity,
                                uint32_t data_bits, uint32_t stop_bits) {
    char mode[80];
    snprintf(mode, sizeof mode, "baud=%lu parity=%c data=%lu stop=%lu", (unsigned long)baud, parity,
             (unsigned long)data_bits, (unsigned long)stop_bits);
    failure = {};
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!BuildCommDCBA(mode, &dcb)) {
        snprintf(failure.reason, sizeof failure.reason, "a serial line cannot have %s", mode);
        return serial_no_device;
    }

    char name[32];
    snprintf(name, sizeof name, "\\\\.\\COM%d", port);
    const char* device = path != nullptr ? path : name + 4;
    HANDLE handle = CreateFileA(path != nullptr ? path : name, GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        describe(device, GetLastError());
        return serial_no_device;
    }
    if (!configure(handle, dcb)) {
        snprintf(failure.reason, sizeof failure.reason,
                 "%s refused the line settings (%s): error %lu", device, mode,
                 (unsigned long)GetLastError());
        CloseHandle(handle);
        return serial_no_device;
    }
    wire_serial_opened(port, baud, parity, data_bits, stop_bits);
    return reinterpret_cast<SerialHandle>(handle);
}

void serial_device_close(SerialHandle device) {
    SetCommMask(as_handle(device), 0);
    CloseHandle(as_handle(device));
}

uint32_t serial_device_bytes_waiting(SerialHandle device) {
    return clear_error(as_handle(device));
}

bool serial_device_com_path(int port, char* out, size_t cap) {
    int n = snprintf(out, cap, "\\\\.\\COM%d", port);
    return n > 0 && size_t(n) < cap;
}

bool serial_device_gone(SerialHandle device) {
    // A removed USB port fails every call on its handle with one of these;
    // a terminal whose other end has closed (Wine's COM port on a pty) says
    // "not ready".
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(as_handle(device), &errors, &status)) return false;
    switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_NOT_READY:
        return true;
    default:
        return false;
    }
}

// "value": windows.h declares a type named byte.
bool serial_device_read(SerialHandle device, uint8_t& value) {
    DWORD got = 0;
    if (!ReadFile(as_handle(device), &value, 1, &got, nullptr)) {
        clear_error(as_handle(device));
        return false;
    }
    if (got != 1) return false;
    wire_serial_byte(WireDirection::inbound, value);
    return true;
}

void serial_device_write(SerialHandle device, uint8_t value) {
    DWORD put = 0;
    if (!WriteFile(as_handle(device), &value, 1, &put, nullptr))
        clear_error(as_handle(device));
    else if (put == 1)
        wire_serial_byte(WireDirection::outbound, value);
}

void serial_device_purge(SerialHandle device) {
    // What was written leaves first (the CANs before an enquiry must reach
    // the device), as on the termios side; a driver that completes writes
    // before sending them would otherwise discard them here.
    FlushFileBuffers(as_handle(device));
    PurgeComm(as_handle(device), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

// A comm handle opened without overlapped I/O cannot be waited on for input
// (WaitCommEvent would block the window). The wait polls instead: without a
// handle, serial_wait_input sleeps in ui_wait a millisecond at a time, which
// the system rounds up to its timer tick; window messages end each sleep at
// once.
WaitHandle serial_device_wait_handle(SerialHandle) {
    return no_wait_handle;
}
