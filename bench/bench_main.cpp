// The benchmark: every link against its bound, the log at 100,000 lines and
// the window's start, in one run, with the real FLTK window (it needs an X
// display; bench/run_bench.sh provides one) and, for the network links,
// private network namespaces (root, or a user namespace).
// Usage: varnoke_bench [--program PATH] [--report FILE] [--command TEXT]
//                      [--quick] [--only window|serial|net|costs] [--no-capture]
//                      [--repeat K]
//  --program: the console program, whose start and memory are measured;
//  --report: the Markdown report to write; --command: how the report says
//  it was made; --quick: a shorter run (no 9600-baud signing, fewer lines and
//  slices), to try things out; --only: one group of rows (may be given more
//  than once; costs: where a network request's time goes); --no-capture: the wire recorder off;
//  --repeat: the groups K times in a row, each row reported per run with the spread of its medians.
#include "bench.h"

#include "capture/wire_capture.h"
#include "netns.h"
#include "report.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    BenchOptions options;
    const char* report_path = nullptr;
    std::string command = "varnoke_bench";
    std::string only; // the groups asked for, each followed by a blank
    int repeat = 1;
    for (int i = 1; i < argc; ++i) {
        bool has_value = i + 1 < argc;
        if (strcmp(argv[i], "--program") == 0 && has_value) {
            options.program = argv[++i];
        } else if (strcmp(argv[i], "--report") == 0 && has_value) {
            report_path = argv[++i];
        } else if (strcmp(argv[i], "--command") == 0 && has_value) {
            command = argv[++i];
        } else if (strcmp(argv[i], "--quick") == 0) {
            options.log_lines = 20000;
            options.document_kb = 16;
            options.slices = 30;
            options.latency_requests = 300;
            options.slow_serial = false;
        } else if (strcmp(argv[i], "--only") == 0 && has_value) {
            only += std::string(argv[++i]) + " ";
        } else if (strcmp(argv[i], "--repeat") == 0 && has_value && atoi(argv[i + 1]) > 0) {
            repeat = atoi(argv[++i]);
        } else if (strcmp(argv[i], "--no-capture") == 0) {
            wire_capture_enable(false);
        } else {
            fprintf(stderr, "usage: varnoke_bench [--program PATH] [--report FILE] [--command "
                            "TEXT] [--quick] [--only window|serial|net|costs] [--no-capture] "
                            "[--repeat K]\n");
            return 2;
        }
    }
    // A namespace belongs to a thread: it must come while there is one.
    std::string no_namespace = netns::enter_private(false);

    char prefix[] = "/tmp/varnoke-bench-XXXXXX";
    if (mkdtemp(prefix) == nullptr) return 1;
    setenv("VARNOKE_PREFIX", prefix, 1);

    auto wanted = [&](const char* group) {
        return only.empty() || only.find(std::string(group) + " ") != std::string::npos;
    };
    for (int run = 0; run < repeat; ++run) {
        if (repeat > 1) printf("\n==== Run %d of %d\n", run + 1, repeat);
        report_run_start();
        if (wanted("window") && options.program != nullptr) window_start_rows(options.program);
        // Opened once, after the program's first starts: those measure a
        // server with no other window on it.
        if (run == 0 && !bench_window_open()) {
            fprintf(stderr, "varnoke_bench: the window did not open and paint (no X display?)\n");
            return 1;
        }
        if (wanted("window")) log_rows(options.log_lines);
        if (wanted("serial")) serial_rows(options);
        if (wanted("net")) net_rows(options, no_namespace);
        if (wanted("costs")) net_cost_rows(options, no_namespace);
        report_run_end();
    }

    std::filesystem::remove_all(prefix);
    if (report_path != nullptr && !report_write(report_path, command)) {
        fprintf(stderr, "varnoke_bench: cannot write %s\n", report_path);
        return 1;
    }
    return 0;
}
