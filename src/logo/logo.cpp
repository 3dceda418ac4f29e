#include "logo/logo.h"

#include "base/dialog_template.h"
#include "base/file_picker.h"
#include "base/log.h"
#include "base/progress.h"
#include "base/window.h"
#include "command/command.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace {

constexpr int file_name_size = 512;
constexpr unsigned bitmap_max = 7;

std::array<uint8_t, logo_max_row_bytes * logo_max_side> packed;
char reply_data[100];

void file_error(const char* message) {
    ui_message_box(false, "\xC5rror", message, mb_ok);
}

} // namespace

void upload_logo() {
    // A click dispatched while a row waits for its reply would load another
    // picture into the rows that the running upload is sending.
    if (operation_running()) return;
    if (const char* path = pick_file_to_open("*.bmp", "Select file"))
        ui_set_text(idc_batch_path, path);
    char file_name[file_name_size];
    ui_get_text(idc_batch_path, file_name, sizeof file_name);
    if (file_name[0] == '\0') {
        show_error_box("No filename specified");
        return;
    }
    load_logo_bitmap(1, file_name);
}

void load_logo_bitmap(unsigned bitmap, const char* file_name) {
    if (bitmap > bitmap_max) {
        ui_message_box(false,
                       "Parameter error:", "<bitmapno> must be an integer number ranged 0 - 7\n",
                       mb_ok);
        return;
    }
    FILE* f = fopen(file_name, "rb");
    if (f == nullptr) {
        file_error("File error: Could not open image file");
        return;
    }
    LogoHeader header;
    int refused = logo_read_file(f, header, packed.data());
    fclose(f);
    if (refused != result_ok) {
        file_error(result_words(refused));
        return;
    }
    send_logo_rows(bitmap, packed.data(), header.width, header.height);
}

void send_logo_rows(unsigned bitmap, const uint8_t* rows, unsigned width, unsigned height) {
    // The request below holds a row of the largest picture, no more.
    if (bitmap > bitmap_max || width > logo_max_side || height > logo_max_side) return;
    size_t row_bytes = (width + 7) / 8;
    char request[96]; // "$/7/256/256/256/", 64 digits, "/"
    ProgressTitle progress;
    for (unsigned row = 1; row <= height; ++row) {
        progress_logo(row, height);
        int n = snprintf(request, sizeof request, "$/%u/%u/%u/%u/", bitmap, width, height, row);
        const uint8_t* bytes = rows + (row - 1) * row_bytes;
        for (size_t i = 0; i < row_bytes; ++i, n += 2)
            snprintf(request + n, sizeof request - size_t(n), "%02X", bytes[i]);
        snprintf(request + n, sizeof request - size_t(n), "/");
        if (execute_command(request, reply_data, sizeof reply_data, ui_is_checked(idc_details)) !=
            0)
            return;
    }
}
