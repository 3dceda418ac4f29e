// The port finder over /dev and /sys trees made of real files, folders and
// links in a temporary folder, laid out as the kernel lays them out.
#include "serial/port_finder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

enum class Kind { file, folder, link };
struct Node {
    Kind kind;
    const char* path;
    const char* content; // a file's text, a link's target
};

// An FTDI adapter as ttyUSB0, with its by-id link and its sysfs device
// (the class entry is a link into /sys/devices, as on a real system).
#define USB_DEVICE "sys/devices/pci0000:00/0000:00:14.0/usb1/1-2"
#define BY_ID "usb-FTDI_FT232R_USB_UART_A12345-if00-port0"
const std::vector<Node> ftdi = {
    {Kind::file, "dev/ttyUSB0", ""},
    {Kind::link, "dev/serial/by-id/" BY_ID, "../../ttyUSB0"},
    {Kind::file, USB_DEVICE "/idVendor", "0403\n"},
    {Kind::file, USB_DEVICE "/idProduct", "6001\n"},
    {Kind::file, USB_DEVICE "/manufacturer", "FTDI\n"},
    {Kind::file, USB_DEVICE "/product", "FT232R USB UART\n"},
    {Kind::file, USB_DEVICE "/serial", "A12345\n"},
    {Kind::folder, USB_DEVICE "/1-2:1.0/ttyUSB0/tty/ttyUSB0", ""},
    {Kind::link, USB_DEVICE "/1-2:1.0/ttyUSB0/tty/ttyUSB0/device", "../../../ttyUSB0"},
    {Kind::folder, "sys/class/tty", ""},
    {Kind::link, "sys/class/tty/ttyUSB0",
     "../../devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0"},
};
const char ftdi_line[] = "-     /dev/serial/by-id/" BY_ID
                         "  ttyUSB0, FTDI FT232R USB UART, USB 0403:6001, serial A12345";

// ttyS0 has a 16550A behind it; ttyS1 has a device whose UART the kernel
// did not find (type 0); ttyS2 has no device at all; ttyS3 has a type that
// is not a number.
const std::vector<Node> uarts = {
    {Kind::file, "dev/ttyS0", ""},
    {Kind::file, "dev/ttyS1", ""},
    {Kind::file, "dev/ttyS2", ""},
    {Kind::file, "dev/ttyS3", ""},
    {Kind::folder, "sys/devices/platform/serial8250/tty", ""},
    {Kind::link, "sys/class/tty/ttyS0/device", "../../../devices/platform/serial8250"},
    {Kind::file, "sys/class/tty/ttyS0/type", "4\n"},
    {Kind::link, "sys/class/tty/ttyS1/device", "../../../devices/platform/serial8250"},
    {Kind::file, "sys/class/tty/ttyS1/type", "0\n"},
    {Kind::file, "sys/class/tty/ttyS2/type", "4\n"},
    {Kind::link, "sys/class/tty/ttyS3/device", "../../../devices/platform/serial8250"},
    {Kind::file, "sys/class/tty/ttyS3/type", "16550A\n"},
};

// Numbers in their order, ttyUSB before ttyACM before ttyS, a by-id link
// whose device has gone, an ACM device without sysfs, and names that are
// not serial ports.
const std::vector<Node> mixed = {
    {Kind::file, "dev/ttyUSB10", ""},
    {Kind::file, "dev/ttyUSB2", ""},
    {Kind::file, "dev/ttyACM0", ""},
    {Kind::file, "dev/ttyS0", ""},
    {Kind::file, "dev/tty0", ""},
    {Kind::file, "dev/ttyUSBx", ""},
    {Kind::link, "dev/serial/by-id/usb-Gone_Adapter-if00-port0", "../../ttyUSB7"},
    {Kind::link, "sys/class/tty/ttyS0/device", "../../../devices/platform/serial8250"},
    {Kind::file, "sys/class/tty/ttyS0/type", "4\n"},
    {Kind::folder, "sys/devices/platform/serial8250", ""},
};

class PortFinderTest : public ::testing::Test {
  protected:
    std::string root;

