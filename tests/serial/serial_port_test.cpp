#include "base/dialog_template.h"
#include "base/log.h"
#include "base/state.h"
#include "pty_pair.h"
#include "serial/com_link.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "support/fake_clock.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

uint32_t probe_output_baud(int fd); // baud_probe_linux.cpp

namespace {

class SerialPortTest : public WindowTest {
  protected:
    PtyPair pty;

    void SetUp() override {
        WindowTest::SetUp();
        test_com_prefix();
        link_com(1, pty.slave_path);
        connection_kind = 1;
    }
    void TearDown() override {
        for (int port = serial_port_first; port <= serial_port_last; ++port) serial_close(port);
        for (int port = 1; port <= 4; ++port) link_com(port, "");
        fake_clock::uninstall();
        WindowTest::TearDown();
    }

    // Bytes the device end has received within a short real time.
    std::string device_read(size_t expected) {
        std::string got;
        while (got.size() < expected) {
            pollfd p{pty.master, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0) break;
            char buf[512];
            ssize_t n = read(pty.master, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, size_t(n));
        }
        return got;
    }
};

TEST_F(SerialPortTest, OpensAtEachRateInRawModeWithoutFlowControl) {
    for (uint32_t baud : {9600u, 115200u, 126000u}) {
        ASSERT_TRUE(serial_open(1, baud, 'N', 8, 1)) << baud;
        termios tio{};
        ASSERT_EQ(tcgetattr(pty.slave, &tio), 0);
        EXPECT_EQ(probe_output_baud(pty.slave), baud);
        EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
        EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_NE(tio.c_cflag & CREAD, 0u);
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | IGNBRK), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(tio.c_cc[VMIN], 0);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
        serial_close(1);
    }
    // Other line settings reach the terminal too (a pseudo-terminal keeps
    // its 8 bits without parity whatever it is told).
    ASSERT_TRUE(serial_open(1, 19200, 'E', 7, 2));
    termios tio{};
    ASSERT_EQ(tcgetattr(pty.slave, &tio), 0);
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(probe_output_baud(pty.slave), 19200u);
}

TEST_F(SerialPortTest, OnlyPortsOneToFourAndOpenOnce) {
    for (int port : {0, 5, -1, 12}) {
        link_com(port < 1 ? 1 : port, pty.slave_path);
        EXPECT_FALSE(serial_open(port, 115200, 'N', 8, 1)) << port;
        EXPECT_EQ(serial_bytes_waiting(port), 0u);
        EXPECT_EQ(serial_wait_handle(port), no_wait_handle);
        serial_write_byte(port, 'x'); // nothing happens
        serial_close(port);
    }
    link_com(12, "");
    // Nothing was opened: the device is free for the first real open.
    ASSERT_TRUE(serial_open(1, 115200, 'N', 8, 1));
    WaitHandle first = serial_wait_handle(1);
    EXPECT_NE(first, no_wait_handle);
    // A second open of an open port succeeds without opening again.
    EXPECT_TRUE(serial_open(1, 9600, 'N', 8, 1));
    EXPECT_EQ(serial_wait_handle(1), first);
    EXPECT_EQ(probe_output_baud(pty.slave), 115200u);
    serial_close(1);
    serial_close(1); // closing a closed port does nothing
    EXPECT_EQ(serial_wait_handle(1), no_wait_handle);
}

TEST_F(SerialPortTest, SecondOpenOfTheSameDeviceFails) {
    link_com(2, pty.slave_path);
    ASSERT_TRUE(serial_open(1, 115200, 'N', 8, 1));
    // The tests run as root too, where only the lock keeps the device.
    EXPECT_FALSE(serial_open(2, 115200, 'N', 8, 1));
    EXPECT_EQ(serial_wait_handle(2), no_wait_handle);
    serial_close(1);
    // Released on close, exclusive mode included.
    EXPECT_TRUE(serial_open(2, 115200, 'N', 8, 1));
    EXPECT_FALSE(serial_open(1, 115200, 'N', 8, 1));
}

