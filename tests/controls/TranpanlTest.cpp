// The see-through panel paints nothing but its optional frame.
#include <gtest/gtest.h>

#include "controls/Tranpanl.h"
#include "support/FixedCanvas.h"

namespace {

TEST(TranPanel, PaintsOnlyItsFrame)
{
    TTranPanel panel(nullptr);
    EXPECT_EQ(panel.Width(), 185);
    EXPECT_EQ(panel.Height(), 41);
    EXPECT_FALSE(panel.ControlStyle() & csOpaque);  // the parent shows through
    EXPECT_TRUE(panel.ControlStyle() & csAcceptsControls);

    TFixedCanvas bare;
    panel.PaintTo(&bare);
    EXPECT_TRUE(bare.Ops().empty());

    panel.SetBorder(true);
    TFixedCanvas framed;
    panel.PaintTo(&framed);
    ASSERT_EQ(framed.Ops().size(), 1u);
    EXPECT_EQ(framed.Ops()[0].kind, TCanvasOp::Frame);
    EXPECT_EQ(framed.Ops()[0].rect, Rect(0, 0, 185, 41));
    EXPECT_EQ(framed.Ops()[0].brushColor, clBtnShadow);
}

}  // namespace
