// The pseudo-terminal that stands in for the device's serial port, and the
// COMn link in Wine's dosdevices folder that lets the Windows console open
// its slave as a COM port.
#pragma once

#include <climits>

struct PtyPort {
    int master = -1;
    int slave = -1; // kept open so that the console's close brings no EIO
    char slave_path[128] = "";
    char link_path[PATH_MAX] = "";
};

// Opens a raw pseudo-terminal pair; false leaves what was opened for
// pty_close.
bool pty_open(PtyPort& pty);

// Points COMn at the slave; false after printing why. A link to anything but
// an earlier simulator's pseudo-terminal or a vanished device is the user's
// and stays.
bool pty_link_com(PtyPort& pty, int com);

// Removes the COMn link if it still points at this slave, then closes both
// ends.
void pty_close(PtyPort& pty);
