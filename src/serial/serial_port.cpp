#include "serial/serial_port.h"

#include "base/state.h"
#include "base/tick.h"
#include "capture/wire_capture.h"
#include "serial/serial_device.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// Indexed by port number; slot 0 is never used.
std::array<SerialHandle, serial_port_last + 1> com_handles = [] {
    std::array<SerialHandle, serial_port_last + 1> slots{};
    slots.fill(serial_no_device);
    return slots;
}();

// The device path each port opens instead of COMn; empty for COMn.
std::array<std::array<char, serial_path_size>, serial_port_last + 1> port_paths{};

// How each port was opened, so that a lost one opens again the same way.
struct LineSettings {
    uint32_t baud, data_bits, stop_bits;
    char parity;
    bool lost; // its device went away; the handle is closed or to be closed
    std::array<char, serial_path_size> path; // what it was opened by
};
std::array<LineSettings, serial_port_last + 1> settings{};

bool handled(int port) {
    return port >= serial_port_first && port <= serial_port_last;
}

SerialHandle open_device(int port) {
    if (port < serial_port_first || port > serial_port_last) return serial_no_device;
    return com_handles[size_t(port)];
}

} // namespace

bool serial_open(int port, uint32_t baud, char parity, uint32_t data_bits, uint32_t stop_bits) {
    if (!handled(port)) return false;
    if (com_handles[size_t(port)] != serial_no_device) return true;
    const char* path =
        port_paths[size_t(port)][0] != '\0' ? port_paths[size_t(port)].data() : nullptr;
    std::array<char, serial_path_size> opened_by{};
    if (path != nullptr)
        snprintf(opened_by.data(), opened_by.size(), "%s", path);
    else if (!serial_device_com_path(port, opened_by.data(), opened_by.size()))
        opened_by[0] = '\0';
    com_handles[size_t(port)] = serial_device_open(port, path, baud, parity, data_bits, stop_bits);
    if (com_handles[size_t(port)] == serial_no_device) return false;
    settings[size_t(port)] = {baud, data_bits, stop_bits, parity, false, opened_by};
    return true;
}

void serial_close(int port) {
    if (!handled(port)) return;
    SerialHandle device = com_handles[size_t(port)];
    // A device that has gone has nothing left to send or discard.
    if (device != serial_no_device && !settings[size_t(port)].lost) serial_purge(port);
    if (device != serial_no_device) serial_device_close(device);
    com_handles[size_t(port)] = serial_no_device;
    settings[size_t(port)].lost = false;
}

bool serial_port_lost(int port) {
    if (!handled(port)) return false;
    LineSettings& line = settings[size_t(port)];
    SerialHandle device = com_handles[size_t(port)];
    if (!line.lost && device != serial_no_device && serial_device_gone(device)) line.lost = true;
    return line.lost;
}

bool serial_reopen(int port) {
    if (!serial_port_lost(port)) return true;
    LineSettings& line = settings[size_t(port)];
    SerialHandle& device = com_handles[size_t(port)];
    if (device != serial_no_device) serial_device_close(device);
    // By the path it was opened by: without its COM link, COMn would be
    // another device.
    device = serial_device_open(port, line.path[0] != '\0' ? line.path.data() : nullptr, line.baud,
                                line.parity, line.data_bits, line.stop_bits);
    if (device == serial_no_device) return false;
    line.lost = false;
    return true;
}

bool serial_set_port_path(int port, const char* path) {
    if (port < serial_port_first || port > serial_port_last) return false;
    auto& slot = port_paths[size_t(port)];
    if (path == nullptr) {
        slot[0] = '\0';
        return true;
    }
    if (strlen(path) >= slot.size()) return false;
    snprintf(slot.data(), slot.size(), "%s", path);
    return true;
}

const char* serial_port_name(int port) {
    static char name[serial_path_size];
    if (port >= serial_port_first && port <= serial_port_last &&
        port_paths[size_t(port)][0] != '\0')
        snprintf(name, sizeof name, "%s", port_paths[size_t(port)].data());
    else
        snprintf(name, sizeof name, "COM%u", unsigned(port));
    return name;
}

uint32_t serial_bytes_waiting(int port) {
    SerialHandle device = open_device(port);
    return device == serial_no_device ? 0 : serial_device_bytes_waiting(device);
}

uint8_t serial_read_byte(int port) {
    uint8_t byte = 0;
    if (serial_bytes_waiting(port) == 0) return 0;
    if (!serial_device_read(open_device(port), byte)) return 0;
    return byte;
}

void serial_write_byte(int port, uint8_t byte) {
    SerialHandle device = open_device(port);
    if (device != serial_no_device) serial_device_write(device, byte);
}

void serial_purge(int port) {
    SerialHandle device = open_device(port);
    if (device != serial_no_device) serial_device_purge(device);
}

WaitHandle serial_wait_handle(int port) {
    SerialHandle device = open_device(port);
    return device == serial_no_device ? no_wait_handle : serial_device_wait_handle(device);
}

int serial_wait_input(uint32_t timeout_ms) {
    uint32_t start = tick_ms();
    for (;;) {
        if (serial_bytes_waiting(connection_kind) > 0) return 1;
        if (serial_port_lost(connection_kind)) return -1;
        wire_serial_input_empty();
        uint32_t elapsed = tick_ms() - start;
        if (elapsed > timeout_ms) return 0;
        pump_one_message();
        // Sleep until input, a window event, or the first tick past the
        // deadline. Without a handle to watch, look again every millisecond.
        WaitHandle handle = serial_wait_handle(connection_kind);
        uint32_t until_late = timeout_ms - elapsed;
        if (until_late < wait_forever - 1) ++until_late;
        ui_wait(handle, handle == no_wait_handle ? 1 : until_late);
    }
}
