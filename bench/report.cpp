#include "report.h"

#include "bench_util.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace {

struct Section {
    std::string title, intro;
    std::vector<Row> rows;
    std::vector<std::string> notes;
};

// The machine's processor time from /proc/stat, in seconds: all cores
// together.
struct MachineTimes {
    double busy = 0, steal = 0, total = 0;
    double own = 0; // this process's, from getrusage
};

MachineTimes machine_times() {
    MachineTimes t;
    if (FILE* f = fopen("/proc/stat", "r")) {
        unsigned long long v[8] = {};
        // user nice system idle iowait irq softirq steal
        if (fscanf(f, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &v[0], &v[1], &v[2], &v[3],
                   &v[4], &v[5], &v[6], &v[7]) == 8) {
            double tick = double(sysconf(_SC_CLK_TCK));
            t.busy = double(v[0] + v[1] + v[2] + v[5] + v[6]) / tick;
            t.steal = double(v[7]) / tick;
            t.total = double(v[0] + v[1] + v[2] + v[3] + v[4] + v[5] + v[6] + v[7]) / tick;
        }
        fclose(f);
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    t.own = double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
            double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    return t;
}

struct Run {
    std::string started_at, load_at_start, load_at_end;
    MachineTimes at_start, at_end;
    uint64_t start_ns = 0, end_ns = 0;
    std::vector<Section> sections;
};

std::vector<Run> runs;

Run& current_run() {
    if (runs.empty()) report_run_start();
    return runs.back();
}

Section& current() {
    Run& run = current_run();
    if (run.sections.empty()) run.sections.push_back({"Figures", "", {}, {}});
    return run.sections.back();
}

const char* verdict_text(Verdict v) {
    switch (v) {
    case Verdict::met:
        return "met";
    case Verdict::missed:
        return "**missed**";
    case Verdict::undecided:
        return "undecided (noisy machine)";
    case Verdict::none:
        break;
    }
    return "";
}

std::string local_time() {
    time_t t = time(nullptr);
    char buf[64];
    strftime(buf, sizeof buf, "%Y-%m-%d %H:%M %Z", localtime(&t));
    return buf;
}

std::string first_field(const char* path, const char* key) {
    FILE* f = fopen(path, "r");
    if (f == nullptr) return "";
    char line[512];
    std::string value;
    while (value.empty() && fgets(line, sizeof line, f) != nullptr) {
        if (strncmp(line, key, strlen(key)) != 0) continue;
        const char* colon = strchr(line, ':');
        if (colon == nullptr) continue;
        value = colon + 1;
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.erase(0, 1);
        while (!value.empty() && (value.back() == '\n' || value.back() == ' ')) value.pop_back();
    }
    fclose(f);
    return value;
}

// Table cells may not hold a bar.
std::string cell(const std::string& s) {
    std::string out;
    for (char c : s) out += c == '|' ? '/' : c;
    return out;
}

std::string number(const Row& row, double v) {
    return text("%.*f", row.decimals, v);
}

bool has_figure(const Row& row) {
    return row.figure.samples > 0;
}

// The same row in another run: the same section and the same words.
const Row* find_row(const Run& run, const std::string& section, const std::string& what) {
    for (const Section& s : run.sections)
        if (s.title == section)
            for (const Row& r : s.rows)
                if (r.what == what) return &r;
    return nullptr;
}

// Each run's row of the same name; null where a run has none.
std::vector<const Row*> across_runs(const std::string& section, const std::string& what) {
    std::vector<const Row*> rows;
    for (const Run& run : runs) rows.push_back(find_row(run, section, what));
    return rows;
}

// "97.8 to 98.4%; each within 0.6 points of their median 98.1%" ("points"
// for shares, a percentage of the median for everything else).
std::string spread_text(const std::vector<const Row*>& rows) {
    std::vector<double> medians;
    const Row* any = nullptr;
    for (const Row* r : rows)
        if (r != nullptr && has_figure(*r)) {
            medians.push_back(r->figure.median);
            any = r;
        }
    if (any == nullptr) return "";
    double mid = median(medians), far = 0;
    for (double m : medians) far = std::max(far, std::fabs(m - mid));
    auto [lo, hi] = std::minmax_element(medians.begin(), medians.end());
    std::string unit = any->goal.unit;
    std::string within = unit == "%" ? text("%.1f points", far)
                                     : text("%.0f%%", mid != 0 ? 100 * far / std::fabs(mid) : 0.0);
    return text("%s to %s%s; each within %s of their median %s%s", number(*any, *lo).c_str(),
                number(*any, *hi).c_str(), unit.c_str(), within.c_str(), number(*any, mid).c_str(),
                unit.c_str());
}

// The rows of a section across the runs, each name once, in the order they
// first came: a row one run skipped or named otherwise still shows.
std::vector<const Row*> rows_of(const std::string& section) {
    std::vector<const Row*> rows;
    for (const Run& run : runs)
        for (const Section& s : run.sections)
            if (s.title == section)
                for (const Row& r : s.rows)
                    if (std::none_of(rows.begin(), rows.end(),
                                     [&](const Row* seen) { return seen->what == r.what; }))
                        rows.push_back(&r);
    return rows;
}

// met or missed where every run that measured says so; a mix is undecided.
Verdict overall(const std::vector<const Row*>& rows) {
    Verdict v = Verdict::none;
    for (const Row* r : rows) {
        if (r == nullptr || !has_figure(*r)) continue;
        Verdict each = judge(r->goal, r->figure);
        if (v == Verdict::none)
            v = each;
        else if (v != each)
            return Verdict::undecided;
    }
    return v;
}

void write_summary(std::ofstream& out, bool goals) {
    const Run& first = runs.front();
    size_t k = runs.size();
    if (goals) {
        out << "## Goals\n\n| Goal |";
    } else {
        out << "## Other figures\n\n| Figure |";
    }
    if (k == 1) {
        out << " Median (95% interval) |" << (goals ? " Result |" : "") << "\n|---|---|"
            << (goals ? "---|" : "") << "\n";
    } else {
        for (size_t i = 1; i <= k; ++i) out << " Run " << i << " |";
        out << " The " << k << " medians |" << (goals ? " Result |" : "") << "\n|---|";
        for (size_t i = 0; i <= k; ++i) out << "---|";
        out << (goals ? "---|" : "") << "\n";
    }
    for (const Section& s : first.sections)
        for (const Row* named : rows_of(s.title)) {
            std::vector<const Row*> rows = across_runs(s.title, named->what);
            // The goal and the unit of a run that has a figure.
            auto measured = std::find_if(rows.begin(), rows.end(), [](const Row* r) {
                return r != nullptr && has_figure(*r);
            });
            if (measured == rows.end() || ((*measured)->goal.op != Goal::none) != goals) continue;
            const Row& r = **measured;
            out << "| " << cell(r.what) << (goals ? ": " + cell(goal_text(r.goal)) : "") << " |";
            for (const Row* each : rows) {
                out << " " << (each != nullptr ? cell(figure_text(*each)) : "");
                if (goals && k > 1 && each != nullptr && has_figure(*each))
                    out << ": " << verdict_text(judge(each->goal, each->figure));
                out << " |";
            }
            if (k > 1) out << " " << cell(spread_text(rows)) << " |";
            if (goals) out << " " << verdict_text(overall(rows)) << " |";
            out << "\n";
        }
    out << "\n";
}

void write_run_head(std::ofstream& out, size_t index, const Run& run) {
    double wall = double(run.end_ns - run.start_ns) / 1e9;
    double total = run.at_end.total - run.at_start.total;
    double steal = run.at_end.steal - run.at_start.steal;
    double others = (run.at_end.busy - run.at_start.busy) - (run.at_end.own - run.at_start.own);
    out << "- "
        << (runs.size() > 1 ? text("Run %zu, started %s: ", index + 1, run.started_at.c_str())
                            : std::string())
        << text("%s (1, 5, 15 minutes) %s at the start, %s at the end; steal time %.2f%% "
                "of the processors' time; the rest of the machine (outside the bench, Xvfb "
                "included) kept %.2f of a core busy over %.0f s",
                runs.size() > 1 ? "load average" : "Load average", run.load_at_start.c_str(),
                run.load_at_end.c_str(), total > 0 ? 100 * steal / total : 0.0,
                wall > 0 ? std::max(0.0, others) / wall : 0.0, wall)
        << "\n";
}

} // namespace

