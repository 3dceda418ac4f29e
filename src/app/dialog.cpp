#include "app/dialog.h"

#include "app/command_history.h"
#include "app/handlers.h"
#include "app/log_menu.h"
#include "base/dialog_template.h"
#include "base/log.h"
#include "base/state.h"
#include "batch/batch.h"
#include "command/command.h"
#include "command/links.h"
#include "logo/logo.h"
#include "serial/serial_link.h"
#include "signing/sign_file.h"

#include <cstdio>

namespace {

void init_dialog() {
    connection_kind = 1;
    quit_flag = 0;
    connected_flag = 0;
    busy_flag = 0;
    close_pending = 0;
    log_record_init();
    history_clear();

    ui_set_log_font(idc_log);
    const char* headers[] = {"Varnoke messages"};
    const int widths[] = {2000};
    insert_columns(idc_log, headers, widths, 1);

    for (int id : {idc_send, idc_sign, idc_refresh, idc_bmp}) ui_enable(id, false);
    ui_enable(idc_connect, true);
    ui_enable(idc_exit, true);

    ui_combo_reset(idc_kind);
    for (const LinkKind& link : link_kinds) {
        for (int32_t kind = link.first; kind <= link.last; ++kind) {
            char name[16];
            if (link.first == link.last)
                snprintf(name, sizeof name, "%s", link.name);
            else
                snprintf(name, sizeof name, "%s%d", link.name, int(kind - link.first + 1));
            ui_combo_add(idc_kind, name);
        }
    }
    ui_combo_select(idc_kind, 0);

    ui_set_text(idc_address, "115200");
    ui_check(idc_details, true);
    ui_check(idc_esd, false);
    log_printf("Varnoke started");
    refill_baud_list();
}

bool dispatch_command(uint32_t command) {
    if (command == make_command(idc_kind, cbn_selchange)) {
        if (!operation_running()) link_of(ui_combo_selection(idc_kind) + 1).chosen();
        return true;
    }
    if ((command >> 16) != bn_clicked) return false;
    switch (int(command & 0xFFFFu)) {
    case idc_send:
        send_command();
        break;
    case idc_sign:
        sign_file();
        break;
    case idc_exit:
        close_sequence();
        break;
    case idc_connect:
        connect_or_disconnect();
        break;
    case idc_pick_sign:
        pick_sign_file();
        break;
    case idc_refresh:
        refresh_status();
        break;
    case idc_clear:
        log_clear();
        break;
    case idc_pick_batch:
        pick_batch_file();
        break;
    case idc_run_batch:
        run_batch();
        break;
    case idc_bmp:
        upload_logo();
        break;
    default:
        return false;
    }
    return true;
}

// Return presses the button that goes with its field, as a click would and
// only where a click could: "Send command" from the command field, Connect
// from the address/rate box while Disconnected. Elsewhere the key is the
// field's.
bool press_on_return(uint32_t key) {
    int button = key == make_command(idc_command, vk_return)   ? idc_send
                 : key == make_command(idc_address, vk_return) ? idc_connect
                                                               : idc_none;
    if (button == idc_none || !ui_is_enabled(button)) return false;
    if (button == idc_connect && connected_flag != 0) return false;
    return dispatch_command(make_command(button, bn_clicked));
}

} // namespace

void close_sequence() {
    if (operation_running()) {
        // Hiding the window now would leave the process running unseen, and
        // releasing the link would pull it from under the running request.
        if (close_pending == 0) log_printf("Closing when the running request has ended");
        close_pending = 1;
        return;
    }
    // A COM port is closed even when Connect failed half-way: closing a port
    // that is not open does nothing.
    const LinkKind& link = link_of(connection_kind);
    if (connected_flag == 1 || !link.network) link.close();
    ui_delete_log_font();
    quit_flag = 1;
    close_pending = 0;
    ui_end_dialog();
}

bool dialog_proc(DialogMsg msg, uint32_t wparam) {
    switch (msg) {
    case DialogMsg::init:
        init_dialog();
        return false;
    case DialogMsg::close:
        close_sequence();
        return true;
    case DialogMsg::command:
        return dispatch_command(wparam);
    case DialogMsg::context_menu:
        log_context_menu(wparam);
        return true;
    case DialogMsg::key:
        if (wparam == make_command(idc_command, vk_up) ||
            wparam == make_command(idc_command, vk_down)) {
            history_recall(wparam == make_command(idc_command, vk_up));
            return true;
        }
        return press_on_return(wparam);
    }
    return false;
}

int run_main_loop() {
    while (quit_flag == 0) {
        if (close_pending != 0 && !operation_running()) {
            close_sequence();
            continue;
        }
        // Nothing runs between events, so the loop may block until one comes.
        ui_wait(no_wait_handle, wait_forever);
        pump_one_message();
    }
    ui_destroy_dialog();
    return 0;
}

int app_main() {
    if (!ui_create_dialog(dialog_proc)) return 1;
    ui_show_dialog();
    return run_main_loop();
}
