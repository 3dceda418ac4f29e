// Rates outside the termios speed table (126000 baud) need termios2 with
// BOTHER. <asm/termbits.h> clashes with <termios.h>, hence a file of its own.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

bool serial_set_custom_baud(int fd, uint32_t baud) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    return ioctl(fd, TCSETS2, &tio) == 0;
}
