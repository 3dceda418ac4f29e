// The progress of a long operation in the window's title.
#include "app/progress.h"
#include "support/fake_clock.h"
#include "support/fixture.h"

#include <string>
#include <vector>

namespace {

using Titles = std::vector<std::string>;

class ProgressTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        fake_clock::install();
    }
    void TearDown() override {
        fake_clock::uninstall();
        WindowTest::TearDown();
    }
};

// An operation of `steps` steps, 100 ms apart, that fails after `fail_at`
// steps by leaving early, as the operations do.
bool signing(unsigned steps, unsigned fail_at) {
    ProgressTitle progress;
    for (unsigned i = 1; i <= steps; ++i) {
        fake_clock::advance(100);
        progress_signing(uint64_t(i) * 7500, uint64_t(steps) * 7500);
        if (i == fail_at) return false;
    }
    return true;
}

TEST_F(ProgressTest, SigningShowsThePercentAtMostFourTimesASecond) {
    EXPECT_TRUE(signing(10, 0));
    // Steps at 100..1000 ms: shown at 100, 400, 700, 1000.
    EXPECT_EQ(headless::titles(),
              (Titles{"Varnoke v2.24n - Signing 10%", "Varnoke v2.24n - Signing 40%",
                      "Varnoke v2.24n - Signing 70%", "Varnoke v2.24n - Signing 100%",
                      "Varnoke v2.24n"}));
}

TEST_F(ProgressTest, TheTitleComesBackWhenAnOperationFails) {
    EXPECT_FALSE(signing(64, 5));
    EXPECT_EQ(headless::titles(), (Titles{"Varnoke v2.24n - Signing 1%",
                                          "Varnoke v2.24n - Signing 6%", "Varnoke v2.24n"}));
}

TEST_F(ProgressTest, BatchAndLogoCountTheirLinesAndRows) {
    {
        ProgressTitle progress;
        for (unsigned line = 1; line <= 12; ++line) {
            progress_batch(line);
            fake_clock::advance(125);
        }
        EXPECT_EQ(headless::title(), "Varnoke v2.24n - Batch line 11");
    }
    EXPECT_EQ(headless::title(), "Varnoke v2.24n");
    {
        ProgressTitle progress;
        progress_logo(40, 64);
        EXPECT_EQ(headless::title(), "Varnoke v2.24n - Logo row 40 of 64");
        // An operation within another leaves the title to the outer one.
        {
            ProgressTitle inner;
            fake_clock::advance(progress_interval_ms);
            progress_logo(41, 64);
        }
        EXPECT_EQ(headless::title(), "Varnoke v2.24n - Logo row 41 of 64");
    }
    EXPECT_EQ(headless::title(), "Varnoke v2.24n");
    size_t count = headless::titles().size();
    progress_batch(3); // outside any operation: nothing shown
    progress_end();    // an end without a begin changes nothing
    EXPECT_EQ(headless::titles().size(), count);
}

TEST_F(ProgressTest, AnOperationThatShowedNothingLeavesTheTitleAlone) {
    { ProgressTitle progress; }
    progress_begin();
    progress_signing(0, 0); // an empty file
    EXPECT_EQ(headless::title(), "Varnoke v2.24n - Signing 0%");
    progress_end();
    EXPECT_EQ(headless::titles(), (Titles{"Varnoke v2.24n - Signing 0%", "Varnoke v2.24n"}));
}

} // namespace
