// The Z-report capture and signature check that ride on the serial
// transaction, keyed on the request's first characters.
#pragma once

#include <cstddef>

enum class ZReportStep {
    none,
    identifier, // "A": the reply names the report
    line,       // "Q": the reply carries one report line
    check,      // "x" with "2" or "5" third: the command that follows a report
};

// Exact, case-sensitive tests of the request text.
ZReportStep zreport_step(const char* request);

// Lets the transaction go on (send the request).
constexpr int zreport_go_on = -1;

// Before the enquiry of a check request: zreport_go_on, or the result (0 or
// 2001) with which the transaction ends without sending anything.
int zreport_check(const char* request);

// After a verified reply and before its ACK. reply is the reply text in the
// transaction's own buffer; the line capture may shorten it.
void zreport_capture_identifier(char* reply);
void zreport_capture_line(char* reply);

// Where the file C:\out\<name> is on this system; false when it cannot be
// named here (no prefix, or the path does not fit).
bool zreport_out_path(const char* name, char* out, size_t cap);
