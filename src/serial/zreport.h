// The Z-report capture and signature check that ride on the serial
// transaction, keyed on the request's first characters.
#pragma once

#include "base/results.h"

#include <cstddef>
#include <string_view>

enum class ZReportStep {
    none,
    identifier, // "A": the reply names the report
    line,       // "Q": the reply carries one report line
    check,      // "x" with "2" or "5" third: the command that follows a report
};

// Exact, case-sensitive tests of the request text.
ZReportStep zreport_step(const char* request);

// Before the enquiry of a check request: result_ok when the transaction
// goes on to send the request, or the result with which it ends without
// sending it: signature_rejected (acknowledged, the previous reply handed
// up), or zreport_not_checked when no _b.txt file could be made (nothing
// sent at all).
Result zreport_check(const char* request);

// After a verified reply and before its ACK. reply is the reply text in the
// transaction's own buffer; the line capture may shorten it.
void zreport_capture_identifier(char* reply);
void zreport_capture_line(char* reply);

// The Z-report identifier an "A" reply text carries: from character 13 to
// its end (empty for a shorter reply).
inline constexpr size_t zreport_identifier_max = 59;
std::string_view zreport_identifier(const char* reply);
// Whether an identifier can name one file in C:\out\ and nothing else: 1 to
// zreport_identifier_max characters, no "..", no control byte, none of
// /\:<>"|?*, and no Windows device name before its first dot. It comes from
// the device and becomes part of a file name.
bool zreport_names_a_file(std::string_view identifier);
// Whether a reply's error code is one after which the command layer sends
// the request again (BUSY, PRINTEROFFLINE): the capture waits for the reply
// the repeat brings.
bool zreport_reply_repeated(const char* reply);

// What a "Q" reply text is to the capture. The reply is cut to 60
// characters first; text is the line to write (from character 11).
enum class ZLineAction {
    skip,  // types "1" and "2", or no line type
    close, // type "3": the report is complete
    write, // any other type
};
struct ZReportLine {
    ZLineAction action;
    const char* text;
};
ZReportLine zreport_line(char* reply);

// The signature a report carries in a "Q" reply of line type "1" or "2"
// (lines the capture does not write): the first run of exactly 40
// hexadecimal digits in its line text, as far as the capture keeps a
// reply; empty when there is none.
inline constexpr size_t zreport_signature_size = 40;
std::string_view zreport_line_signature(const char* reply);

// Where the file C:\out\<name> is on this system; false when it cannot be
// named here (no prefix, or the path does not fit).
bool zreport_out_path(const char* name, char* out, size_t cap);
