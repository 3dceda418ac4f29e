// The serial ports of a Linux /dev and /sys tree, read under a root so that
// tests can give a tree of their own. Only the Linux build has such a tree;
// the code itself is plain C++.
#include "serial/port_finder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The kernel names listed after the by-id links, in this order.
constexpr std::string_view tty_families[] = {"ttyUSB", "ttyACM", "ttyS"};
constexpr int com_links_last = 12;
// Enough for /sys/devices/.../usbN/N-M/N-M:1.0/ttyUSB0 and its tty folder.
constexpr int usb_levels_max = 6;

void copy(char* out, size_t cap, std::string_view text) {
    snprintf(out, cap, "%.*s", int(text.size()), text.data());
}

// The first line of a small sysfs file, without its end; false when there
// is none.
bool read_line(const fs::path& file, char* out, size_t cap) {
    FILE* f = fopen(file.c_str(), "r");
    if (f == nullptr) return false;
    bool ok = fgets(out, int(cap), f) != nullptr;
    fclose(f);
    if (!ok) return false;
    out[strcspn(out, "\r\n")] = '\0';
    return out[0] != '\0';
}

bool read_hex16(const fs::path& file, uint16_t& out) {
    char text[16];
    if (!read_line(file, text, sizeof text)) return false;
    char* end = nullptr;
    unsigned long value = strtoul(text, &end, 16);
    if (end == text || *end != '\0' || value > 0xffff) return false;
    out = uint16_t(value);
    return true;
}