void report_run_start() {
    Run run;
    run.started_at = local_time();
    run.load_at_start = load_average();
    run.at_start = machine_times();
    run.start_ns = now_ns();
    runs.push_back(run);
}

void report_run_end() {
    Run& run = current_run();
    run.load_at_end = load_average();
    run.at_end = machine_times();
    run.end_ns = now_ns();
}

void report_section(const std::string& title, const std::string& intro) {
    current_run().sections.push_back({title, intro, {}, {}});
    printf("\n== %s\n", title.c_str());
    fflush(stdout);
}

std::string figure_text(const Row& row) {
    if (!has_figure(row)) return row.ratio;
    const Estimate& e = row.figure;
    const char* unit = row.goal.unit;
    std::string median = number(row, e.median) + unit;
    if (e.samples == 1) return median;
    if (std::isinf(e.low)) return median + " (too few samples for an interval)";
    return text("%s (%s to %s)", median.c_str(), number(row, e.low).c_str(),
                number(row, e.high).c_str());
}

void report_row(const Row& row) {
    current().rows.push_back(row);
    printf("%s: %s", row.what.c_str(), row.measured.c_str());
    if (!row.reference.empty()) printf("; against %s", row.reference.c_str());
    std::string figure = figure_text(row);
    if (!figure.empty()) printf(": %s", figure.c_str());
    if (row.goal.op != Goal::none) {
        Verdict v = judge(row.goal, row.figure);
        printf(" (goal %s: %s)", goal_text(row.goal).c_str(),
               v == Verdict::met      ? "met"
               : v == Verdict::missed ? "MISSED"
                                      : "UNDECIDED");
    }
    printf("\n");
    fflush(stdout);
}