TEST_F(SerialPortTest, RefusesBadSettingsMissingDevicesAndNonTerminals) {
    EXPECT_FALSE(serial_open(1, 0, 'N', 8, 1));
    EXPECT_FALSE(serial_open(1, 9600, 'X', 8, 1));
    EXPECT_FALSE(serial_open(1, 9600, 'N', 9, 1));
    EXPECT_FALSE(serial_open(1, 9600, 'N', 4, 1));
    EXPECT_FALSE(serial_open(1, 9600, 'N', 8, 3));
    link_com(3, test_com_prefix() + "/no-such-device");
    EXPECT_FALSE(serial_open(3, 9600, 'N', 8, 1)); // a dangling link is not skipped
    link_com(3, "/dev/null");
    EXPECT_FALSE(serial_open(3, 9600, 'N', 8, 1));
    // After all that the port opens normally.
    EXPECT_TRUE(serial_open(1, 9600, 'n', 8, 1));
}

TEST_F(SerialPortTest, DeviceNamesFollowTheDosdevicesLinks) {
    char path[256];
    ASSERT_TRUE(com_link_path(3, path, sizeof path));
    EXPECT_EQ(std::string(path), test_com_prefix() + "/dosdevices/com3");
    ASSERT_TRUE(com_device_path(3, path, sizeof path));
    EXPECT_STREQ(path, "/dev/ttyS2"); // no link
    ASSERT_TRUE(com_device_path(1, path, sizeof path));
    EXPECT_EQ(std::string(path), test_com_prefix() + "/dosdevices/com1");

    std::string prefix = test_com_prefix();
    unsetenv("VARNOKE_PREFIX");
    std::string home = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", "/home/op", 1);
    ASSERT_TRUE(com_link_path(2, path, sizeof path));
    EXPECT_STREQ(path, "/home/op/.varnoke/dosdevices/com2");
    EXPECT_FALSE(com_link_path(2, path, 20)); // does not fit
    setenv("HOME", home.c_str(), 1);
    setenv("VARNOKE_PREFIX", prefix.c_str(), 1);
}

TEST_F(SerialPortTest, CarriesAllByteValuesUnchanged) {
    ASSERT_TRUE(serial_open(1, 115200, 'N', 8, 1));
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);

    for (char c : all) serial_write_byte(1, uint8_t(c));
    EXPECT_EQ(device_read(all.size()), all);

    ASSERT_EQ(write(pty.master, all.data(), all.size()), ssize_t(all.size()));
    std::string got;
    fake_clock::install(1000, 2000);
    while (got.size() < all.size() && serial_wait_input(100) == 1) {
        while (serial_bytes_waiting(1) > 0) got += char(serial_read_byte(1));
    }
    EXPECT_EQ(got, all);
    EXPECT_EQ(serial_read_byte(1), 0); // nothing waiting
}

TEST_F(SerialPortTest, PurgeDiscardsInputAndLetsOutputLeave) {
    ASSERT_TRUE(serial_open(1, 115200, 'N', 8, 1));
    ASSERT_EQ(write(pty.master, "junk", 4), 4);
    fake_clock::install(1000, 2000);
    ASSERT_EQ(serial_wait_input(1000), 1);
    for (uint8_t b : {0x18, 0x18, 0x18}) serial_write_byte(1, b);
    serial_purge(1);
    serial_write_byte(1, 0x05);
    EXPECT_EQ(serial_bytes_waiting(1), 0u);
    EXPECT_EQ(device_read(4), "\x18\x18\x18\x05");
}

TEST_F(SerialPortTest, WaitTimesOutWithTheFakeTickAndAcrossItsWrap) {
    ASSERT_TRUE(serial_open(1, 115200, 'N', 8, 1));
    fake_clock::install(1000, 20);
    EXPECT_EQ(serial_wait_input(0), 0);
    EXPECT_GE(fake_clock::now() - 1000, 1u);

    uint32_t start = 0xFFFFFF00u;
    fake_clock::install(start, 20);
    EXPECT_EQ(serial_wait_input(3000), 0);
    uint32_t waited = fake_clock::now() - start;
    EXPECT_GT(waited, 3000u);
    EXPECT_LT(waited, 3100u);

    // A byte already waiting ends even a zero wait at once.
    ASSERT_EQ(write(pty.master, "a", 1), 1);
    fake_clock::install(1000, 2000);
    EXPECT_EQ(serial_wait_input(3000), 1); // arrives within the real slice
    uint32_t before = fake_clock::now();
    EXPECT_EQ(serial_wait_input(0), 1);
    EXPECT_EQ(fake_clock::now(), before);
}

