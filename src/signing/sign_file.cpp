// "Sign File": the whole content of a file sent to the device as one
// signature block, opened with "{/0", carried in TEXT ("@/") or BASE64 ("&/")
// data requests and finished with "}".
#include "signing/sign_file.h"

#include "base/dialog_template.h"
#include "base/log.h"
#include "base/progress.h"
#include "base/state.h"
#include "base/tick.h"
#include "base/window.h"
#include "codec/base64.h"
#include "command/command.h"
#include "command/links.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

char file_name[512];
unsigned char block[sign_block_max];
char request[2 + base64_encoded_size(sign_block_max) + 1];
char reply_data[reply_buffer_size];
SigningSummary summary;

// A serial frame carries printable text only. A network request carries any
// byte but the terminating zero, which would cut the block short there.
bool needs_base64(const unsigned char* bytes, size_t n, bool network) {
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = bytes[i];
        if (network ? c == 0 : (c < 0x20 || c >= 0x80)) return true;
    }
    return false;
}

// Sends one request of the transfer; false (logged) when the link failed or
// the device refused it with an error code.
bool send_request(const char* text, int detail, const char* refused) {
    if (execute_command(text, reply_data, sizeof reply_data, detail) != 0) {
        log_printf("Failed communicating with device");
        return false;
    }
    if (error_code != 0) {
        log_printf("%s", refused);
        return false;
    }
    return true;
}

struct Transfer {
    FILE* file;
    int detail;
    uint32_t size;
    uint32_t& blocks = summary.blocks; // counted where last_signing() reads them
    uint32_t& bytes = summary.bytes;
};

bool send_block(Transfer& t, const unsigned char* bytes, size_t n, bool base64) {
    ++t.blocks;
    if (t.detail)
        log_printf("%s block #%u (%u of %u bytes)", base64 ? "BASE64" : "TEXT", unsigned(t.blocks),
                   unsigned(n), unsigned(t.size));
    request[0] = base64 ? '&' : '@';
    request[1] = '/';
    if (base64) {
        base64_encode(bytes, n, request + 2);
    } else {
        memcpy(request + 2, bytes, n);
        request[2 + n] = '\0';
    }
    return send_request(request, t.detail, "Failed signing data block");
}

// The data requests, from the start of the file to its end; false when the
// transfer ended early (the reason logged).
bool send_data(Transfer& t) {
    const LinkKind& link = link_of(connection_kind);
    while (feof(t.file) == 0) {
        size_t n = fread(block, 1, link.sign_block, t.file);
        if (ferror(t.file) != 0) {
            // A partly read block is not sent: the device would sign a
            // document that is not the file.
            log_printf("Cannot read file [%s] after %u byte(s) sent", file_name, unsigned(t.bytes));
            return false;
        }
        t.bytes += uint32_t(n);
        if (n == 0) continue;
        bool base64 = needs_base64(block, n, link.network);
        size_t piece = base64 ? link.sign_base64_block : n;
        for (size_t at = 0; at < n; at += piece) {
            size_t len = n - at < piece ? n - at : piece;
            if (!send_block(t, block + at, len, base64)) return false;
            progress_signing(t.bytes - n + at + len, t.size);
        }
    }
    return true;
}

uint32_t file_size(FILE* file) {
    long size = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : 0;
    fseek(file, 0, SEEK_SET);
    return size > 0 ? uint32_t(size) : 0;
}

} // namespace

const SigningSummary& last_signing() {
    return summary;
}

void sign_file() {
    if (operation_running()) return;
    summary = {};
    int detail = ui_is_checked(idc_details) ? 1 : 0;
    ui_get_text(idc_sign_path, file_name, sizeof file_name);
    if (file_name[0] == '\0') {
        show_error_box("Filename missing!");
        return;
    }
    FILE* file = fopen(file_name, "rb");
    if (file == nullptr) {
        show_error_box("Cannot open file [%s]", file_name);
        return;
    }
    Transfer t{file, detail, file_size(file)};
    ProgressTitle progress; // the title is the caption again on every return
    progress_signing(0, t.size);
    log_printf("Signing '%s', %u byte(s)", file_name, unsigned(t.size));
    if (!send_request("{/0", detail, "Failed opening signature block")) {
        fclose(file);
        return;
    }

    uint32_t start = tick_ms();
    bool sent = send_data(t);
    fclose(file);
    if (!sent || !send_request("}", detail, "Failed finishing block")) return;

    uint32_t elapsed = tick_ms() - start;
    log_printf("Done. (%u blocks, %u bytes, %lu milliseconds)", unsigned(t.blocks),
               unsigned(t.bytes), static_cast<unsigned long>(elapsed));
    float rate = float(t.bytes) * 1000.0f;
    if (elapsed != 0) rate = rate / float(elapsed);
    log_printf("Transfer rate: %.2f bytes/sec", double(rate));
    summary.done = true;
    summary.elapsed_ms = elapsed;
    summary.rate = rate;
    if (t.bytes != 0) {
        float per_k = float(elapsed) * 1024.0f / float(t.bytes);
        log_printf("1K transfer requires %.2f milliseconds", double(per_k));
    }
}
