// The title while the real operations run against the simulated device
// over the serial line, and after they end, whatever the outcome.
#include "base/dialog_template.h"
#include "base/progress.h"
#include "base/tick.h"
#include "batch/batch.h"
#include "command/command.h"
#include "logo/logo.h"
#include "serial_sim_fixture.h"
#include "signing/sign_file.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"
#include "support/fake_clock.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Titles = std::vector<std::string>;
const std::string caption = "Varnoke v2.24n";

// The device's clock stands still but for its silences; this one also
// creeps a millisecond with every look, so that the title's updates come
// as they would in an operation that takes its time.
uint32_t creep = 0;
uint32_t creeping_tick() {
    return fake_clock::now() + ++creep;
}

// Every title the window showed while a request waited for its reply.
Titles during;
void note_title() {
    if (during.empty() || during.back() != headless::title()) during.push_back(headless::title());
}

class ProgressTitleTest : public SerialLinkTest {
  protected:
    void SetUp() override {
        SerialLinkTest::SetUp();
        ui_check(idc_details, false);
        set_tick_source(creeping_tick);
        serial_sim_wait::on_wait = note_title;
        during.clear();
    }
    void TearDown() override {
        set_tick_source(nullptr);
        SerialLinkTest::TearDown();
    }
    // A fresh device and line; the titles shown from here on.
    void fresh() {
        sim_device_reset(seed);
        serial_sim_reset();
        mark();
    }
    void mark() {
        first_title = headless::titles().size();
        during.clear();
    }
    Titles shown() const {
        auto& all = headless::titles();
        return Titles(all.begin() + long(first_title), all.end());
    }
    // The numbers after `prefix` in the titles shown, which must all have it
    // but the last, the caption.
    std::vector<unsigned> progress(const std::string& prefix) const {
        Titles t = shown();
        EXPECT_GE(t.size(), 2u);
        EXPECT_EQ(t.empty() ? "" : t.back(), caption) << "the title comes back";
        std::vector<unsigned> numbers;
        for (size_t i = 0; i + 1 < t.size(); ++i) {
            EXPECT_EQ(t[i].rfind(caption + " - " + prefix, 0), 0u) << t[i];
            numbers.push_back(
                unsigned(std::stoul(t[i].substr(caption.size() + 3 + prefix.size()))));
        }
        for (size_t i = 1; i < numbers.size(); ++i) EXPECT_GT(numbers[i], numbers[i - 1]);
        for (const auto& d : during) EXPECT_NE(d, caption) << "the title went back while running";
        return numbers;
    }
    size_t first_title = 0;
};

TEST_F(ProgressTitleTest, EachOperationShowsHowFarItGotAndFailingGivesTheTitleBack) {
    std::string lines;
    for (int i = 0; i < 80; ++i) lines += "v\n";
    fresh();
    headless::type_text(idc_batch_path, write_test_file("batch.txt", lines));
    run_batch();
    std::vector<unsigned> n = progress("Batch line ");
    ASSERT_GE(n.size(), 2u) << "the title moved on during the batch";
    EXPECT_EQ(n.front(), 1u);

    fresh(); // a device error in line 3 ends the batch
    headless::type_text(idc_batch_path, write_test_file("batch.txt", "v\n?\nzz\nv\n"));
    run_batch();
    EXPECT_EQ(headless::log_lines().back(), "Batch aborted in line 3");
    EXPECT_EQ(progress("Batch line "), std::vector<unsigned>{1});

    fresh();
    headless::type_text(idc_sign_path, write_test_file("doc.txt", std::string(60000, 'a')));
    sign_file();
    ASSERT_EQ(headless::log_lines().back().rfind("1K transfer requires", 0), 0u);
    n = progress("Signing ");
    ASSERT_GE(n.size(), 3u);
    EXPECT_EQ(n.front(), 0u);
    EXPECT_LE(n.back(), 100u);

    fresh(); // the device refuses the block: one is open already
    char data[100];
    execute_command("{/0", data, sizeof data, 0);
    mark();
    sign_file();
    EXPECT_EQ(headless::log_lines().back(), "Failed opening signature block");
    EXPECT_EQ(progress("Signing "), std::vector<unsigned>{0});

    std::vector<uint8_t> rows(64 * 8, 0x5A);
    fresh();
    send_logo_rows(1, rows.data(), 64, 64);
    EXPECT_EQ(serial_sim_requests().size(), 64u);
    ASSERT_GE(progress("Logo row ").size(), 2u);
    EXPECT_EQ(shown().front(), caption + " - Logo row 1 of 64");

    fresh(); // row 3's replies all arrive damaged: the upload stops there
    const std::string ok = reply_body("00/00/00/"), bad = reply_body("00/00/00/", false);
    serial_sim_send_raw({ok, ok, bad, bad, bad});
    send_logo_rows(1, rows.data(), 64, 64);
    EXPECT_EQ(serial_sim_requests().size(), 3u);
    EXPECT_EQ(progress("Logo row ").front(), 1u);
}

} // namespace