TEST_F(SerialPortTest, WaitDispatchesWindowEventsAndWakesOnInput) {
    ASSERT_TRUE(serial_open(1, 115200, 'N', 8, 1));
    log_printf("to be cleared");
    headless::queue_click(idc_clear);
    std::thread device([&] {
        usleep(50000);
        EXPECT_EQ(write(pty.master, "z", 1), 1);
    });
    fake_clock::install(1000, 5000);
    EXPECT_EQ(serial_wait_input(2000), 1);
    device.join();
    EXPECT_EQ(fake_clock::jumps(), 0u); // the input ended the wait, not the clock
    EXPECT_TRUE(headless::log_lines().empty());
    EXPECT_EQ(serial_read_byte(1), 'z');
}

// Each way an open fails is told apart, naming the device COM1 was taken to
// be. The permission case runs the open in a child that is not root, as root
// may open anything.
TEST_F(SerialPortTest, AFailedOpenSaysWhatThePortWasAndWhy) {
    std::string link = test_com_prefix() + "/dosdevices/com1";
    std::string pts = pty.slave_path;
    auto open_com1 = [] {
        bool opened = serial_open(1, 115200, 'N', 8, 1);
        serial_close(1);
        return opened ? std::string("opened") : std::string(serial_device_failure().reason);
    };
    auto as_nobody = [&] {
        int out[2];
        if (pipe(out) != 0) return std::string("no pipe");
        pid_t child = fork();
        if (child == 0) {
            // The device itself, as with --port: the test's folders are root's.
            serial_set_port_path(1, pts.c_str());
            std::string reason = setgid(65534) == 0 && setuid(65534) == 0 ? open_com1() : "root";
            ssize_t written = write(out[1], reason.data(), reason.size());
            _exit(written < 0);
        }
        close(out[1]);
        char buf[800];
        ssize_t n = read(out[0], buf, sizeof buf);
        close(out[0]);
        waitpid(child, nullptr, 0);
        return std::string(buf, size_t(n > 0 ? n : 0));
    };
    auto held_by_child = [&] {
        int ready[2];
        if (pipe(ready) != 0) return std::string("no pipe");
        pid_t child = fork();
        if (child == 0) {
            int fd = open(pts.c_str(), O_RDWR | O_NOCTTY);
            flock(fd, LOCK_EX);
            ssize_t written = write(ready[1], "x", 1);
            pause();
            _exit(written < 0);
        }
        char x;
        bool started = read(ready[0], &x, 1) == 1;
        std::string reason = started ? open_com1() : "child did not start";
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        close(ready[0]);
        close(ready[1]);
        return reason + "|" + std::to_string(child);
    };
    link_com(1, "/dev/varnoke-no-such-tty");
    EXPECT_EQ(open_com1(), "no device at /dev/varnoke-no-such-tty: is the adapter plugged in?");
    EXPECT_EQ(std::string(serial_device_failure().device),
              "COM1 is /dev/varnoke-no-such-tty (the link " + link + " points there)");

    link_com(1, "/dev/null");
    EXPECT_EQ(open_com1(), "/dev/null is not a serial port (not a terminal)");

    link_com(1, pts);
    if (getuid() == 0) {
        // The advice names the device's group, the usual dialout, or says that
        // only root may open it.
        struct stat st;
        ASSERT_EQ(stat(pts.c_str(), &st), 0);
        const group* g = st.st_gid != 0 ? getgrgid(st.st_gid) : nullptr;
        std::string name = g != nullptr ? g->gr_name : "";
        EXPECT_EQ(as_nobody(),
                  pts + " may not be opened by this user: " +
                      (g != nullptr ? "add yourself to the " + name + " group: sudo usermod -aG " +
                                          name + " $USER, then log in again"
                                    : "only root may open it (a udev rule can give it to the "
                                      "dialout group)"));
    }
    std::string held = held_by_child();
    std::string pid = held.substr(held.rfind('|') + 1);
    EXPECT_EQ(held.substr(0, held.rfind('|')).rfind("another program holds " + pts + " (", 0), 0u)
        << held;
    EXPECT_NE(held.find(", pid " + pid + ")"), std::string::npos) << held;
    EXPECT_EQ(open_com1(), "opened");
}

} // namespace
