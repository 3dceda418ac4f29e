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

TEST(BenchStats, SamplesAtTheMachinesUsualSpeed) {
    // Twenty samples at the usual speed (50), with changes.
    struct Case {
        const char* what;
        std::vector<size_t> changed;
        double value;            // of the changed samples
        std::vector<bool> usual; // of the changed samples; the rest stay usual
    } cases[] = {
        {"a spell of a slow core", {3, 4, 5, 6, 7, 8}, 75, {0, 0, 0, 0, 0, 0}},
        {"one lucky moment sets no limit", {9}, 30, {1}},
        {"two lucky moments set none either", {9, 14}, 30, {1, 1}},
        {"within the slack", {1, 19}, 62.5, {1, 1}},
        {"just past it", {1}, 62.6, {0}},
    };
    for (const Case& c : cases) {
        std::vector<double> values(20, 50);
        for (size_t i : c.changed) values[i] = c.value;
        std::vector<bool> want(20, true);
        for (size_t i = 0; i < c.changed.size(); ++i) want[c.changed[i]] = c.usual[i];
        EXPECT_EQ(at_usual_speed(values, values, 1.25), want) << c.what;
    }
    // The best comes from the group: a row measured while the core ran
    // slow throughout keeps none of its samples.
    std::vector<double> group(20, 50), slow(5, 70);
    group.insert(group.end(), slow.begin(), slow.end());
    EXPECT_EQ(at_usual_speed(group, slow, 1.25), std::vector<bool>(5, false));
    // A run slow throughout is judged against the best an earlier run found,
    // and a faster run than those sets its own.
    EXPECT_EQ(at_usual_speed(slow, slow, 1.25, 50), std::vector<bool>(5, false));
    EXPECT_EQ(at_usual_speed(slow, slow, 1.25, 90), std::vector<bool>(5, true));
    EXPECT_EQ(at_usual_speed(slow, slow, 1.25), std::vector<bool>(5, true));
}

} // namespace
