// The benchmark's findings: printed as they come, and written at the end as
// one Markdown report with the run's date, the machine and every figure.
// A run with --repeat K reports each row once per run, and for every row
// with a figure the spread of its K medians.
#pragma once

#include "bench_stats.h"

#include <string>

struct Row {
    std::string what;
    std::string measured;
    std::string reference; // the bound or the bare exchange it is set against
    std::string ratio;     // shown when the row has no figure
    Goal goal;             // its unit is the figure's too
    Estimate figure;       // what the goal is judged on; samples 0: none
    int decimals = 1;      // of the figure
};

// Starts one run of the groups; the report holds every run's rows.
void report_run_start();
void report_run_end();

// Starts a section: a heading, a paragraph and a table of rows.
void report_section(const std::string& title, const std::string& intro);
void report_row(const Row& row);
// A paragraph after the section's table.
void report_note(const std::string& text);
// A row that could not be measured here, and why.
void report_skip(const std::string& what, const std::string& why);

// The figure and its interval: "98.8% (98.1 to 99.3)".
std::string figure_text(const Row& row);

// Writes everything reported so far. command: how the report was made.
bool report_write(const std::string& path, const std::string& command);

// The machine, for the report's head: processor, cores, memory, kernel.
std::string machine_description();
std::string load_average();
