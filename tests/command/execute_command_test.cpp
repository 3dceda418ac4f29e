// execute_command over the serial link against the simulated device.
#include "app/handlers.h"
#include "base/dialog_template.h"
#include "base/state.h"
#include "command/command.h"
#include "serial/serial_port.h"
#include "serial_sim_fixture.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using headless::control;
using Lines = std::vector<std::string>;

bool contains(const Lines& lines, const std::string& line) {
    for (auto& l : lines)
        if (l == line) return true;
    return false;
}

class ExecuteCommandTest : public SerialLinkTest {
  protected:
    static void device(void (*change)(DeviceModel&)) { sim_with_device(change); }

    char data[1000] = "untouched";
};

TEST_F(ExecuteCommandTest, StatusPanelReplyFieldAndDataPart) {
    device([](DeviceModel& d) {
        d.faults.device_status = uint8_t(status_bit(idc_bat));
        d.faults.function_status = uint8_t(status_bit(idc_fwarn) | status_bit(idc_sip));
    });
    ASSERT_EQ(execute_command("v", data, sizeof data, 1), 0);
    EXPECT_EQ(error_code, 0);
    EXPECT_EQ(device_status, status_bit(idc_bat));
    EXPECT_EQ(function_status, status_bit(idc_fwarn) | status_bit(idc_sip));
    std::string reply = control(idc_reply).text;
    EXPECT_EQ(reply.substr(0, 9), "00/80/24/");
    EXPECT_STREQ(data, reply.c_str() + 9);

    for (int id = idc_status_first; id <= idc_status_last; ++id) {
        bool set = id == idc_bat || id == idc_fwarn || id == idc_sip;
        bool dashes = id == idc_function_bit4 || id == idc_function_bit0;
        EXPECT_EQ(control(id).text, dashes ? "--" : set ? "1" : "0") << id;
    }
    Lines log = headless::log_lines();
    EXPECT_TRUE(contains(log, "Status info   [00-80-24]"));
    EXPECT_TRUE(contains(log, "Replied frame [" + std::string(data) + "]"));
}

TEST_F(ExecuteCommandTest, BusyAndPrinterOfflineRepeatTheRequestUntilAnotherCode) {
    device([](DeviceModel& d) {
        d.faults.busy = 2;
        d.faults.printer_offline = 1;
    });
    ASSERT_EQ(execute_command("v", data, sizeof data, 0), 0);
    EXPECT_EQ(error_code, 0);
    EXPECT_EQ(count_of(serial_sim_received(), "\x02v/65\x03"), 4u);
    EXPECT_EQ(control(idc_reply).text.substr(0, 3), "00/");
    EXPECT_TRUE(headless::log_lines().empty()); // nothing between the repeats
}

TEST_F(ExecuteCommandTest, DeviceErrorsInWordsAndUnknownCodes) {
    const std::pair<uint8_t, const char*> cases[] = {
        {0x12, "Error 0x12: SIGNDATAERR (Data passed for signinig are of bad format) -- Fix "
               "format of data passed for signing"},
        {0x80, "Error 0x80: ZERO_Z_ALERT (Zero 'z' Detected) -- The application is going to "
               "take zero 'Z'."},
        {0x26, "Unknown error 0x26"},
        {0x81, "Unknown error 0x81"},
        {0xFF, "Unknown error 0xFF"},
    };
    for (auto [code, line] : cases) {
        static uint8_t injected;
        injected = code;
        device([](DeviceModel& d) { d.faults.error_code = injected; });
        ui_list_delete_all(idc_log);
        ASSERT_EQ(execute_command("?", data, sizeof data, 0), 0);
        EXPECT_EQ(error_code, code);
        EXPECT_EQ(headless::log_lines(), Lines{line}) << "details off still logs device errors";
    }
}

TEST_F(ExecuteCommandTest, LowerCaseAndNonHexadecimalStatusDigits) {
    serial_sim_send_raw(
        {reply_body("1a/00/00"), reply_body("0e/0a/00/x"), reply_body("zz/0A/b1/data")});
    ASSERT_EQ(execute_command("?", data, sizeof data, 1), 0);
    EXPECT_EQ(count_of(serial_sim_received(), "\x02?/"), 3u);
    EXPECT_EQ(error_code, 0xFF);
    EXPECT_EQ(device_status, 0x0A);
    EXPECT_EQ(function_status, 0xB1);
    EXPECT_STREQ(data, "data");
    EXPECT_TRUE(contains(headless::log_lines(), "Unknown error 0xFF"));
}

