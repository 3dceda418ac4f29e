// The response times of a run's requests, per distinct request text: how
// many, which failed and why, and how the times are spread (--stats).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct RequestStats {
    std::string request;
    std::vector<uint64_t> us; // every time, in the order they came
    // The failures by name, in the order first seen.
    std::vector<std::pair<std::string, unsigned>> failures;
};

struct RunStats {
    std::vector<RequestStats> requests; // in the order first seen
};

// One request's time; failure: the name of why it failed, or "" for none.
void stats_add(RunStats& stats, std::string_view request, uint64_t us, std::string_view failure);

// The nearest-rank percentile (0 to 100) of the times; 0 when there are none.
struct Spread {
    uint64_t min, p50, p90, p99, max;
};
Spread stats_spread(const std::vector<uint64_t>& us);