void report_note(const std::string& text) {
    current().notes.push_back(text);
    printf("  %s\n", text.c_str());
    fflush(stdout);
}

void report_skip(const std::string& what, const std::string& why) {
    report_row({what, "not measured: " + why, "", "", {}, {}, 1});
}

bool report_write(const std::string& path, const std::string& command) {
    std::ofstream out(path);
    if (!out || runs.empty()) return false;
    size_t k = runs.size();
    out << "# Performance\n\n"
        << "Generated by `" << command << "` from "
        << (k == 1 ? std::string("one run") : text("%zu runs in a row (`--repeat %zu`)", k, k))
        << ", started " << runs.front().started_at << ". Every figure below comes from "
        << (k == 1 ? "that run" : "those runs")
        << "; running the command again rewrites this file.\n\n"
        << "- Machine: " << machine_description() << "\n";
    for (size_t i = 0; i < k; ++i) write_run_head(out, i, runs[i]);
    out << "- The console's code as built by the default preset (RelWithDebInfo), the real "
           "FLTK window under Xvfb, the wire recorder on (as it is in the program).\n\n";

    out << "## How the figures are judged\n\n"
        << "This machine is shared: other work comes and goes while the bench runs, and a "
           "single timing says as much about that work as about the console. So each figure "
           "with a goal is the median of many samples, taken so that a burst of other load "
           "spoils few of them, and comes with its 95% interval: the k-th smallest and the k-th "
           "largest sample, k the largest count for which a fair coin shows fewer than k heads "
           "in n throws at most 2.5% of the time. That interval holds the true median at least "
           "95% of the time whatever the samples' distribution, and it widens as the machine "
           "grows noisier. A goal is \"met\" only where the interval's worse end meets it, "
           "\"missed\" only where its better end does not, and \"undecided (noisy machine)\" "
           "otherwise; figures measured once (a wait of seconds, the largest memory) are their "
           "own interval.\n\n"
        << "The network rows set the console against a bare client of the same link, in "
           "short slices of each, one after the other in random order; each neighbouring pair "
           "gives a ratio, so that the load of that moment falls on both of its sides. Each "
           "row's pairs are spread over the whole group, in passes through all its rows, so "
           "that a spell of load lasting seconds spoils a few pairs of many rows rather than a "
           "row whole. A pair counts only where the measured core ran at its usual speed, as a "
           "fixed probe of memory and system calls timed about the pair and the bare "
           "exchange's own processor time tell: this machine's host at times lends a core's "
           "caches to other work, which no steal time shows, and that slows the console's "
           "requests more than the bare ones. Pairs set aside so are counted in their row, and "
           "passes go on while a row with a goal has too few left. The "
           "processor time is each thread's own (`CLOCK_THREAD_CPUTIME_ID`), beside the wall "
           "time. Where the machine has two cores, the device side (the simulator's thread, "
           "or the bench's network device side) runs on one and the measured side on the "
           "other. The serial signing rows take each request as a sample: its share of the "
           "wire bound from its first byte to the next request's first byte.";
    if (k > 1)
        out << " With `--repeat " << k << "` every group ran " << k
            << " times in a row; each run's figure is shown, the spread of the " << k
            << " medians, and a result that is \"met\" or \"missed\" only where every run "
               "says so.";
    out << "\n\n";

    write_summary(out, true);
    write_summary(out, false);

    for (const Section& s : runs.front().sections) {
        out << "## " << s.title << "\n\n";
        if (!s.intro.empty()) out << s.intro << "\n\n";
        if (!s.rows.empty()) {
            out << "| What |" << (k > 1 ? " Run |" : "")
                << " Measured | Against | Ratio | Goal | Result |\n"
                << (k > 1 ? "|---|---" : "|---") << "|---|---|---|---|---|\n";
            for (const Row* named : rows_of(s.title)) {
                std::vector<const Row*> rows = across_runs(s.title, named->what);
                for (size_t i = 0; i < k; ++i) {
                    const Row* r = rows[i];
                    if (r == nullptr) continue;
                    out << "| " << cell(r->what) << " |"
                        << (k > 1 ? text(" %zu |", i + 1) : std::string()) << " "
                        << cell(r->measured) << " | " << cell(r->reference) << " | "
                        << cell(figure_text(*r)) << " | " << cell(goal_text(r->goal)) << " | "
                        << verdict_text(judge(r->goal, r->figure)) << " |\n";
                }
            }
            out << "\n";
        }
        for (const std::string& n : s.notes) out << n << "\n\n";
    }
    return bool(out);
}

std::string machine_description() {
    std::string cpu = first_field("/proc/cpuinfo", "model name");
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    long mem_kb = atol(first_field("/proc/meminfo", "MemTotal").c_str());
    utsname u{};
    uname(&u);
    return text("%s, %ld cores, %.1f GB of memory, %s %s", cpu.empty() ? "unknown" : cpu.c_str(),
                cores, double(mem_kb) / 1048576.0, u.sysname, u.release);
}

std::string load_average() {
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) != 3) return "unknown";
    return text("%.2f, %.2f, %.2f", load[0], load[1], load[2]);
}
