// Reads the output speed of a terminal as a number; <asm/termbits.h>
// clashes with <termios.h>, hence a file of its own.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

uint32_t probe_output_baud(int fd) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) return 0;
    return tio.c_ospeed;
}
