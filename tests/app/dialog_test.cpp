#include "app/dialog.h"
#include "base/dialog_template.h"
#include "base/log.h"
#include "base/state.h"
#include "support/fixture.h"

#include <string>
#include <vector>

namespace {

using headless::control;

TEST_F(WindowTest, FreshStartIsDisconnected) {
    EXPECT_EQ(headless::log_lines(), std::vector<std::string>{"Varnoke started"});
    EXPECT_EQ(headless::log_columns(), 1);
    EXPECT_TRUE(headless::log_font_set());
    EXPECT_EQ(connection_kind, 1);
    EXPECT_EQ(connected_flag, 0);
    EXPECT_EQ(busy_flag, 0);
    EXPECT_EQ(quit_flag, 0);

    EXPECT_EQ(control(idc_kind).items.size(), 15u);
    EXPECT_EQ(control(idc_kind).items[0], "COM1");
    EXPECT_EQ(control(idc_kind).items[11], "COM12");
    EXPECT_EQ(control(idc_kind).items[12], "Network");
    EXPECT_EQ(control(idc_kind).items[14], "UDP");
    EXPECT_EQ(control(idc_kind).selection, 0);

    EXPECT_EQ(control(idc_address).items,
              (std::vector<std::string>{"9600", "19200", "38400", "57600", "115200", "126000"}));
    EXPECT_EQ(control(idc_address).selection, 4);
    EXPECT_EQ(control(idc_address).text, "115200");

    EXPECT_TRUE(control(idc_details).checked);
    EXPECT_FALSE(control(idc_esd).checked);
    for (int id : {idc_send, idc_sign, idc_refresh, idc_run_batch, idc_bmp})
        EXPECT_FALSE(control(id).enabled) << id;
    for (int id : {idc_connect, idc_exit, idc_kind, idc_address, idc_command, idc_clear})
        EXPECT_TRUE(control(id).enabled) << id;
    EXPECT_EQ(control(idc_connect).text, "Connect");
    EXPECT_EQ(control(idc_function_bit4).text, "--");
    EXPECT_EQ(control(idc_function_bit0).text, "--");
    EXPECT_EQ(control(idc_bat).text, "0");
}

TEST_F(WindowTest, ChoosingAComPortRefillsTheRateList) {
    headless::queue_select(idc_address, 1); // operator picks 19200
    pump_one_message();
    EXPECT_EQ(control(idc_address).text, "19200");

    headless::queue_select(idc_kind, 6); // COM7
    pump_one_message();
    EXPECT_EQ(control(idc_address).items.size(), 6u);
    EXPECT_EQ(control(idc_address).selection, 4);
    EXPECT_EQ(control(idc_address).text, "115200");
}

TEST_F(WindowTest, KindSelectionIgnoredWhileBusy) {
    headless::type_text(idc_address, "38400x");
    busy_flag = 1;
    headless::queue_select(idc_kind, 2);
    pump_one_message();
    EXPECT_EQ(control(idc_address).text, "38400x");
    EXPECT_EQ(control(idc_address).selection, -1);
}

TEST_F(WindowTest, ClearButtonEmptiesTheLog) {
    log_printf("one");
    headless::queue_click(idc_clear);
    pump_one_message();
    EXPECT_TRUE(headless::log_lines().empty());
    log_printf("next");
    EXPECT_EQ(headless::log_lines(), std::vector<std::string>{"next"});
}

TEST_F(WindowTest, ExitAndCloseBoxEndTheProgram) {
    for (bool use_close_box : {false, true}) {
        SCOPED_TRACE(use_close_box ? "close box" : "Exit");
        headless::reset();
        headless::create(dialog_proc);
        ui_show_dialog();
        if (use_close_box) {
            headless::queue_close();
        } else {
            headless::queue_click(idc_exit);
        }
        EXPECT_EQ(run_main_loop(), 0);
        EXPECT_EQ(quit_flag, 1);
        EXPECT_FALSE(headless::visible());
        EXPECT_FALSE(headless::created());
        EXPECT_FALSE(headless::log_font_set());
    }
}

TEST_F(WindowTest, CloseWhileBusyIsDeferredUntilTheOperationEnds) {
    busy_flag = 1;
    headless::queue_click(idc_exit);
    pump_one_message();
    headless::queue_close();
    pump_one_message();
    // The window stays, nothing is released, the loop goes on.
    EXPECT_TRUE(headless::visible());
    EXPECT_TRUE(headless::log_font_set());
    EXPECT_EQ(quit_flag, 0);
    EXPECT_EQ(close_pending, 1);
    EXPECT_EQ(headless::log_lines().back(), "Closing when the running request has ended");
    EXPECT_EQ(headless::log_lines().size(), 2u); // said once

    busy_flag = 0; // the operation ends; the main loop then closes
    EXPECT_EQ(run_main_loop(), 0);
    EXPECT_EQ(quit_flag, 1);
    EXPECT_FALSE(headless::visible());
}

// Return in the address box is Connect's only while Disconnected: a
// connected window must not be disconnected by a key.
TEST_F(WindowTest, ReturnInTheAddressBoxConnectsOnlyWhileDisconnected) {
    connected_flag = 1;
    ui_enable(idc_connect, true);
    EXPECT_FALSE(dialog_proc(DialogMsg::key, make_command(idc_address, vk_return)));
    EXPECT_EQ(connected_flag, 1);
    EXPECT_EQ(headless::log_lines(), std::vector<std::string>{"Varnoke started"});
    connected_flag = 0;
    ui_enable(idc_connect, false);
    EXPECT_FALSE(dialog_proc(DialogMsg::key, make_command(idc_address, vk_return)));
}

TEST(DialogTemplate, EveryIdOnceAndInsideTheDialog) {
    std::vector<int> seen;
    for (const ControlDef& c : dialog_controls) {
        EXPECT_LE(c.x + c.w, dialog_def.w) << c.text;
        bool drops_down = c.kind == ControlKind::combo_edit || c.kind == ControlKind::combo_list;
        if (!drops_down) {
            EXPECT_LE(c.y + c.h, dialog_def.h) << c.text;
        }
        if (c.id == idc_none) continue;
        EXPECT_TRUE(c.id >= idc_log && c.id <= idc_esd) << c.id;
        for (int id : seen) EXPECT_NE(id, c.id);
        seen.push_back(c.id);
    }
    EXPECT_EQ(seen.size(), 36u);
}

TEST(DialogTemplate, CheckBoxesCoverNoOtherControl) {
    // A check box drawn over the kind list hid the first letter of "COM1".
    auto closed_height = [](const ControlDef& c) {
        bool combo = c.kind == ControlKind::combo_edit || c.kind == ControlKind::combo_list;
        return combo ? 14 : c.h;
    };
    for (const ControlDef& box : dialog_controls) {
        if (box.kind != ControlKind::check_box) continue;
        for (const ControlDef& other : dialog_controls) {
            if (&other == &box || other.kind == ControlKind::group_box) continue;
            bool apart = box.x + box.w <= other.x || other.x + other.w <= box.x ||
                         box.y + box.h <= other.y || other.y + closed_height(other) <= box.y;
            EXPECT_TRUE(apart) << box.text << " covers " << other.text;
        }
    }
}

} // namespace
