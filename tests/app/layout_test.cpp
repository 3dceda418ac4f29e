// The controls of a window larger than the template's.
#include "app/dialog_template.h"
#include "app/layout.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(anchor_of(idc_pick_sign), Anchor::bottom_left) << "stays beside its field";
    EXPECT_EQ(anchor_of(idc_none), Anchor::bottom_left);
}

} // namespace
