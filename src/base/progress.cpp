#include "base/progress.h"

#include "base/dialog_template.h"
#include "base/tick.h"
#include "base/window.h"

#include <cstdio>
#include <cstring>

namespace {

int depth = 0;
bool shown_once = false; // a progress title was shown in this operation
uint32_t shown_at = 0;
char title[96];

// Whether the title may change now; takes the time if so.
bool due() {
    if (depth == 0) return false;
    uint32_t now = tick_ms();
    if (shown_once && now - shown_at < progress_interval_ms) return false;
    shown_at = now;
    shown_once = true;
    return true;
}

void show(const char (&text)[sizeof title]) {
    if (strcmp(text, title) == 0) return;
    memcpy(title, text, sizeof title);
    ui_set_title(title);
}

} // namespace

void progress_begin() {
    if (depth++ > 0) return;
    shown_once = false;
    snprintf(title, sizeof title, "%s", dialog_def.caption);
}

void progress_end() {
    if (depth == 0 || --depth > 0) return;
    if (shown_once) ui_set_title(dialog_def.caption);
}

void progress_signing(uint64_t sent, uint64_t total) {
    if (!due()) return;
    uint64_t percent = total == 0 ? 0 : (sent >= total ? 100 : sent * 100 / total);
    char text[sizeof title];
    snprintf(text, sizeof text, "%s - Signing %u%%", dialog_def.caption, unsigned(percent));
    show(text);
}

void progress_batch(unsigned line) {
    if (!due()) return;
    char text[sizeof title];
    snprintf(text, sizeof text, "%s - Batch line %u", dialog_def.caption, line);
    show(text);
}

void progress_logo(unsigned row, unsigned rows) {
    if (!due()) return;
    char text[sizeof title];
    snprintf(text, sizeof text, "%s - Logo row %u of %u", dialog_def.caption, row, rows);
    show(text);
}
