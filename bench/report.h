// The benchmark's findings: printed as they come, and written at the end as
// one Markdown report with the run's date, the machine and every figure.
#pragma once

#include <string>

enum class Verdict { none, met, missed };

struct Row {
    std::string what;
    std::string measured;
    std::string reference; // the bound or the bare exchange it is set against
    std::string ratio;
    std::string goal;
    Verdict verdict = Verdict::none;
};

// Starts a section: a heading, a paragraph and a table of rows.
void report_section(const std::string& title, const std::string& intro);
void report_row(const Row& row);
// A paragraph after the section's table.
void report_note(const std::string& text);
// A row that could not be measured here, and why.
void report_skip(const std::string& what, const std::string& why);

// Writes everything reported so far. command: how the report was made.
bool report_write(const std::string& path, const std::string& command);

// The machine, for the report's head: processor, cores, memory, kernel.
std::string machine_description();
std::string load_average();
