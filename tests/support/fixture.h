// A fresh window for each test: the headless window, created through the
// program's own dialog procedure.
#pragma once

#include "app/dialog.h"
#include "base/state.h"
#include "support/headless.h"

#include <gtest/gtest.h>

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        headless::reset();
        headless::create(dialog_proc);
        ui_show_dialog();
    }
    void TearDown() override {
        EXPECT_EQ(headless::pending_answers(), 0u) << "a queued answer was never asked for";
        busy_flag = 0;
        headless::reset();
    }
};
