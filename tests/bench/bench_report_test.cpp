#include "bench_util.h"
#include "report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

Estimate around(double median) {
    Estimate e;
    e.median = median;
    e.low = median - 1;
    e.high = median + 1;
    e.samples = 50;
    return e;
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// With --repeat, a row that the first run skipped, or that only a later run
// has, is still reported for every run that has it.
TEST(BenchReport, RowsOfEveryRunShowWhateverTheFirstRunHad) {
    const Goal goal{Goal::at_least, 95, "%"};
    for (int run = 0; run < 3; ++run) {
        report_run_start();
        report_section("Rows", "");
        if (run == 0)
            report_skip("the rate", "the core ran slow throughout");
        else
            report_row({"the rate", "measured", "", "", goal, around(97 + run), 1});
        if (run == 1)
            report_skip("the wait", "no line");
        else
            report_row({"the wait", "measured", "", "", goal, around(99), 1});
        if (run == 2) report_row({"a late row", "once", "", "", {}, around(5), 0});
        report_run_end();
    }
    char path[] = "/tmp/bench-report-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(report_write(path, "test"));
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    unlink(path);
    std::string report = text.str();

    // The goals' table: each row once, a skipped run blank, and the result
    // of the runs that measured, whichever run it was that could not.
    EXPECT_EQ(count(report, "| the rate: >= 95% |  | 98.0% (97.0 to 99.0): met | "
                            "99.0% (98.0 to 100.0): met | 98.0 to 99.0%; each within 1.0 points "
                            "of their median 99.0% | met |"),
              1u)
        << report;
    EXPECT_EQ(count(report, "| the wait: >= 95% | 99.0% (98.0 to 100.0): met |  | "
                            "99.0% (98.0 to 100.0): met | 99.0 to 99.0%; each within 0.0 points "
                            "of their median 99.0% | met |"),
              1u)
        << report;
    // The other figures: the late row, with its one run.
    EXPECT_EQ(count(report, "| a late row |  |  | 5 (4 to 6) |"), 1u) << report;
    // The section's table: every run that has the row, once each.
    EXPECT_EQ(count(report, "| the rate | 1 | not measured: the core ran slow throughout |"), 1u);
    EXPECT_EQ(count(report, "| the rate | 2 | measured |"), 1u);
    EXPECT_EQ(count(report, "| the rate | 3 | measured |"), 1u);
    EXPECT_EQ(count(report, "| a late row | 3 | once |"), 1u);
}

// What a run leaves for the next: the last values, oldest first.
TEST(BenchRuns, TheLastRunsValuesAreKept) {
    const char* name = "bench-report-test-values";
    for (int i = 1; i <= 10; ++i) ASSERT_TRUE(remember(name, 10.0 * i, 8));
    EXPECT_EQ(remembered(name), (std::vector<double>{30, 40, 50, 60, 70, 80, 90, 100}));
}

} // namespace
