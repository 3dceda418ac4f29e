// The Z-report capture into C:\out\<identifier>_a.txt and the signature
// check that writes its digest into C:\out\<identifier>_b.txt.
#include "serial/zreport.h"

#include "base/log.h"
#include "base/results.h"
#include "base/window.h"
#include "codec/sha1.h"
#include "serial/serial_transaction.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr size_t identifier_max = zreport_identifier_max;

// A file of the capture by both its names: C:\out\... as the operator knows
// it, and where it is on this system (empty when it cannot be named here).
struct ZFile {
    char shown[80];
    char real[4096];
};
ZFile a_path{}, b_path{};
FILE* a_file = nullptr;
// The signature the report's own lines carry, to set beside the digest.
char report_signature[zreport_signature_size + 1] = "";

void error_box(const char* text) {
    ui_message_box(true, text, "Error", mb_ok);
}

void close_a_file() {
    if (a_file == nullptr) return;
    fclose(a_file);
    a_file = nullptr;
}

void set_path(ZFile& path, const char* identifier, const char* suffix) {
    char name[identifier_max + 8];
    snprintf(name, sizeof name, "%s%s", identifier, suffix);
    snprintf(path.shown, sizeof path.shown, "C:\\out\\%s", name);
    if (!zreport_out_path(name, path.real, sizeof path.real)) path.real[0] = '\0';
}

FILE* create(const ZFile& path) {
    return path.real[0] != '\0' ? fopen(path.real, "wb") : nullptr;
}

// The identifier as a box can show it: control bytes as \xNN.
void printable(std::string_view text, char* out, size_t cap) {
    size_t n = 0;
    for (char c : text) {
        auto byte = uint8_t(c);
        bool control = byte < 0x20 || byte == 0x7F;
        if (n + (control ? 4 : 1) >= cap) break;
        if (control)
            n += size_t(snprintf(out + n, cap - n, "\\x%02X", byte));
        else
            out[n++] = c;
    }
    out[n] = '\0';
}

// Help for the operator's eye: the report's own signature beside the digest.
void log_report_signature(const char* digest) {
    if (report_signature[0] == '\0') {
        log_printf("Z-report signature in the report: not found");
        return;
    }
    bool same = strlen(digest) == zreport_signature_size;
    for (size_t i = 0; same && i < zreport_signature_size; ++i)
        same = toupper(uint8_t(digest[i])) == toupper(uint8_t(report_signature[i]));
    log_printf("Z-report signature in the report: %s (%s)", report_signature,
               same ? "identical" : "different");
}

} // namespace

Result zreport_check(const char*) {
    FILE* b_file = create(b_path);
    if (b_file == nullptr) {
        error_box("Error creating '_b.txt' file");
        close_a_file();
        // No digest was made, so no answer is to be had: the request must not
        // look answered, nor the earlier reply pass as its own.
        return zreport_not_checked;
    }
    // Lines still in the writer's buffer belong to the report as well.
    if (a_file != nullptr) fflush(a_file);
    char signature[64];
    switch (file_sha1_hex(a_path.real, signature)) {
    case 0:
        break;
    case 1:
        snprintf(signature, sizeof signature, "Error opening '_a.txt' file");
        break;
    default:
        snprintf(signature, sizeof signature, "Error reading '_a.txt' file");
        break;
    }
    fputs(signature, b_file);
    fclose(b_file);

    char question[200];
    snprintf(question, sizeof question,
             "Calculated signature: %s \r\n\r\n Is this signature identical with the one in "
             "Zreport?",
             signature);
    int answer = ui_message_box(true, question, "", mb_yesno);
    log_report_signature(signature);
    if (answer == id_yes) return result_ok;
    return signature_rejected;
}

void zreport_capture_identifier(char* reply) {
    if (zreport_reply_repeated(reply)) return;
    // The lines of a new report must not run on into the earlier one's file.
    close_a_file();
    report_signature[0] = '\0';
    std::string_view identifier = zreport_identifier(reply);

    if (!zreport_names_a_file(identifier)) {
        // A later check must not digest or overwrite the earlier report's
        // files as this one's.
        a_path = {};
        b_path = {};
        char shown[4 * identifier_max + 1];
        printable(identifier, shown, sizeof shown);
        char text[sizeof shown + 64];
        snprintf(text, sizeof text, "Z-report identifier '%s' cannot name a file", shown);
        error_box(text);
        return;
    }
    char id[identifier_max + 1];
    snprintf(id, sizeof id, "%.*s", int(identifier.size()), identifier.data());
    set_path(a_path, id, "_a.txt");
    set_path(b_path, id, "_b.txt");

    // Where C:\out\ is not the folder itself, the second line tells where
    // the file is.
    char text[sizeof a_path.shown + sizeof a_path.real + 1];
    if (a_path.real[0] != '\0' && strcmp(a_path.real, a_path.shown) != 0)
        snprintf(text, sizeof text, "%s\n%s", a_path.shown, a_path.real);
    else
        snprintf(text, sizeof text, "%s", a_path.shown);
    ui_message_box(true, text, "", mb_ok);

    a_file = create(a_path);
    if (a_file == nullptr) error_box("Error creating '_a.txt' file");
}

void zreport_capture_line(char* reply) {
    ZReportLine line = zreport_line(reply);
    if (line.action == ZLineAction::close) close_a_file();
    if (line.action == ZLineAction::write && a_file != nullptr)
        fprintf(a_file, "%s\r\n", line.text);
    std::string_view signature = zreport_line_signature(reply);
    if (!signature.empty())
        snprintf(report_signature, sizeof report_signature, "%.*s", int(signature.size()),
                 signature.data());
}
