#include "sim/pty_port.h"

#include "serial/com_link.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

void make_dirs(const char* file) {
    char path[PATH_MAX];
    snprintf(path, sizeof path, "%s", file);
    for (char* p = path + 1; *p != '\0'; ++p) {
        if (*p != '/') continue;
        *p = '\0';
        mkdir(path, 0755);
        *p = '/';
    }
}

void unlink_com(PtyPort& pty) {
    char old[PATH_MAX];
    ssize_t n = pty.link_path[0] != '\0' ? readlink(pty.link_path, old, sizeof old - 1) : -1;
    if (n >= 0) {
        old[n] = '\0';
        if (strcmp(old, pty.slave_path) == 0) unlink(pty.link_path);
    }
    pty.link_path[0] = '\0';
}

} // namespace

bool pty_open(PtyPort& pty) {
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0 ||
        ptsname_r(pty.master, pty.slave_path, sizeof pty.slave_path) != 0)
        return false;
    pty.slave = open(pty.slave_path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.slave < 0) return false;
    // Raw until the console sets its own mode: a cooked terminal would echo
    // and translate the protocol's bytes.
    termios tio{};
    if (tcgetattr(pty.slave, &tio) != 0) return false;
    cfmakeraw(&tio);
    return tcsetattr(pty.slave, TCSANOW, &tio) == 0;
}

bool pty_link_com(PtyPort& pty, int com) {
    char* link = pty.link_path;
    if (!com_link_path(com, link, sizeof pty.link_path)) {
        fprintf(stderr, "varnoke-sim: no $VARNOKE_PREFIX or $HOME to find the dosdevices folder\n");
        link[0] = '\0';
        return false;
    }
    char old[PATH_MAX];
    ssize_t n = readlink(link, old, sizeof old - 1);
    struct stat st;
    if (n >= 0) {
        old[n] = '\0';
        if (strncmp(old, "/dev/pts/", 9) != 0 && stat(link, &st) == 0) {
            fprintf(stderr,
                    "varnoke-sim: COM%d already points to %s; remove %s or choose another port\n",
                    com, old, link);
            link[0] = '\0';
            return false;
        }
        unlink(link);
    } else if (errno != ENOENT) {
        fprintf(stderr, "varnoke-sim: %s exists and is not a link; COM%d left alone\n", link, com);
        link[0] = '\0';
        return false;
    }
    make_dirs(link);
    if (symlink(pty.slave_path, link) != 0) {
        fprintf(stderr, "varnoke-sim: cannot link %s: %s\n", link, strerror(errno));
        link[0] = '\0';
        return false;
    }
    return true;
}

void pty_close(PtyPort& pty) {
    unlink_com(pty);
    for (int* fd : {&pty.master, &pty.slave}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}
