// The statistics behind the benchmark's verdicts: a median with an interval
// that holds the true median at least 95% of the time, whatever the
// distribution of the samples, and the verdict a goal gets from it. A noisy
// machine widens the interval; it cannot turn a goal met into one missed.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct Estimate {
    double median = 0;
    double low = 0, high = 0; // the interval; infinite when the samples are too few
    size_t samples = 0;
};

// The median of samples and its 95% interval from order statistics: the
// k-th smallest and the k-th largest sample, k the largest count for which
// a fair coin shows fewer than k heads in n throws at most 2.5% of the
// time. Fewer than six samples have no such k: the interval is unbounded.
Estimate estimate(std::vector<double> samples);

// Which of values lie within slack times the best of best_of (a fixed
// piece of work timed about each sample, or a fixed exchange's cost beside
// it): the samples taken at the machine's usual speed. The best is the
// tenth percentile, which one lucky moment cannot set. known_best, where
// given, is the best that earlier runs found: a run spent wholly on a slow
// core cannot set the limit by itself then.
std::vector<bool> at_usual_speed(const std::vector<double>& best_of,
                                 const std::vector<double>& values, double slack,
                                 double known_best = 0);
// The best of best_of as at_usual_speed takes it.
double usual_best(std::vector<double> best_of);

// One value measured once (a wait of seconds, the largest of some starts):
// its interval is itself.
Estimate single(double value);

enum class Verdict { none, met, missed, undecided };

struct Goal {
    enum Op { none, at_least, at_most, below } op = none;
    double limit = 0;
    const char* unit = ""; // as written after the limit: "%", "x", " ms"
};

bool meets(const Goal& goal, double value);

// met: the whole interval meets the goal; missed: none of it does;
// undecided otherwise (the machine was too noisy to tell).
Verdict judge(const Goal& goal, const Estimate& e);

// ">= 95%", "< 150 ms"; "" for no goal.
std::string goal_text(const Goal& goal);
