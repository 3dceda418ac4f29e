// The serial device over termios.
#include "capture/wire_capture.h"
#include "serial/com_link.h"
#include "serial/serial_device.h"

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
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

SerialOpenFailure failure;

__attribute__((format(printf, 2, 3))) void describe(char (&out)[sizeof failure.reason],
                                                    const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(out, sizeof out, format, args);
    va_end(args);
}

// "name (pid N)" of another process that has the device open, from /proc.
bool device_holder(const char* path, char* out, size_t cap) {
    struct stat device;
    if (stat(path, &device) != 0 || !S_ISCHR(device.st_mode)) return false;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return false;
    bool found = false;
    while (dirent* entry = readdir(proc)) {
        char* end;
        long pid = strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == long(getpid())) continue;
        char fd_dir[64];
        snprintf(fd_dir, sizeof fd_dir, "/proc/%ld/fd", pid);
        DIR* fds = opendir(fd_dir);
        if (fds == nullptr) continue;
        while (dirent* fd = readdir(fds)) {
            char fd_path[64 + sizeof fd->d_name];
            struct stat open_file;
            snprintf(fd_path, sizeof fd_path, "%s/%s", fd_dir, fd->d_name);
            if (stat(fd_path, &open_file) != 0 || !S_ISCHR(open_file.st_mode) ||
                open_file.st_rdev != device.st_rdev)
                continue;
            char comm_path[64], name[64] = "?";
            snprintf(comm_path, sizeof comm_path, "/proc/%ld/comm", pid);
            if (FILE* comm = fopen(comm_path, "r")) {
                if (fgets(name, sizeof name, comm) != nullptr) name[strcspn(name, "\n")] = '\0';
                fclose(comm);
            }
            snprintf(out, cap, "%s, pid %ld", name, pid);
            found = true;
            break;
        }
        closedir(fds);
        if (found) break;
    }
    closedir(proc);
    return found;
}

void held(const char* path) {
    char holder[96];
    if (device_holder(path, holder, sizeof holder))
        describe(failure.reason, "another program holds %s (%s)", path, holder);
    else
        describe(failure.reason, "another program holds %s", path);
}

// The reason of a failed open(2) of path.
void open_failed(const char* path, int err) {
    switch (err) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case EIO: // a terminal whose device has gone
        describe(failure.reason, "no device at %s: is the adapter plugged in?", path);
        return;
    case EACCES:
    case EPERM: {
        struct stat st;
        const group* g = stat(path, &st) == 0 && st.st_gid != 0 ? getgrgid(st.st_gid) : nullptr;
        if (g == nullptr) {
            describe(failure.reason,
                     "%s may not be opened by this user: only root may open it (a udev rule can "
                     "give it to the dialout group)",
                     path);
            return;
        }
        describe(failure.reason,
                 "%s may not be opened by this user: add yourself to the %s group: sudo usermod "
                 "-aG %s $USER, then log in again",
                 path, g->gr_name, g->gr_name);
        return;
    }
    case EBUSY:
        return held(path);
    default:
        describe(failure.reason, "cannot open %s: %s", path, strerror(err));
    }
}

// What COMn was taken to be: the device its link points to, or the serial
// port of its number without a link.
void name_com_device(int port, const char* path) {
    char link[4096], target[4096];
    if (com_link_path(port, link, sizeof link)) {
        ssize_t n = readlink(link, target, sizeof target - 1);
        if (n >= 0) {
            target[n] = '\0';
            snprintf(failure.device, sizeof failure.device,
                     "COM%d is %.300s (the link %.300s points there)", port, target, link);
            return;
        }
        snprintf(failure.device, sizeof failure.device, "COM%d is %.300s (there is no link %.300s)",
                 port, path, link);
        return;
    }
    snprintf(failure.device, sizeof failure.device,
             "COM%d is %.300s (no COM links without $VARNOKE_PREFIX or $HOME)", port, path);
}

} // namespace

const SerialOpenFailure& serial_device_failure() {
    return failure;
}

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
    failure = {};
    tcflag_t cflag = 0;
    char com_path[4096];
    if (!line_flags(baud, parity, data_bits, stop_bits, cflag)) {
        describe(failure.reason,
                 "a serial line cannot have %u baud, parity %c, %u data bits, %u stop bits",
                 unsigned(baud), parity, unsigned(data_bits), unsigned(stop_bits));
        return serial_no_device;
    }
    const char* path = device_path;
    if (path == nullptr) {
        if (!com_device_path(port, com_path, sizeof com_path)) {
            describe(failure.reason, "COM%d names no device: the path of its link does not fit",
                     port);
            return serial_no_device;
        }
        path = com_path;
    }

    // The reasons name the device a COM link points to, not the link.
    char target[300];
    ssize_t n = readlink(path, target, sizeof target - 1);
    if (n > 0) target[n] = '\0';
    const char* shown = n > 0 ? target : path;

    // Non-blocking only for the open itself, which would otherwise wait for
    // carrier on some devices.
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    bool opened = fd >= 0;
    if (!opened) {
        open_failed(shown, errno);
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // TIOCEXCL does not stop root; the lock stops every other opener that
        // locks, root included.
        held(shown);
    } else if (!isatty(fd)) {
        describe(failure.reason, "%s is not a serial port (not a terminal)", shown);
    } else {
        ioctl(fd, TIOCEXCL);
        int flags = fcntl(fd, F_GETFL);
        if (flags != -1 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 &&
            configure(fd, baud, cflag)) {
            wire_serial_opened(port, baud, parity, data_bits, stop_bits);
            return fd;
        }
        describe(
            failure.reason,
            "%s refused the line settings (%u baud, %u data bits, parity %c, %u stop bits): %s",
            shown, unsigned(baud), unsigned(data_bits), parity, unsigned(stop_bits),
            strerror(errno));
        serial_device_close(fd);
        opened = false;
    }
    if (opened) close(fd); // someone else's exclusive mode stays as it is
    if (device_path == nullptr) name_com_device(port, path);
    return serial_no_device;
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

bool serial_device_com_path(int port, char* out, size_t cap) {
    return com_device_path(port, out, cap);
}

bool serial_device_gone(SerialHandle device) {
    pollfd p{int(device), POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

WaitHandle serial_device_wait_handle(SerialHandle device) {
    return WaitHandle(device);
}
