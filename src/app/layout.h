// Where the controls go when the window grows beyond the template's size:
// the log takes the new room, the column of buttons at the right keeps its
// place from the window's bottom-right corner, every other control its
// place from the bottom-left corner. The window never gets smaller than
// the template.
#pragma once

#include "app/dialog_template.h"

enum class Anchor { grow, bottom_left, bottom_right };

constexpr Anchor anchor_of(int id) {
    switch (id) {
    case idc_log:
        return Anchor::grow;
    case idc_send:
    case idc_sign:
    case idc_run_batch:
    case idc_bmp:
    case idc_exit:
        return Anchor::bottom_right;
    default:
        return Anchor::bottom_left;
    }
}

struct PixelRect {
    int x, y, w, h;
};

// A control's rectangle in a window grown by dw, dh from its size at start;
// a window smaller than that leaves the controls where they started.
constexpr PixelRect anchored_rect(PixelRect start, Anchor anchor, int dw, int dh) {
    dw = dw > 0 ? dw : 0;
    dh = dh > 0 ? dh : 0;
    switch (anchor) {
    case Anchor::grow:
        return {start.x, start.y, start.w + dw, start.h + dh};
    case Anchor::bottom_right:
        return {start.x + dw, start.y + dh, start.w, start.h};
    case Anchor::bottom_left:
        break;
    }
    return {start.x, start.y + dh, start.w, start.h};
}
