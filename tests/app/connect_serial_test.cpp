// Connect and Disconnect on a COM port, against the simulated device.
#include "app/handlers.h"
#include "base/dialog_template.h"
#include "base/state.h"
#include "serial/serial_port.h"
#include "serial_sim_fixture.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

using headless::control;
using Lines = std::vector<std::string>;

class ConnectSerialTest : public SerialSimTest {
  protected:
    void SetUp() override {
        SerialSimTest::SetUp();
        ui_list_delete_all(idc_log);
    }
    void TearDown() override {
        serial_close(1);
        connected_flag = 0;
        SerialSimTest::TearDown();
    }
    void expect_disconnected_window() {
        EXPECT_EQ(connected_flag, 0);
        EXPECT_EQ(control(idc_connect).text, "Connect");
        for (int id : {idc_connect, idc_kind, idc_address, idc_exit})
            EXPECT_TRUE(control(id).enabled) << id;
        for (int id : {idc_send, idc_sign, idc_refresh}) EXPECT_FALSE(control(id).enabled) << id;
    }
};

TEST_F(ConnectSerialTest, ConnectAtThePreselectedRateThenDisconnect) {
    control(idc_details).checked = false;
    headless::queue_click(idc_connect);
    pump_one_message();
    std::string info = device_reply("v").substr(9);
    EXPECT_EQ(headless::log_lines(), (Lines{"Opened port COM1, 115200, Parity NONE, Data 8, Stop 1",
                                            "Reading device info", "Device info: [" + info + "]"}));
    EXPECT_EQ(connected_flag, 1);
    EXPECT_EQ(connection_kind, 1);
    EXPECT_EQ(control(idc_connect).text, "Disconnect");
    for (int id : {idc_send, idc_sign, idc_connect, idc_refresh, idc_run_batch, idc_bmp})
        EXPECT_TRUE(control(id).enabled) << id;
    for (int id : {idc_kind, idc_address}) EXPECT_FALSE(control(id).enabled) << id;
    expect_received("\x18\x18\x18\x05\x02v/65\x03\x06");

    ui_list_delete_all(idc_log);
    headless::queue_click(idc_connect);
    pump_one_message();
    EXPECT_EQ(headless::log_lines(), Lines{"Closed port COM1"});
    expect_disconnected_window();
    EXPECT_EQ(serial_wait_handle(1), no_wait_handle); // the port is closed
}

TEST_F(ConnectSerialTest, DeviceErrorInTheInformationReplyStillConnects) {
    sim_with_device([](DeviceModel& d) { d.faults.error_code = 0x0A; });
    control(idc_details).checked = false;
    connect_or_disconnect();
    EXPECT_EQ(connected_flag, 1);
    Lines log = headless::log_lines();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2], "Error 0x0A: DAYOPEN (Cannot execute command when day is open) -- Close "
                      "the day and retry the command");
    EXPECT_EQ(log[3].rfind("Device info: [", 0), 0u);
}

TEST_F(ConnectSerialTest, FailingInformationRequestClosesThePort) {
    serial_sim_set_faults({.enq_can = 1});
    control(idc_details).checked = false;
    connect_or_disconnect();
    EXPECT_EQ(headless::log_lines(),
              (Lines{"Opened port COM1, 115200, Parity NONE, Data 8, Stop 1", "Reading device info",
                     "Canceled by peer", "Fatal device comm error"}));
    expect_disconnected_window();
    EXPECT_EQ(serial_wait_handle(1), no_wait_handle);
}

TEST_F(ConnectSerialTest, TypedRateMustBeOneOfTheList) {
    control(idc_details).checked = false;
    headless::type_text(idc_address, "9600");
    connect_or_disconnect();
    EXPECT_EQ(headless::log_lines().front(), "Opened port COM1, 9600, Parity NONE, Data 8, Stop 1");
    EXPECT_EQ(connected_flag, 1);
    connect_or_disconnect();

    ui_list_delete_all(idc_log);
    headless::type_text(idc_address, "fast");
    headless::answer_box(id_ok);
    connect_or_disconnect();
    ASSERT_EQ(headless::boxes().size(), 1u);
    EXPECT_EQ(headless::boxes()[0].text,
              "Invalid baud rate [fast]; choose one of the listed rates");
    EXPECT_TRUE(headless::log_lines().empty());
    expect_disconnected_window();
}

TEST_F(ConnectSerialTest, PortsBeyondTheHandledRangeCannotOpen) {
    headless::queue_select(idc_kind, 4); // COM5
    pump_one_message();
    headless::answer_box(id_ok);
    connect_or_disconnect();
    ASSERT_EQ(headless::boxes().size(), 1u);
    EXPECT_EQ(headless::boxes()[0].text, "Cannot open port COM5...");
    // After the failure, why, then the ports this machine has, each with
    // the command that makes it COM5 (or that there is none).
    Lines lines = headless::log_lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Failed opening COM5 port...");
    EXPECT_EQ(lines[1], "only COM1 to COM4 can be opened");
    std::regex hint(
        "Port tty[A-Z]+[0-9]+.* as COM5: (mkdir -p \\S+ && )?ln -sf /dev/\\S+ \\S+/com5|"
        "Port tty[A-Z]+[0-9]+.*: COM5 is linked to /dev/\\S+|No serial ports found");
    for (size_t i = 2; i < lines.size(); ++i)
        EXPECT_TRUE(std::regex_match(lines[i], hint)) << lines[i];
    EXPECT_EQ(connection_kind, 5);
    expect_disconnected_window();
    EXPECT_TRUE(serial_sim_received().empty());
}

} // namespace
