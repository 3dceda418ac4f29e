// "Run batch" against the simulated device over the serial line.
#include "base/dialog_template.h"
#include "batch/batch.h"
#include "serial_sim_fixture.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using headless::control;
using Lines = std::vector<std::string>;

class RunBatchTest : public SerialLinkTest {
  protected:
    // A fresh device and line, then before() sets faults or raw replies.
    void run(const std::string& path, void (*before)() = nullptr) {
        sim_device_reset(seed);
        serial_sim_reset();
        if (before != nullptr) before();
        ui_list_delete_all(idc_log);
        headless::type_text(idc_batch_path, path);
        run_batch();
    }
};

TEST_F(RunBatchTest, LinesBecomeRequestsUntilTheEndAnEmptyLineOrAFailure) {
    control(idc_details).checked = false;
    const std::string long_line = "@/" + std::string(1598, 'x');
    const struct {
        const char* name;
        std::string content;
        Lines sent, after; // the requests, and the log lines after the last echo
        void (*before)() = nullptr;
    } cases[] = {
        {"LF", "v\n?\nv", {"v", "?", "v"}, {}},
        {"CR LF", "v\r\n?\r\nv", {"v", "?", "v"}, {}},
        {"empty line", "v\n\n?\n", {"v"}, {}},
        {"CR-only line", "v\r\n\r\n?\r\n", {"v"}, {}},
        {"TAB-only line", "v\n\t\t\n?\n", {"v"}, {}},
        {"empty file", "", {}, {}},
        // Cut to 1500 characters; TABs and CRs go, bytes from 0x80 stay.
        {"long line",
         "{/0\n" + long_line + "\n@/a\tb\r\xE9\x01\n}",
         {"{/0", long_line.substr(0, 1500), "@/ab\xE9", "}"},
         {}},
        {"device error in line 3",
         "v\n?\nzz\nv\n",
         {"v", "?", "zz"},
         {"Error 0x06: BADREQ (The request code is unsupported) -- Provide a correct request code",
          "Failed in line 3", "Batch aborted in line 3"}},
        {"link failure in line 2: three bad reply frames",
         "v\n?\nv\n",
         {"v", "?"},
         {"Request retries failed", "Failed in line 2", "Batch aborted in line 2"},
         [] {
             std::string bad = reply_body("00/00/00/", false);
             serial_sim_send_raw({reply_body("00/00/00/"), bad, bad, bad});
         }},
        {"the shipped sample",
         read_file(VARNOKE_EXAMPLES_DIR "/sample_batch.txt"),
         {"v", "?", "{/0", "@/RECEIPT 0001  2 x COFFEE  3.20  TOTAL 6.40", "}"},
         {}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        run(write_test_file("batch.txt", c.content), c.before);
        EXPECT_EQ(serial_sim_requests(), c.sent);
        // The echoes, then what follows; a long line is logged in pieces.
        Lines want, got;
        for (size_t i = 0; i < c.sent.size(); ++i) {
            char number[16];
            snprintf(number, sizeof number, "L%05u> ", unsigned(i + 1));
            want.push_back(number + c.sent[i]);
        }
        want.insert(want.end(), c.after.begin(), c.after.end());
        for (auto& l : headless::log_lines()) {
            size_t i = got.size();
            bool piece = i > 0 && i <= want.size() && got[i - 1].size() < want[i - 1].size() &&
                         want[i - 1].rfind(got[i - 1], 0) == 0;
            if (piece)
                got.back() += l;
            else
                got.push_back(l);
        }
        EXPECT_EQ(got, want);
    }

    // A folder opens, but reading it fails: nothing is sent, and it ends.
    run(test_files_dir());
    EXPECT_TRUE(serial_sim_requests().empty());
    EXPECT_EQ(headless::log_lines(),
              Lines{"Cannot read file [" + test_files_dir() + "] after line 0"});
}

TEST_F(RunBatchTest, DetailsAreReadForEveryLine) {
    control(idc_details).checked = false;
    // The first enquiry goes unanswered, so line 1 surely waits; the
    // operator checks "Details" meanwhile.
    serial_sim_wait::on_wait = [] { control(idc_details).checked = true; };
    run(write_test_file("batch.txt", "v\n?\n"), [] { serial_sim_set_faults({.enq_silent = 1}); });
    EXPECT_EQ(headless::log_lines(),
              (Lines{"L00001> v", "Enquire #0 timedout", "L00002> ?", "Request frame [?]",
                     "Status info   [00-00-00]", "Replied frame [0001/0/0]"}));
}

TEST_F(RunBatchTest, AFileWithAZeroByteIsRefusedBeforeAnythingIsSent) {
    // "BMP" leaves its picture in the batch field; a zero byte late in a
    // text is caught before the lines ahead of it go out.
    for (std::string path : {std::string(VARNOKE_EXAMPLES_DIR "/logo.bmp"),
                             write_test_file("batch.txt", std::string("v\n?\n\0v\n", 7))}) {
        headless::answer_box(id_ok);
        run(path);
        ASSERT_FALSE(headless::boxes().empty());
        EXPECT_EQ(headless::boxes().back().text,
                  "File [" + path + "] is not a text file; nothing was sent");
        EXPECT_TRUE(serial_sim_requests().empty()) << path;
        EXPECT_EQ(headless::log_lines(), Lines{});
    }
}

} // namespace
