// The serial COM port.
#pragma once

// Closes the port if it is open; does nothing for a port that is not open or
// a number outside the ports handled.
void serial_close(int port);
