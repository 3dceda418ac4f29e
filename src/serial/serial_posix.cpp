// The serial device over termios.
#include "capture/wire_capture.h"
#include "serial/com_link.h"
#include "serial/serial_device.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

bool serial_set_custom_baud(int fd, uint32_t baud); // serial_baud_linux.cpp

namespace {

struct Rate {
    uint32_t baud;
    speed_t speed;
};
constexpr Rate speed_table[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// B0 when the rate has no entry of its own.
speed_t table_speed(uint32_t baud) {
    for (const Rate& r : speed_table)
        if (r.baud == baud) return r.speed;
    return B0;
}

// The control flags of the line settings; false for settings no serial line
// has (the checks of the Windows mode text).
bool line_flags(uint32_t baud, char parity, uint32_t data_bits, uint32_t stop_bits,
                tcflag_t& cflag) {
    constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (baud == 0 || data_bits < 5 || data_bits > 8 || (stop_bits != 1 && stop_bits != 2))
        return false;
    cflag = CREAD | CLOCAL | HUPCL | sizes[data_bits - 5] | (stop_bits == 2 ? CSTOPB : 0);
    switch (toupper(uint8_t(parity))) {
    case 'N':
        return true;
    case 'E':
        cflag |= PARENB;
        return true;
    case 'O':
        cflag |= PARENB | PARODD;
        return true;
    case 'M':
        cflag |= PARENB | PARODD | CMSPAR;
        return true;
    case 'S':
        cflag |= PARENB | CMSPAR;
        return true;
    default:
        return false;
    }
}

// A device without modem lines or break control (a pseudo-terminal, some
// adapters) answers these; it can still carry the protocol.
bool cannot_do(int err) {
    return err == ENOTTY || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

bool configure(int fd, uint32_t baud, tcflag_t cflag) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false; // not a terminal
    cfmakeraw(&tio);
    tio.c_iflag = 0; // no XON/XOFF, no parity marking, no CR/NL mapping
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag = cflag; // no CRTSCTS
    tio.c_cc[VMIN] = 0;  // reads return at once with what has arrived
    tio.c_cc[VTIME] = 0;
    speed_t speed = table_speed(baud);
    cfsetispeed(&tio, speed == B0 ? B38400 : speed);
    cfsetospeed(&tio, speed == B0 ? B38400 : speed);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return false;
    if (speed == B0 && !serial_set_custom_baud(fd, baud)) return false;

    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIS, &lines) != 0 && !cannot_do(errno)) return false;
    if (ioctl(fd, TIOCCBRK) != 0 && !cannot_do(errno)) return false;
    return true;
}

} // namespace

bool prefix_path(const char* tail, char* out, size_t cap) {
    const char* prefix = getenv("VARNOKE_PREFIX");
    const char* home = getenv("HOME");
    int n;
    if (prefix != nullptr && *prefix != '\0')
        n = snprintf(out, cap, "%s/%s", prefix, tail);
    else if (home != nullptr && *home != '\0')
        n = snprintf(out, cap, "%s/.varnoke/%s", home, tail);
    else
        return false;
    return n > 0 && size_t(n) < cap;
}

bool com_link_path(int port, char* out, size_t cap) {
    char tail[32];
    snprintf(tail, sizeof tail, "dosdevices/com%d", port);
    return prefix_path(tail, out, cap);
}

bool com_device_path(int port, char* out, size_t cap) {
    struct stat st;
    if (com_link_path(port, out, cap) && lstat(out, &st) == 0) return true;
    int n = snprintf(out, cap, "/dev/ttyS%d", port - 1);
    return n > 0 && size_t(n) < cap;
}

SerialHandle serial_device_open(int port, const char* device_path, uint32_t baud, char parity,
                                uint32_t data_bits, uint32_t stop_bits) {
    tcflag_t cflag = 0;
    char com_path[4096];
    if (!line_flags(baud, parity, data_bits, stop_bits, cflag)) return serial_no_device;
    const char* path = device_path;
    if (path == nullptr) {
        if (!com_device_path(port, com_path, sizeof com_path)) return serial_no_device;
        path = com_path;
    }

    // Non-blocking only for the open itself, which would otherwise wait for
    // carrier on some devices.
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return serial_no_device;
    // TIOCEXCL does not stop root; the lock stops every other opener that
    // locks, root included.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || !isatty(fd)) {
        close(fd); // someone else's exclusive mode stays as it is
        return serial_no_device;
    }
    ioctl(fd, TIOCEXCL);
    int flags = fcntl(fd, F_GETFL);
    if (flags == -1 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        !configure(fd, baud, cflag)) {
        serial_device_close(fd);
        return serial_no_device;
    }
    wire_serial_opened(port, baud, parity, data_bits, stop_bits);
    return fd;
}

void serial_device_close(SerialHandle device) {
    int fd = int(device);
    // The exclusive mode outlives this descriptor while another one (the
    // simulator's own) holds the terminal, and would refuse the next open.
    ioctl(fd, TIOCNXCL);
    close(fd);
}

uint32_t serial_device_bytes_waiting(SerialHandle device) {
    int count = 0;
    if (ioctl(int(device), FIONREAD, &count) != 0 || count < 0) return 0;
    return uint32_t(count);
}

bool serial_device_read(SerialHandle device, uint8_t& byte) {
    ssize_t n;
    do n = read(int(device), &byte, 1);
    while (n < 0 && errno == EINTR);
    if (n != 1) return false;
    wire_serial_byte(WireDirection::inbound, byte);
    return true;
}

void serial_device_write(SerialHandle device, uint8_t byte) {
    ssize_t n;
    do n = write(int(device), &byte, 1);
    while (n < 0 && errno == EINTR);
    if (n == 1) wire_serial_byte(WireDirection::outbound, byte);
}

void serial_device_purge(SerialHandle device) {
    // What was written leaves first, as a synchronous write has on Windows:
    // on a pseudo-terminal, flushing output would destroy bytes the other
    // end has not read yet, and the three CANs before an enquiry must reach
    // the device. Then whatever came in is discarded.
    tcdrain(int(device));
    tcflush(int(device), TCIFLUSH);
}

WaitHandle serial_device_wait_handle(SerialHandle device) {
    return WaitHandle(device);
}