// "ttyUSB12" in family "ttyUSB": 12; -1 for another family or no number.
long family_number(std::string_view name, std::string_view family) {
    if (name.size() <= family.size() || name.substr(0, family.size()) != family) return -1;
    long n = 0;
    for (char c : name.substr(family.size())) {
        if (c < '0' || c > '9' || n > 99999) return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

// A ttyS device node exists for every possible port; only those with a
// device behind them and a UART the serial core recognised (type not 0,
// PORT_UNKNOWN) are ports.
bool has_uart(const fs::path& sys_tty) {
    std::error_code ec;
    if (!fs::exists(sys_tty / "device", ec)) return false;
    char text[16];
    if (!read_line(sys_tty / "type", text, sizeof text)) return false;
    char* end = nullptr;
    long type = strtol(text, &end, 10);
    return end != text && *end == '\0' && type > 0;
}

// The adapter's name in a by-id link: "usb-FTDI_FT232R_USB_UART_A12345-if00-port0"
// gives "FTDI FT232R USB UART A12345".
void adapter_name(std::string_view link, char* out, size_t cap) {
    if (link.substr(0, 4) == "usb-") link.remove_prefix(4);
    if (size_t at = link.rfind("-if"); at != std::string_view::npos && at > 0)
        link = link.substr(0, at);
    copy(out, cap, link);
    for (char* p = out; *p != '\0'; ++p)
        if (*p == '_') *p = ' ';
}

// The USB device above the port's sysfs device: the first folder upwards
// that has idVendor.
void read_usb(const fs::path& sys_tty, SerialPortInfo& port) {
    std::error_code ec;
    fs::path at = fs::canonical(sys_tty / "device", ec);
    if (ec) return;
    for (int level = 0; level < usb_levels_max && at.has_relative_path(); ++level) {
        if (read_hex16(at / "idVendor", port.vendor_id)) {
            port.usb = true;
            read_hex16(at / "idProduct", port.product_id);
            read_line(at / "manufacturer", port.manufacturer, sizeof port.manufacturer);
            read_line(at / "product", port.product, sizeof port.product);
            read_line(at / "serial", port.serial, sizeof port.serial);
            return;
        }
        at = at.parent_path();
    }
}

bool listed(const SerialPortList& list, std::string_view kernel) {
    for (size_t i = 0; i < list.count; ++i)
        if (kernel == list.ports[i].kernel) return true;
    return false;
}

SerialPortInfo* add_port(SerialPortList& list, std::string_view kernel) {
    if (list.count == list.ports.size() || kernel.size() >= sizeof list.ports[0].kernel)
        return nullptr;
    SerialPortInfo& port = list.ports[list.count++];
    port = SerialPortInfo{};
    copy(port.kernel, sizeof port.kernel, kernel);
    snprintf(port.device, sizeof port.device, "/dev/%.*s", int(kernel.size()), kernel.data());
    return &port;
}

// The entries of a folder whose names pass keep, sorted by name; at most
// cap of them.
template <size_t N>
size_t sorted_names(const fs::path& folder, bool (*keep)(std::string_view),
                    std::array<std::array<char, 256>, N>& names) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    size_t count = 0;
    for (; !ec && it != fs::directory_iterator() && count < N; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (!keep(name) || name.size() >= names[0].size()) continue;
        copy(names[count].data(), names[count].size(), name);
        ++count;
    }
    std::sort(names.begin(), names.begin() + count,
              [](const auto& a, const auto& b) { return strcmp(a.data(), b.data()) < 0; });
    return count;
}

bool any_name(std::string_view name) {
    return !name.empty() && name[0] != '.';
}

bool tty_name(std::string_view name) {
    for (std::string_view family : tty_families)
        if (family_number(name, family) >= 0) return true;
    return false;
}

// Orders ttyUSB before ttyACM before ttyS, and by number within each.
long tty_rank(const char* name) {
    for (long f = 0; f < long(std::size(tty_families)); ++f)
        if (long n = family_number(name, tty_families[f]); n >= 0) return f * 1000000 + n;
    return 0;
}

void add_by_id(const fs::path& dev, SerialPortList& list) {
    static std::array<std::array<char, 256>, serial_ports_max> names;
    size_t count = sorted_names(dev / "serial" / "by-id", any_name, names);
    for (size_t i = 0; i < count; ++i) {
        std::error_code ec;
        fs::path target = fs::canonical(dev / "serial" / "by-id" / names[i].data(), ec);
        if (ec) continue; // the device has gone and its link not yet
        std::string kernel = target.filename().string();
        if (listed(list, kernel)) continue;
        SerialPortInfo* port = add_port(list, kernel);
        if (port == nullptr) return;
        snprintf(port->stable, sizeof port->stable, "/dev/serial/by-id/%s", names[i].data());
        adapter_name(names[i].data(), port->adapter, sizeof port->adapter);
    }
}

void add_ttys(const fs::path& dev, const fs::path& sys_class, SerialPortList& list) {
    static std::array<std::array<char, 256>, 256> names;
    size_t count = sorted_names(dev, tty_name, names);
    std::sort(names.begin(), names.begin() + count,
              [](const auto& a, const auto& b) { return tty_rank(a.data()) < tty_rank(b.data()); });
    for (size_t i = 0; i < count; ++i) {
        std::string_view name = names[i].data();
        if (listed(list, name)) continue;
        if (family_number(name, "ttyS") >= 0 && !has_uart(sys_class / name)) continue;
        if (add_port(list, name) == nullptr) return;
    }
}

// The COM links under the prefix that lead to each port.
void match_com_links(const fs::path& dev, ComLinkPathFn com_link, SerialPortList& list) {
    for (int com = 1; com <= com_links_last; ++com) {
        char link[4096];
        if (!com_link(com, link, sizeof link)) return;
        std::error_code ec;
        fs::path target = fs::canonical(link, ec);
        if (ec) continue;
        for (size_t i = 0; i < list.count; ++i) {
            SerialPortInfo& port = list.ports[i];
            if (port.com != 0) continue;
            fs::path device = fs::canonical(dev / port.kernel, ec);
            if (!ec && device == target) port.com = com;
        }
    }
}

} // namespace

void find_serial_ports_under(const char* root, ComLinkPathFn com_link, SerialPortList& list) {
    list.count = 0;
    char text[1024];
    snprintf(text, sizeof text, "%s/dev", root);
    fs::path dev = text;
    snprintf(text, sizeof text, "%s/sys/class/tty", root);
    fs::path sys_class = text;

    add_by_id(dev, list);
    add_ttys(dev, sys_class, list);
    for (size_t i = 0; i < list.count; ++i)
        read_usb(sys_class / list.ports[i].kernel, list.ports[i]);
    if (com_link != nullptr) match_com_links(dev, com_link, list);
}
