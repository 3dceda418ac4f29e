#include "bench_stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// 1..n in a scrambled order: the k-th smallest sample is k.
std::vector<double> ranks(size_t n) {
    std::vector<double> v;
    for (size_t i = 0; i < n; ++i) v.push_back(double((i * 7919) % n + 1));
    return v;
}

TEST(BenchStats, MedianAndOrderStatisticInterval) {
    // k from exact binomial sums (the textbook (40, 61) at n = 100); 0: too
    // few samples for a 95% interval. 1500 and 2001 lie beyond 2^-n's range.
    struct Case {
        size_t n, k;
        double median;
    } cases[] = {{1, 0, 1},     {5, 0, 3},       {6, 1, 3.5},        {10, 2, 5.5},
                 {20, 6, 10.5}, {100, 40, 50.5}, {1500, 712, 750.5}, {2001, 957, 1001}};
    for (const Case& c : cases) {
        Estimate e = estimate(ranks(c.n));
        EXPECT_EQ(e.samples, c.n);
        EXPECT_DOUBLE_EQ(e.median, c.median) << c.n;
        if (c.k == 0) {
            EXPECT_TRUE(std::isinf(e.low) && e.low < 0) << c.n;
            EXPECT_TRUE(std::isinf(e.high) && e.high > 0) << c.n;
        } else {
            EXPECT_EQ(e.low, double(c.k)) << c.n;
            EXPECT_EQ(e.high, double(c.n + 1 - c.k)) << c.n;
        }
    }
}

TEST(BenchStats, VerdictFromTheWholeInterval) {
    const Goal at_least{Goal::at_least, 95, "%"}, at_most{Goal::at_most, 1.2, "x"},
        below{Goal::below, 2, "%"};
    struct Case {
        Goal goal;
        Estimate e;
        Verdict verdict;
    } cases[] = {
        {at_least, {97, 96, 98, 100}, Verdict::met},
        {at_least, {95.5, 95, 96, 100}, Verdict::met}, // the lower end reaches the goal
        {at_least, {96, 94.9, 97, 100}, Verdict::undecided},
        {at_least, {94, 93, 94.99, 100}, Verdict::missed},
        {at_least, {99, -INFINITY, INFINITY, 5}, Verdict::undecided},
        {at_most, {1.1, 1.0, 1.2, 100}, Verdict::met},
        {at_most, {1.1, 1.0, 1.3, 100}, Verdict::undecided},
        {at_most, {1.3, 1.21, 1.4, 100}, Verdict::missed},
        {below, {1, 0.5, 1.99, 100}, Verdict::met},
        {below, {1.5, 1, 2, 100}, Verdict::undecided}, // 2 is not below 2
        {below, {3, 2, 4, 100}, Verdict::missed},
        {below, single(0.05), Verdict::met},
        {Goal{}, {1, 0, 2, 100}, Verdict::none},
        {at_least, {}, Verdict::none}, // nothing measured
    };
    for (const Case& c : cases)
        EXPECT_EQ(judge(c.goal, c.e), c.verdict)
            << goal_text(c.goal) << " " << c.e.low << ".." << c.e.high;
}

} // namespace
