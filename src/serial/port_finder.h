// The serial ports this machine has, so that the operator can see which
// device to take as COMn instead of guessing. On Linux: the adapters under
// /dev/serial/by-id, then ttyUSB, ttyACM and the ttyS ports with a UART
// behind them; on Windows: the ports the system lists.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct SerialPortInfo {
    char kernel[64];   // "ttyUSB0"; on Windows the system's device, "\Device\Serial0"
    char device[128];  // "/dev/ttyUSB0"; "\\.\COM3"
    char stable[320];  // "/dev/serial/by-id/usb-..."; "" when the port has none
    char adapter[160]; // the adapter's name from the by-id link; ""
    bool usb;
    uint16_t vendor_id, product_id;
    char manufacturer[64], product[64], serial[64]; // "" when unknown
    int com; // the COMn whose link names this port (on Windows its own name); 0: none
};

inline constexpr size_t serial_ports_max = 32;
struct SerialPortList {
    std::array<SerialPortInfo, serial_ports_max> ports;
    size_t count;
};

// The path of COMn's link, as com_link_path gives it; false when there is none.
using ComLinkPathFn = bool (*)(int port, char* out, size_t cap);

// The Linux listing over the tree at root ("" for the system's own /dev and
// /sys; tests give a fake one). Paths in the list are as the system names
// them, without root. com_link, when given, finds the COM links (COM1 to
// COM12) that name each port. Broken links and unreadable sysfs files leave
// a port out or its description short; they never stop the listing.
void find_serial_ports_under(const char* root, ComLinkPathFn com_link, SerialPortList& list);

// The ports of the machine the program runs on.
void find_serial_ports(SerialPortList& list);

// The path to open the port by: its stable one when it has one.
const char* port_path(const SerialPortInfo& port);

// "ttyUSB0, FTDI FT232R USB UART, USB 0403:6001, serial A12345"
void describe_port(const SerialPortInfo& port, char* out, size_t cap);

// The line varnoke-cli --list-ports prints: "COM1  <path>  <description>",
// with "-" for a port that no COM link names.
void format_port_line(const SerialPortInfo& port, char* out, size_t cap);

// The log line that tells how to take the port as COMn: on Linux the exact
// command that makes COMn's link.
void format_port_hint(const SerialPortInfo& port, int com, char* out, size_t cap);

// After "Cannot open port COMn...": one log line per port found, each with
// how to take it as COMn.
void log_serial_port_hints(int port);
