#include "base/file_picker.h"

#include "base/window.h"

#include <cstdio>
#include <cstring>

namespace {
char chosen_path[chosen_path_size];
} // namespace

const char* pick_file_to_open(const char* pattern, const char* title) {
    const char* extension = strlen(pattern) >= 2 ? pattern + 2 : "";
    char description[64];
    snprintf(description, sizeof description, "%s files", extension);
    snprintf(chosen_path, sizeof chosen_path, "%s", pattern);
    OpenFileRequest request{description, pattern,         ".", title, extension,
                            chosen_path, chosen_path_size};
    return ui_open_file_dialog(request) ? chosen_path : nullptr;
}
