// Typed commands, the status query and the ".." buttons.
#include "app/command_history.h"
#include "app/handlers.h"
#include "base/dialog_template.h"
#include "base/file_picker.h"
#include "base/log.h"
#include "base/state.h"
#include "base/window.h"
#include "command/command.h"

namespace {
char command_buffer[command_field_size];
char send_data[1000];
char refresh_data[100];
} // namespace

void send_command() {
    if (operation_running()) return;
    ui_get_text(idc_command, command_buffer, sizeof command_buffer);
    history_add(command_buffer);
    execute_command(command_buffer, send_data, sizeof send_data, ui_is_checked(idc_details));
}

void refresh_status() {
    if (operation_running()) return;
    if (connected_flag == 0) {
        show_error_box("Not connected!");
        return;
    }
    execute_command("?", refresh_data, sizeof refresh_data, ui_is_checked(idc_details));
}

void pick_sign_file() {
    if (const char* path = pick_file_to_open("*.*", "Select file"))
        ui_set_text(idc_sign_path, path);
}

void pick_batch_file() {
    if (const char* path = pick_file_to_open("*.txt", "Select file"))
        ui_set_text(idc_batch_path, path);
}
