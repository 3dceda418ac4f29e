// Where the controls go when the window grows beyond the template's size:
// the log takes the new room, the column of buttons at the right keeps its
// place from the window's bottom-right corner, every other control its
// place from the bottom-left corner. The fields that hold long texts (the
// command, the two paths, the reply) take the new width, and the ".."
// buttons go with the column, so that every button stays beside its field.
// The window never gets smaller than the template.
#pragma once

#include "base/dialog_template.h"

enum class Anchor { grow, bottom_left, bottom_right, stretch };

constexpr Anchor anchor_of(int id) {
    switch (id) {
    case idc_log:
        return Anchor::grow;
    case idc_command:
    case idc_sign_path:
    case idc_batch_path:
    case idc_reply:
        return Anchor::stretch;
    case idc_send:
    case idc_sign:
    case idc_pick_sign:
    case idc_pick_batch:
    case idc_run_batch:
    case idc_bmp:
    case idc_exit:
        return Anchor::bottom_right;
    default:
        return Anchor::bottom_left;
    }
}

// The room between a field and the button beside it, in dialog units.
constexpr int gap_du(int field, int button) {
    int right = 0, left = 0;
    for (const ControlDef& c : dialog_controls) {
        if (c.id == field) right = c.x + c.w;
        if (c.id == button) left = c.x;
    }
    return left - right;
}

// How much nearer to its button a stretched field comes as the window grows,
// in dialog units: the command field stands 21 units from "Send command"
// where the path fields stand 4 from their ".."; grown, it closes up to the
// same 4.
constexpr int close_up_du(int id) {
    return id == idc_command ? gap_du(idc_command, idc_send) - gap_du(idc_sign_path, idc_pick_sign)
                             : 0;
}

struct PixelRect {
    int x, y, w, h;
};

// A control's rectangle in a window grown by dw, dh from its size at start;
// a window smaller than that leaves the controls where they started. A
// stretched field takes up to close_up more of the width, as the window
// grows, on top of dw.
constexpr PixelRect anchored_rect(PixelRect start, Anchor anchor, int dw, int dh,
                                  int close_up = 0) {
    dw = dw > 0 ? dw : 0;
    dh = dh > 0 ? dh : 0;
    switch (anchor) {
    case Anchor::grow:
        return {start.x, start.y, start.w + dw, start.h + dh};
    case Anchor::bottom_right:
        return {start.x + dw, start.y + dh, start.w, start.h};
    case Anchor::stretch:
        return {start.x, start.y + dh, start.w + dw + (dw < close_up ? dw : close_up), start.h};
    case Anchor::bottom_left:
        break;
    }
    return {start.x, start.y + dh, start.w, start.h};
}
