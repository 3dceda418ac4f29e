// The context menu of the log: copying and saving its entries, their times,
// emptying it. Each item is one row of a table; an item is added with one
// row and its handler.
#pragma once

#include <cstdint>
#include <string>

struct LogMenuItem {
    const char* text;
    void (*run)(uint32_t pointer_item); // the entry under the pointer, or no_item
    bool (*checked)();                  // the state of a toggle; nullptr for a command
};

// Shows the menu where it was asked for and runs the item chosen.
void log_context_menu(uint32_t pointer_item);

// What the items copy: 8-bit texts, one entry a line, lines separated by
// \n; each begins with its time while the times are shown.
// The selected entries, else the entry under the pointer; "" when neither.
std::string log_selection_text(uint32_t pointer_item);
std::string log_all_text();
// What "Save log as..." writes: "YYYY-MM-DD hh:mm:ss.mmm  text" in UTF-8,
// each line ended with line_end.
std::string log_file_text(const char* line_end);
