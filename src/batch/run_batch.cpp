#include "batch/batch.h"

#include "base/dialog_template.h"
#include "base/log.h"
#include "base/progress.h"
#include "base/window.h"
#include "command/command.h"

namespace {
char batch_name[512];
char line[batch_line_max + 1];
char reply_data[reply_buffer_size];
} // namespace

void run_batch() {
    run_batch_from(1);
}

void run_batch_from(unsigned first) {
    if (operation_running()) return;
    ui_get_text(idc_batch_path, batch_name, sizeof batch_name);
    if (batch_name[0] == '\0') {
        show_error_box("No filename specified");
        return;
    }
    FILE* file = fopen(batch_name, "rb");
    if (file == nullptr) {
        show_error_box("Can't open file [%s]", batch_name);
        return;
    }
    if (!batch_file_is_text(file)) {
        fclose(file);
        show_error_box("File [%s] is not a text file; nothing was sent", batch_name);
        return;
    }
    // An empty line ends the batch, so the number is also the file's line.
    unsigned number = 1;
    ProgressTitle progress;
    while (read_batch_line(file, line, batch_line_max) == 1 && line[0] != '\0') {
        if (number < first) {
            ++number;
            continue;
        }
        progress_batch(number);
        log_printf("L%05u> %s", number, line);
        int result = execute_command(line, reply_data, sizeof reply_data,
                                     ui_is_checked(idc_details) ? 1 : 0);
        if (result != 0 || error_code != 0) {
            log_printf("Failed in line %u", number);
            log_printf("Batch aborted in line %u", number);
            break;
        }
        ++number;
    }
    if (ferror(file) != 0)
        log_printf("Cannot read file [%s] after line %u", batch_name, number - 1);
    fclose(file);
}
