#include "app/log_menu.h"

#include "base/dialog_template.h"
#include "base/file_picker.h"
#include "base/log.h"
#include "base/save_file.h"
#include "base/text8.h"
#include "base/wall_clock.h"
#include "base/window.h"
#include "capture/capture_file.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace {

// Entries hold at most log_column_max characters.
std::string entry_text(int item) {
    char text[log_column_max + 1];
    int n = ui_list_item_text(idc_log, item, 0, text, sizeof text);
    return std::string(text, size_t(n > 0 ? n : 0));
}

void add_line(std::string& out, int item, bool first) {
    if (!first) out += '\n';
    if (log_times_shown()) {
        char time[clock_time_size];
        format_clock_time(log_entry_time(item), time);
        out += time;
        out += "  ";
    }
    out += entry_text(item);
}

void copy(const std::string& text) {
    if (!text.empty()) ui_copy_to_clipboard(text.c_str());
}

void copy_selection(uint32_t pointer_item) {
    copy(log_selection_text(pointer_item));
}

void copy_all(uint32_t) {
    copy(log_all_text());
}

void toggle_times(uint32_t) {
    log_show_times(!log_times_shown());
}

void save_log_as(uint32_t) {
    static constexpr FileFilter filters[] = {{"Log files (*.log)", "*.log"},
                                             {"Text files (*.txt)", "*.txt"}};
    char path[chosen_path_size], stamp[clock_name_stamp_size];
    format_clock_name_stamp(clock_local_ms(), stamp);
    snprintf(path, sizeof path, "varnoke-%s.log", stamp);
    SaveFileRequest request{filters, 2, "Save log as", "log", path, int(sizeof path)};
    if (!ui_save_file_dialog(request)) return;
    char why[128];
    if (!write_whole_file(path, log_file_text(native_line_end), why, sizeof why)) {
        show_error_box("Cannot save the log to [%s]: %s", path, why);
        return;
    }
    log_printf("Log saved to [%s]", path);
}

void save_wire_capture_as(uint32_t) {
    static constexpr FileFilter filters[] = {{"Capture files (*.pcapng)", "*.pcapng"}};
    char path[chosen_path_size];
    wire_capture_default_name(path, sizeof path);
    SaveFileRequest request{filters, 1, "Save wire capture", "pcapng", path, int(sizeof path)};
    if (ui_save_file_dialog(request)) save_wire_capture_command(path);
}

void clear(uint32_t) {
    log_clear();
}

constexpr LogMenuItem log_menu[] = {
    {"Copy", copy_selection, nullptr},
    {"Copy all", copy_all, nullptr},
    {"Show times", toggle_times, log_times_shown},
    {"Save log as...", save_log_as, nullptr},
    {"Save wire capture...", save_wire_capture_as, nullptr},
    {"Clear", clear, nullptr},
};
constexpr int log_menu_size = int(std::size(log_menu));

} // namespace

void log_context_menu(uint32_t pointer_item) {
    std::array<MenuEntry, log_menu_size> entries{};
    for (int i = 0; i < log_menu_size; ++i)
        entries[size_t(i)] = {log_menu[i].text, log_menu[i].checked && log_menu[i].checked()};
    int chosen = ui_popup_menu(entries.data(), log_menu_size);
    if (chosen >= 0 && chosen < log_menu_size) log_menu[chosen].run(pointer_item);
}

std::string log_selection_text(uint32_t pointer_item) {
    std::string out;
    int item = ui_list_next_selected(idc_log, -1);
    if (item < 0) {
        if (pointer_item < uint32_t(ui_list_count(idc_log))) add_line(out, int(pointer_item), true);
        return out;
    }
    for (int last = -1; item > last; last = item, item = ui_list_next_selected(idc_log, item))
        add_line(out, item, last < 0);
    return out;
}

std::string log_all_text() {
    std::string out;
    int count = ui_list_count(idc_log);
    for (int item = 0; item < count; ++item) add_line(out, item, item == 0);
    return out;
}

std::string log_file_text(const char* line_end) {
    std::string out;
    int count = ui_list_count(idc_log);
    for (int item = 0; item < count; ++item) {
        char stamp[clock_stamp_size];
        format_clock_stamp(log_entry_time(item), stamp);
        out += stamp;
        out += "  ";
        out += text8_to_utf8(entry_text(item));
        out += line_end;
    }
    return out;
}
