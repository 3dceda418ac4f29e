// The progress title's throttle and its way back to the caption.
#include "base/progress.h"
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

// Ten steps 100 ms apart; leaves early after step fail_at, as a failing
// operation does.
bool signing(unsigned fail_at) {
    ProgressTitle progress;
    for (unsigned i = 1; i <= 10; ++i) {
        fake_clock::advance(100);
        progress_signing(uint64_t(i) * 7500, 75000);
        if (i == fail_at) return false;
    }
    return true;
}

TEST_F(ProgressTest, AtMostFourTitlesASecondAndTheCaptionAfterwards) {
    EXPECT_TRUE(signing(0));
    // Steps at 100..1000 ms: shown at 100, 400, 700, 1000.
    EXPECT_EQ(headless::titles(),
              (Titles{"Varnoke v2.24n - Signing 10%", "Varnoke v2.24n - Signing 40%",
                      "Varnoke v2.24n - Signing 70%", "Varnoke v2.24n - Signing 100%",
                      "Varnoke v2.24n"}));
    EXPECT_FALSE(signing(5));
    EXPECT_EQ(headless::titles().size(), 8u);
    EXPECT_EQ(headless::title(), "Varnoke v2.24n");

    // An operation inside another leaves the title to the outer one; an
    // update outside any operation, or an end without a begin, shows nothing.
    {
        ProgressTitle outer;
        fake_clock::advance(progress_interval_ms);
        { ProgressTitle inner; }
        progress_logo(40, 64);
        EXPECT_EQ(headless::title(), "Varnoke v2.24n - Logo row 40 of 64");
    }
    progress_batch(3);
    progress_end();
    EXPECT_EQ(headless::titles().size(), 10u);
    EXPECT_EQ(headless::title(), "Varnoke v2.24n");
}

} // namespace
