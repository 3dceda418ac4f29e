// Up and Down in the command field recall the commands sent in this run.
#include "app/command_history.h"
#include "base/dialog_template.h"
#include "support/fake_clock.h"
#include "support/fixture.h"

#include <string>

namespace {

using headless::control;

class RecallTest : public WindowTest {
  protected:
    std::string up() { return key(vk_up); }
    std::string down() { return key(vk_down); }
    std::string key(unsigned vk) {
        headless::queue_key(idc_command, vk);
        pump_one_message();
        return control(idc_command).text;
    }
};

TEST_F(RecallTest, WalksNewestFirstAndBringsBackTheDraft) {
    for (const char* c : {"v", "?", "?", "x/5", "", "v"}) history_add(c);
    // Stored: "v", "?", "x/5", "v" (the repeat of the newest and the empty
    // command are not).
    headless::type_text(idc_command, "S/1");
    EXPECT_EQ(up(), "v");
    EXPECT_EQ(up(), "x/5");
    EXPECT_EQ(up(), "?");
    EXPECT_EQ(up(), "v");
    EXPECT_EQ(up(), "v") << "the oldest stays";
    EXPECT_EQ(down(), "?");
    EXPECT_EQ(down(), "x/5");
    EXPECT_EQ(down(), "v");
    EXPECT_EQ(down(), "S/1") << "past the newest: the draft";
    EXPECT_EQ(down(), "S/1");

    // A recalled command edited becomes the draft.
    EXPECT_EQ(up(), "v");
    EXPECT_EQ(up(), "x/5");
    headless::type_text(idc_command, "x/6");
    EXPECT_EQ(up(), "v");
    EXPECT_EQ(down(), "x/6");
}

TEST_F(RecallTest, KeepsTheLastHundred) {
    for (int i = 0; i < 150; ++i) history_add(("c" + std::to_string(i)).c_str());
    EXPECT_EQ(up(), "c149");
    std::string oldest;
    for (int i = 0; i < 120; ++i) oldest = up();
    EXPECT_EQ(oldest, "c50");
    EXPECT_EQ(down(), "c51");
}

TEST_F(RecallTest, EmptyHistoryLeavesTheFieldAndANewWindowForgets) {
    headless::type_text(idc_command, "typed");
    EXPECT_EQ(up(), "typed");
    EXPECT_EQ(down(), "typed");
    history_add("v");
    headless::reset();
    headless::create(dialog_proc);
    EXPECT_EQ(up(), "");
}

TEST_F(RecallTest, SendCommandStoresWhatWasSent) {
    fake_clock::install(); // the unanswered request ends at once
    ui_enable(idc_send, true);
    headless::type_text(idc_command, "first");
    headless::queue_click(idc_send);
    pump_one_message();
    headless::type_text(idc_command, "second");
    headless::queue_click(idc_send);
    pump_one_message();
    fake_clock::uninstall();
    headless::type_text(idc_command, "");
    EXPECT_EQ(up(), "second");
    EXPECT_EQ(up(), "first");
    // Refused while another operation runs: not sent, not stored.
    busy_flag = 1;
    headless::type_text(idc_command, "third");
    headless::queue_click(idc_send);
    pump_one_message();
    busy_flag = 0;
    EXPECT_EQ(up(), "second");
}

} // namespace
