// A JUnit XML report (testsuites / testsuite / testcase, with failure or
// error), the form that CI servers read. Built in memory as the run goes,
// written whole at the end: a reader finds the whole report or none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class JunitOutcome {
    passed,
    failure, // the thing tested answered, and said no
    error,   // the test could not be carried out
    skipped, // not run, for the reason in message
};

struct JunitCase {
    std::string name;
    uint64_t us = 0;
    JunitOutcome outcome = JunitOutcome::passed;
    std::string type;    // of a failure or error: a short name
    std::string message; // its words
};

struct JunitSuite {
    std::string name;
    std::vector<JunitCase> cases;
};

struct JunitReport {
    std::string name; // of testsuites
    std::vector<JunitSuite> suites;
};

// A new suite; the cases that follow go into it.
void junit_begin_suite(JunitReport& report, std::string_view name);
// A case of the last suite (a suite of its own name when there is none).
JunitCase& junit_add_case(JunitReport& report, std::string_view name);

// The report as XML text. Names and messages are the program's 8-bit texts:
// written as UTF-8, with the control bytes that XML cannot hold shown as
// \xNN.
std::string junit_xml(const JunitReport& report);
// Writes it to path whole or not at all; false with the system's reason in
// why (as write_whole_file says it).
bool junit_save(const JunitReport& report, const char* path, char* why, size_t why_size);
