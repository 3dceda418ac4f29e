#include "bench_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// Pr[a fair coin shows exactly j heads in n throws], from logarithms: 2^-n
// underflows beyond n = 1074.
double binomial_half(size_t n, size_t j) {
    return std::exp(std::lgamma(double(n) + 1) - std::lgamma(double(j) + 1) -
                    std::lgamma(double(n - j) + 1) - double(n) * std::log(2.0));
}

} // namespace

double usual_best(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 10];
}

std::vector<bool> at_usual_speed(const std::vector<double>& best_of,
                                 const std::vector<double>& values, double slack,
                                 double known_best) {
    double best = usual_best(best_of);
    if (known_best > 0) best = std::min(best, known_best);
    double limit = best * slack;
    std::vector<bool> usual;
    for (double v : values) usual.push_back(v <= limit);
    return usual;
}

Estimate estimate(std::vector<double> samples) {
    Estimate e;
    e.samples = samples.size();
    size_t n = samples.size();
    if (n == 0) return e;
    std::sort(samples.begin(), samples.end());
    e.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    size_t k = 0;
    for (double below = binomial_half(n, 0); k < n / 2 && below <= 0.025;
         below += binomial_half(n, k))
        ++k;
    if (k == 0) {
        e.low = -std::numeric_limits<double>::infinity();
        e.high = std::numeric_limits<double>::infinity();
    } else {
        e.low = samples[k - 1];
        e.high = samples[n - k];
    }
    return e;
}

Estimate single(double value) {
    return {value, value, value, 1};
}

bool meets(const Goal& goal, double value) {
    switch (goal.op) {
    case Goal::at_least:
        return value >= goal.limit;
    case Goal::at_most:
        return value <= goal.limit;
    case Goal::below:
        return value < goal.limit;
    case Goal::none:
        break;
    }
    return true;
}

Verdict judge(const Goal& goal, const Estimate& e) {
    if (goal.op == Goal::none || e.samples == 0) return Verdict::none;
    double worst = goal.op == Goal::at_least ? e.low : e.high;
    double best = goal.op == Goal::at_least ? e.high : e.low;
    if (meets(goal, worst)) return Verdict::met;
    if (!meets(goal, best)) return Verdict::missed;
    return Verdict::undecided;
}

std::string goal_text(const Goal& goal) {
    const char* op = goal.op == Goal::at_least  ? ">="
                     : goal.op == Goal::at_most ? "<="
                     : goal.op == Goal::below   ? "<"
                                                : nullptr;
    if (op == nullptr) return "";
    char buf[64];
    snprintf(buf, sizeof buf, "%s %g%s", op, goal.limit, goal.unit);
    return buf;
}
