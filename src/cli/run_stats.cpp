#include "cli/run_stats.h"

#include <algorithm>

namespace {

// The smallest time that at least percent of the times do not exceed.
uint64_t nearest_rank(const std::vector<uint64_t>& sorted, unsigned percent) {
    size_t rank = (sorted.size() * percent + 99) / 100; // from 1
    return sorted[rank == 0 ? 0 : rank - 1];
}

} // namespace

void stats_add(RunStats& stats, std::string_view request, uint64_t us, std::string_view failure) {
    // Most runs repeat a few texts: the last one seen is the likely next.
    RequestStats* entry = nullptr;
    for (size_t i = stats.requests.size(); i-- > 0 && entry == nullptr;)
        if (stats.requests[i].request == request) entry = &stats.requests[i];
    if (entry == nullptr) {
        stats.requests.push_back(RequestStats{std::string(request), {}, {}});
        entry = &stats.requests.back();
    }
    entry->us.push_back(us);
    if (failure.empty()) return;
    for (auto& [name, n] : entry->failures)
        if (name == failure) {
            ++n;
            return;
        }
    entry->failures.emplace_back(std::string(failure), 1u);
}

Spread stats_spread(const std::vector<uint64_t>& us) {
    if (us.empty()) return Spread{0, 0, 0, 0, 0};
    std::vector<uint64_t> sorted = us;
    std::sort(sorted.begin(), sorted.end());
    return Spread{sorted.front(), nearest_rank(sorted, 50), nearest_rank(sorted, 90),
                  nearest_rank(sorted, 99), sorted.back()};
}
