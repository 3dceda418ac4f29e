// "Run batch" against the simulated device over the serial line.
#include "app/dialog_template.h"
#include "app/handlers.h"
#include "batch/batch.h"
#include "serial_sim_fixture.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"
#include "support/sha1_text.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using headless::control;
using Lines = std::vector<std::string>;

class RunBatchTest : public SerialLinkTest {
  protected:
    // A fresh device and line, faults and raw replies to come set by then.
    void run(
        const std::string& content, void (*before)() = [] {}) {
        sim_device_reset(seed);
        serial_sim_reset();
        before();
        ui_list_delete_all(idc_log);
        headless::type_text(idc_batch_path, write_test_file("batch.txt", content));
        run_batch();
    }
};

TEST_F(RunBatchTest, LinesBecomeRequests) {
    control(idc_details).checked = false;
    const std::string long_line = "@/" + std::string(1598, 'x');
    const struct {
        const char* name;
        std::string content;
        Lines sent;
    } cases[] = {
        {"LF", "v\n?\nv", {"v", "?", "v"}},
        {"CR LF", "v\r\n?\r\nv", {"v", "?", "v"}},
        {"empty line", "v\n\n?\n", {"v"}},
        {"CR-only line", "v\r\n\r\n?\r\n", {"v"}},
        {"TAB-only line", "v\n\t\t\n?\n", {"v"}},
        {"empty file", "", {}},
        // Cut to 1500 characters; TABs and CRs go, bytes from 0x80 stay.
        {"long line",
         "{/0\n" + long_line + "\n@/a\tb\r\xE9\x01\n}",
         {"{/0", long_line.substr(0, 1500), "@/ab\xE9", "}"}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        run(c.content);
        EXPECT_EQ(serial_sim_requests(), c.sent);
        Lines echoes;
        for (size_t i = 0; i < c.sent.size(); ++i) {
            char number[16];
            snprintf(number, sizeof number, "L%05u> ", unsigned(i + 1));
            echoes.push_back(number + c.sent[i]);
        }
        Lines log = headless::log_lines();
        // A long echo is logged in pieces; join the log back into lines.
        Lines joined;
        for (auto& l : log) {
            if (l.rfind("L0", 0) == 0 || joined.empty())
                joined.push_back(l);
            else
                joined.back() += l;
        }
        EXPECT_EQ(joined, echoes) << "no other line, no closing message";
    }
    EXPECT_EQ(control(idc_reply).text.substr(9), sha1_of(std::string(1498, 'x') + "ab\xE9"));
}

TEST_F(RunBatchTest, FailureInLine3StopsTheBatch) {
    control(idc_details).checked = false;
    run("v\n?\nzz\nv\n");
    EXPECT_EQ(serial_sim_requests(), (Lines{"v", "?", "zz"}));
    EXPECT_EQ(headless::log_lines(),
              (Lines{"L00001> v", "L00002> ?", "L00003> zz",
                     "Error 0x06: BADREQ (The request code is unsupported) -- Provide a "
                     "correct request code",
                     "Failed in line 3", "Batch aborted in line 3"}));

    // The link fails in line 2: three reply frames with a wrong checksum.
    run("v\n?\nv\n", [] {
        std::string bad = reply_body("00/00/00/", false);
        serial_sim_send_raw({reply_body("00/00/00/"), bad, bad, bad});
    });
    EXPECT_EQ(serial_sim_requests(), (Lines{"v", "?"})) << "line 3 never sent";
    Lines log = headless::log_lines();
    EXPECT_EQ(Lines(log.end() - 2, log.end()),
              (Lines{"Failed in line 2", "Batch aborted in line 2"}));
}

TEST_F(RunBatchTest, DetailsAreReadForEveryLine) {
    control(idc_details).checked = false;
    // The first enquiry goes unanswered, so line 1 surely waits; the
    // operator checks "Details" meanwhile.
    serial_sim_wait::on_wait = [] { control(idc_details).checked = true; };
    run("v\n?\n", [] { serial_sim_set_faults({.enq_silent = 1}); });
    Lines log = headless::log_lines();
    EXPECT_EQ(headless::log_lines(),
              (Lines{"L00001> v", "Enquire #0 timedout", "L00002> ?", "Request frame [?]",
                     "Status info   [00-00-00]", "Replied frame [0001/0/0]"}));
}

TEST_F(RunBatchTest, OperatorErrorsAndReadErrors) {
    headless::answer_box(id_ok);
    run_batch();
    headless::type_text(idc_batch_path, test_files_dir() + "/missing.txt");
    headless::answer_box(id_ok);
    run_batch();
    ASSERT_EQ(headless::boxes().size(), 2u);
    EXPECT_EQ(headless::boxes()[0].text, "No filename specified");
    EXPECT_EQ(headless::boxes()[1].text, "Can't open file [" + test_files_dir() + "/missing.txt]");
    busy_flag = 1;
    run("v\n");
    busy_flag = 0;
    EXPECT_TRUE(serial_sim_received().empty());

    // A folder opens, but reading it fails: nothing is sent, and it ends.
    headless::type_text(idc_batch_path, test_files_dir());
    run_batch();
    EXPECT_TRUE(serial_sim_received().empty());
    EXPECT_EQ(headless::log_lines(),
              Lines{"Cannot read file [" + test_files_dir() + "] after line 0"});
}

TEST_F(RunBatchTest, TheShippedSamplesRunCleanly) {
    control(idc_details).checked = false;
    headless::type_text(idc_batch_path, VARNOKE_EXAMPLES_DIR "/sample_batch.txt");
    run_batch();
    Lines sent = serial_sim_requests();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(Lines(sent.begin(), sent.begin() + 3), (Lines{"v", "?", "{/0"}));
    EXPECT_EQ(sent[4], "}");
    EXPECT_EQ(headless::log_lines().back(), "L00005> }");

    headless::type_text(idc_sign_path, VARNOKE_EXAMPLES_DIR "/sample_document.txt");
    sign_file();
    EXPECT_EQ(headless::log_lines().back().rfind("1K transfer requires ", 0), 0u);
}

} // namespace