TEST_F(ExecuteCommandTest, StatusOnlyReplyGivesEmptyDataAndNoRepliedFrameLine) {
    serial_sim_send_raw({reply_body("00/00/00/")});
    ASSERT_EQ(execute_command("?", data, sizeof data, 1), 0);
    EXPECT_STREQ(data, "");
    for (auto& l : headless::log_lines()) EXPECT_EQ(l.rfind("Replied frame", 0), std::string::npos);
}

TEST_F(ExecuteCommandTest, DataPartIsCutToTheCallersBuffer) {
    char small[8];
    memset(small, 'X', sizeof small);
    ASSERT_EQ(execute_command("v", small, sizeof small, 0), 0);
    EXPECT_EQ(strlen(small), 7u);
    EXPECT_EQ(std::string(small), control(idc_reply).text.substr(9, 7));
}

TEST_F(ExecuteCommandTest, FailedTransactionLeavesPanelReplyAndStatusAsTheyWere) {
    ASSERT_EQ(execute_command("v", data, sizeof data, 0), 0);
    std::string reply = control(idc_reply).text;
    serial_sim_set_faults({.enq_can = 1});
    strcpy(data, "kept");
    EXPECT_EQ(execute_command("?", data, sizeof data, 0), serial_canceled);
    EXPECT_STREQ(data, "kept");
    EXPECT_EQ(control(idc_reply).text, reply);
    EXPECT_EQ(error_code, 0);
}

TEST_F(ExecuteCommandTest, CloseRequestEndsAnEndlessBusyRepeat) {
    device([](DeviceModel& d) { d.faults.busy = 1000000; });
    // The operator closes the window while the device keeps answering BUSY.
    serial_sim_wait::on_wait = [] {
        if (serial_sim_received().size() > 40 && close_pending == 0) headless::queue_close();
    };
    EXPECT_EQ(execute_command("v", data, sizeof data, 0), command_stopped);
    EXPECT_EQ(close_pending, 1);
    EXPECT_EQ(quit_flag, 0); // the close runs once the handler has returned
    EXPECT_EQ(headless::log_lines().back(),
              "Device still busy (0x0E); request abandoned to close the program");
    EXPECT_EQ(run_main_loop(), 0);
    EXPECT_EQ(quit_flag, 1);
}

TEST_F(ExecuteCommandTest, ClicksDuringATransactionStartNothing) {
    connected_flag = 1;
    headless::type_text(idc_command, "?");
    // The first enquiry goes unanswered, so the transaction surely waits and
    // dispatches the clicks while it holds the line.
    serial_sim_set_faults({.enq_silent = 1});
    headless::queue_click(idc_send);
    headless::queue_click(idc_refresh);
    headless::queue_click(idc_connect);
    headless::queue_select(idc_kind, 12);
    ASSERT_EQ(execute_command("v", data, sizeof data, 0), 0);
    EXPECT_EQ(headless::pending_events(), 0u);
    EXPECT_TRUE(serial_sim_wait::busy_while_waiting);
    EXPECT_EQ(count_of(serial_sim_received(), "\x02"), 1u); // only the one request frame
    EXPECT_EQ(connected_flag, 1);
    EXPECT_EQ(control(idc_address).items.size(), 6u); // no network query ran
    connected_flag = 0;
}

TEST_F(ExecuteCommandTest, SendCommandSendsTheTypedTextCutTo1999Characters) {
    std::string typed(2500, 'k');
    headless::type_text(idc_command, typed);
    control(idc_details).checked = false;
    send_command();
    send_command(); // the field keeps its text
    std::string frame_start = "\x02" + std::string(1999, 'k') + "/";
    EXPECT_EQ(count_of(serial_sim_received(), frame_start), 2u);
    EXPECT_EQ(count_of(serial_sim_received(), std::string(2000, 'k')), 0u);
    EXPECT_EQ(control(idc_command).text, typed);
}

TEST_F(WindowTest, RefreshWhileDisconnectedSaysSo) {
    headless::answer_box(id_ok);
    refresh_status(); // the button is disabled, but the handler must still refuse
    ASSERT_EQ(headless::boxes().size(), 1u);
    EXPECT_EQ(headless::boxes()[0].text, "Not connected!");
    EXPECT_EQ(headless::boxes()[0].caption, " Error ");
}

} // namespace