    void SetUp() override {
        char name[] = "/tmp/varnoke-ports-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root = name;
        setenv("VARNOKE_PREFIX", (root + "/prefix").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(root); }

    void make(const std::vector<Node>& tree) {
        for (const Node& n : tree) {
            fs::path at = root + "/" + n.path;
            fs::create_directories(at.parent_path());
            switch (n.kind) {
            case Kind::file:
                std::ofstream(at) << n.content;
                break;
            case Kind::folder:
                fs::create_directories(at);
                break;
            case Kind::link:
                fs::create_symlink(n.content, at);
                break;
            }
        }
    }
    // The lines varnoke-cli --list-ports would print for the tree.
    std::vector<std::string> lines(ComLinkPathFn com_link = nullptr) {
        static SerialPortList list;
        find_serial_ports_under(root.c_str(), com_link, list);
        std::vector<std::string> out;
        for (size_t i = 0; i < list.count; ++i) {
            char line[1024];
            format_port_line(list.ports[i], line, sizeof line);
            out.push_back(line);
        }
        return out;
    }
};

// COMn's link in the test's prefix.
bool test_com_link(int port, char* out, size_t cap) {
    int n = snprintf(out, cap, "%s/dosdevices/com%d", getenv("VARNOKE_PREFIX"), port);
    return n > 0 && size_t(n) < cap;
}

TEST_F(PortFinderTest, ListsTheTreesPortsInOrder) {
    struct Case {
        const char* what;
        std::vector<std::vector<Node>> trees;
        std::vector<std::string> expected;
    } cases[] = {
        {"a USB adapter by id", {ftdi}, {ftdi_line}},
        {"UARTs", {uarts}, {"-     /dev/ttyS0  ttyS0"}},
        {"nothing at all", {}, {}},
        {"mixed",
         {mixed},
         {"-     /dev/ttyUSB2  ttyUSB2", "-     /dev/ttyUSB10  ttyUSB10",
          "-     /dev/ttyACM0  ttyACM0", "-     /dev/ttyS0  ttyS0"}},
        {"both", {uarts, ftdi}, {ftdi_line, "-     /dev/ttyS0  ttyS0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(root);
        fs::create_directories(root);
        for (const auto& tree : c.trees) make(tree);
        EXPECT_EQ(lines(), c.expected);
    }
}

TEST_F(PortFinderTest, NoTreeAtAllListsNothing) {
    fs::remove_all(root);
    EXPECT_EQ(lines(test_com_link), std::vector<std::string>{});
}

TEST_F(PortFinderTest, NamesTheComLinksThatLeadToEachPort) {
    make(ftdi);
    make(uarts);
    fs::create_directories(root + "/prefix/dosdevices");
    // COM2 by the stable name, COM3 by the kernel name, COM4 to nothing.
    fs::create_symlink(root + "/dev/serial/by-id/" BY_ID, root + "/prefix/dosdevices/com2");
    fs::create_symlink(root + "/dev/ttyS0", root + "/prefix/dosdevices/com3");
    fs::create_symlink(root + "/dev/ttyUSB9", root + "/prefix/dosdevices/com4");
    std::string com2 = ftdi_line;
    com2.replace(0, 4, "COM2");
    EXPECT_EQ(lines(test_com_link), (std::vector<std::string>{com2, "COM3  /dev/ttyS0  ttyS0"}));
}

// The hint is a command to paste: run by the shell it must make the link
// the serial device opens as COMn, folder and all.
TEST_F(PortFinderTest, HintsCommandMakesTheComLink) {
    make(ftdi);
    static SerialPortList list;
    find_serial_ports_under(root.c_str(), nullptr, list);
    ASSERT_EQ(list.count, 1u);
    std::string link = root + "/prefix/dosdevices/com1";
    char line[1200];
    format_port_hint(list.ports[0], 1, line, sizeof line);
    std::string command =
        "mkdir -p " + root + "/prefix/dosdevices && ln -sf /dev/serial/by-id/" + BY_ID + " " + link;
    EXPECT_EQ(std::string(line), "Port ttyUSB0, FTDI FT232R USB UART, USB 0403:6001, serial "
                                 "A12345 as COM1: " +
                                     command);
    ASSERT_EQ(system(command.c_str()), 0);
    EXPECT_EQ(fs::read_symlink(link), "/dev/serial/by-id/" BY_ID);

    // Once the folder is there the command is the link alone; a port that
    // COMn already leads to is named as such.
    format_port_hint(list.ports[0], 2, line, sizeof line);
    EXPECT_EQ(std::string(line), "Port ttyUSB0, FTDI FT232R USB UART, USB 0403:6001, serial "
                                 "A12345 as COM2: ln -sf /dev/serial/by-id/" BY_ID " " +
                                     root + "/prefix/dosdevices/com2");
    list.ports[0].com = 1;
    format_port_hint(list.ports[0], 1, line, sizeof line);
    EXPECT_EQ(std::string(line), "Port ttyUSB0, FTDI FT232R USB UART, USB 0403:6001, serial "
                                 "A12345: COM1 is linked to /dev/serial/by-id/" BY_ID);
}

// A prefix with a space and a quote in it stays one word for the shell.
TEST_F(PortFinderTest, HintQuotesAPrefixTheShellWouldSplit) {
    make(ftdi);
    std::string prefix = root + "/it's a prefix";
    fs::create_directories(prefix + "/dosdevices");
    setenv("VARNOKE_PREFIX", prefix.c_str(), 1);
    static SerialPortList list;
    find_serial_ports_under(root.c_str(), nullptr, list);
    ASSERT_EQ(list.count, 1u);
    char line[1200];
    format_port_hint(list.ports[0], 3, line, sizeof line);
    std::string text = line;
    std::string command = text.substr(text.find(": ln -sf ") + 2);
    ASSERT_EQ(system(command.c_str()), 0) << command;
    EXPECT_EQ(fs::read_symlink(prefix + "/dosdevices/com3"), "/dev/serial/by-id/" BY_ID);
}

} // namespace
