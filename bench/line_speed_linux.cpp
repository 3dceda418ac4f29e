// The rate a terminal is set to, custom rates included. <asm/termbits.h>
// clashes with <termios.h>, hence a file of its own.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

uint32_t terminal_speed(int fd) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) return 0;
    return tio.c_ospeed;
}

bool terminal_custom_speed(int fd) {
    termios2 tio{};
    return ioctl(fd, TCGETS2, &tio) == 0 && (tio.c_cflag & CBAUD) == BOTHER;
}
