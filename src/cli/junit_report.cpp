#include "cli/junit_report.h"

#include "base/save_file.h"
#include "base/text8.h"

#include <cstdio>

namespace {

// An attribute's value: 8-bit text as UTF-8, escaped for a quoted attribute.
void attribute(std::string& out, const char* key, std::string_view text8) {
    out += ' ';
    out += key;
    out += "=\"";
    for (char c : text8_to_utf8(text8)) {
        auto byte = uint8_t(c);
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char shown[8];
                snprintf(shown, sizeof shown, "\\x%02X", unsigned(byte));
                out += shown;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void seconds(std::string& out, uint64_t us) {
    char text[32];
    snprintf(text, sizeof text, " time=\"%llu.%06llu\"",
             static_cast<unsigned long long>(us / 1000000u),
             static_cast<unsigned long long>(us % 1000000u));
    out += text;
}

void count(std::string& out, const char* key, size_t n) {
    char text[48];
    snprintf(text, sizeof text, " %s=\"%zu\"", key, n);
    out += text;
}

struct Totals {
    size_t tests = 0, failures = 0, errors = 0, skipped = 0;
    uint64_t us = 0;
};

Totals totals_of(const JunitSuite& suite) {
    Totals t;
    for (const JunitCase& c : suite.cases) {
        ++t.tests;
        t.failures += c.outcome == JunitOutcome::failure;
        t.errors += c.outcome == JunitOutcome::error;
        t.skipped += c.outcome == JunitOutcome::skipped;
        t.us += c.us;
    }
    return t;
}

// The start tag of <testsuites> or a <testsuite>: its name and totals.
void open_with_totals(std::string& out, const char* tag, const std::string& name, const Totals& t) {
    out += tag;
    attribute(out, "name", name);
    count(out, "tests", t.tests);
    count(out, "failures", t.failures);
    count(out, "errors", t.errors);
    if (t.skipped > 0) count(out, "skipped", t.skipped);
    seconds(out, t.us);
    out += ">\n";
}

} // namespace

void junit_begin_suite(JunitReport& report, std::string_view name) {
    report.suites.push_back(JunitSuite{std::string(name), {}});
}

JunitCase& junit_add_case(JunitReport& report, std::string_view name) {
    if (report.suites.empty()) junit_begin_suite(report, name);
    auto& cases = report.suites.back().cases;
    cases.emplace_back();
    cases.back().name = name;
    return cases.back();
}

std::string junit_xml(const JunitReport& report) {
    Totals all;
    for (const JunitSuite& suite : report.suites) {
        Totals t = totals_of(suite);
        all.tests += t.tests;
        all.failures += t.failures;
        all.errors += t.errors;
        all.skipped += t.skipped;
        all.us += t.us;
    }
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    open_with_totals(out, "<testsuites", report.name, all);
    for (const JunitSuite& suite : report.suites) {
        open_with_totals(out, "  <testsuite", suite.name, totals_of(suite));
        for (const JunitCase& c : suite.cases) {
            out += "    <testcase";
            attribute(out, "classname", suite.name);
            attribute(out, "name", c.name);
            seconds(out, c.us);
            if (c.outcome == JunitOutcome::passed) {
                out += "/>\n";
                continue;
            }
            out += ">\n      <";
            const char* element = c.outcome == JunitOutcome::failure ? "failure"
                                  : c.outcome == JunitOutcome::error ? "error"
                                                                     : "skipped";
            out += element;
            attribute(out, "message", c.message);
            if (c.outcome != JunitOutcome::skipped) attribute(out, "type", c.type);
            out += "/>\n    </testcase>\n";
        }
        out += "  </testsuite>\n";
    }
    out += "</testsuites>\n";
    return out;
}

bool junit_save(const JunitReport& report, const char* path, char* why, size_t why_size) {
    return write_whole_file(path, junit_xml(report), why, why_size);
}
