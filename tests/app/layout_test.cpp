// The controls of a window larger than the template's.
#include "base/dialog_template.h"
#include "base/layout.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

PixelRect rect_of(const ControlDef& c) {
    return {c.x, c.y, c.w, c.h};
}

bool overlap(const PixelRect& a, const PixelRect& b) {
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

// In dialog units, which the rule treats as any other unit.
TEST(Layout, TheLogTakesTheRoomAndTheRestKeepsToItsCorner) {
    for (auto [dw, dh] : {std::pair{0, 0}, std::pair{300, 0}, std::pair{0, 250},
                          std::pair{420, 380}, std::pair{-50, -40}}) {
        SCOPED_TRACE(std::to_string(dw) + "x" + std::to_string(dh));
        int gw = std::max(dw, 0), gh = std::max(dh, 0);
        int w = dialog_def.w + gw, h = dialog_def.h + gh;
        for (const ControlDef& c : dialog_controls) {
            PixelRect r = anchored_rect(rect_of(c), anchor_of(c.id), dw, dh);
            EXPECT_LE(r.x + r.w, w) << c.text;
            int height =
                c.kind == ControlKind::combo_edit || c.kind == ControlKind::combo_list ? 14 : r.h;
            EXPECT_LE(r.y + height, h) << c.text;
            switch (anchor_of(c.id)) {
            case Anchor::grow:
                EXPECT_EQ(r.w, c.w + gw);
                EXPECT_EQ(r.h, c.h + gh);
                break;
            case Anchor::bottom_right:
                EXPECT_EQ(w - r.x, dialog_def.w - c.x) << c.text;
                EXPECT_EQ(h - r.y, dialog_def.h - c.y) << c.text;
                break;
            case Anchor::bottom_left:
                EXPECT_EQ(r.x, c.x) << c.text;
                EXPECT_EQ(h - r.y, dialog_def.h - c.y) << c.text;
                break;
            case Anchor::stretch:
                EXPECT_EQ(r.x, c.x) << c.text;
                EXPECT_EQ(w - (r.x + r.w), dialog_def.w - (c.x + c.w)) << c.text;
                EXPECT_EQ(h - r.y, dialog_def.h - c.y) << c.text;
                break;
            }
            // Controls that lay apart still do: nothing is covered.
            for (const ControlDef& o : dialog_controls) {
                if (&o == &c || overlap(rect_of(c), rect_of(o))) continue;
                PixelRect ro = anchored_rect(rect_of(o), anchor_of(o.id), dw, dh);
                EXPECT_FALSE(overlap(r, ro)) << c.text << " and " << o.text;
            }
        }
    }
    EXPECT_EQ(anchor_of(idc_send), Anchor::bottom_right);
    EXPECT_EQ(anchor_of(idc_pick_sign), Anchor::bottom_right) << "stays beside its field";
    EXPECT_EQ(anchor_of(idc_none), Anchor::bottom_left);
}

// The fields of long texts take the new width, and the button beside each
// stays as close to its field as in the template.
TEST(Layout, EachButtonStaysBesideItsStretchedField) {
    struct Pair {
        int field, button;
    } pairs[] = {{idc_command, idc_send},
                 {idc_sign_path, idc_pick_sign},
                 {idc_batch_path, idc_pick_batch},
                 {idc_pick_sign, idc_sign},
                 {idc_pick_batch, idc_run_batch}};
    auto def = [](int id) {
        for (const ControlDef& c : dialog_controls)
            if (c.id == id) return rect_of(c);
        return PixelRect{};
    };
    // At the template's size the gaps are the template's; grown by more than
    // the command field closes up, every field stands 4 units from its
    // button; in between the command field's gap shrinks as the window grows.
    for (auto [dw, dh, cap] : {std::tuple{0, 0, 21}, std::tuple{10, 0, 11}, std::tuple{420, 380, 4},
                               std::tuple{1000, 0, 4}}) {
        for (Pair p : pairs) {
            int close_up = close_up_du(p.field);
            PixelRect field = anchored_rect(def(p.field), anchor_of(p.field), dw, dh, close_up);
            PixelRect button = anchored_rect(def(p.button), anchor_of(p.button), dw, dh);
            int gap = button.x - (field.x + field.w);
            int start_gap = def(p.button).x - (def(p.field).x + def(p.field).w);
            EXPECT_EQ(gap, p.field == idc_command ? cap : start_gap)
                << p.field << " and " << p.button << " at " << dw << "x" << dh;
            EXPECT_EQ(button.y - field.y, def(p.button).y - def(p.field).y);
        }
    }
    EXPECT_EQ(close_up_du(idc_command), 17);
    EXPECT_EQ(close_up_du(idc_sign_path), 0);
    PixelRect reply = anchored_rect(def(idc_reply), anchor_of(idc_reply), 420, 380);
    EXPECT_EQ(reply.w, def(idc_reply).w + 420);
}

} // namespace
