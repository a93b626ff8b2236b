// The bitmap check box: its states, clicks, keys and glyphs.
#include <gtest/gtest.h>

#include <QImage>

#include "classlib/Forms.h"
#include "controls/Btchkbox.h"
#include "support/ControlWindows.h"
#include "support/FixedCanvas.h"
#include "support/Keyboard.h"
#include "support/Loop.h"
#include "support/UserClick.h"

namespace {

struct BoxFixture : ::testing::Test {
    void SetUp() override
    {
        form = new TForm(nullptr);
        form->SetBounds(0, 0, 300, 200);
        box = new TBitCheckBox(form);
        box->Name = "Live";
        box->SetParent(form);
        box->SetCaption("&Live Results");
        box->OnClick = [this](TObject* sender) {
            EXPECT_EQ(sender, box);
            clicks.push_back(box->State());
        };
    }
    void TearDown() override { delete form; }

    TForm* form = nullptr;
    TBitCheckBox* box = nullptr;
    std::vector<TCheckBoxState> clicks;  // the state each OnClick saw
};

TEST(BitCheckBoxState, ClicksCycleThroughTheStates)
{
    EXPECT_EQ(NextCheckBoxState(cbUnchecked, false), cbChecked);
    EXPECT_EQ(NextCheckBoxState(cbChecked, false), cbUnchecked);
    EXPECT_EQ(NextCheckBoxState(cbGrayed, false), cbChecked);
    EXPECT_EQ(NextCheckBoxState(cbUnchecked, true), cbGrayed);
    EXPECT_EQ(NextCheckBoxState(cbGrayed, true), cbChecked);
    EXPECT_EQ(NextCheckBoxState(cbChecked, true), cbUnchecked);
}

TEST_F(BoxFixture, AMouseClickTogglesBeforeOnClick)
{
    EXPECT_EQ(box->Width(), 97);
    EXPECT_EQ(box->Height(), 17);
    EXPECT_TRUE(box->TabStop());
    EXPECT_FALSE(box->Checked());

    ClickAt(box, 5, 8);
    EXPECT_TRUE(box->Checked());
    ClickAt(box, 60, 8);
    EXPECT_FALSE(box->Checked());
    EXPECT_EQ(clicks, (std::vector<TCheckBoxState>{cbChecked, cbUnchecked}));

    box->SetAllowGrayed(true);
    for (int i = 0; i < 3; ++i)
        ClickAt(box, 5, 8);
    EXPECT_EQ(clicks, (std::vector<TCheckBoxState>{cbChecked, cbUnchecked, cbGrayed, cbChecked, cbUnchecked}));
}

TEST_F(BoxFixture, CheckedReadsAndWritesTheState)
{
    box->SetState(cbGrayed);
    EXPECT_FALSE(box->Checked());
    box->SetChecked(true);
    EXPECT_EQ(box->State(), cbChecked);
    box->SetChecked(false);
    EXPECT_EQ(box->State(), cbUnchecked);
    EXPECT_TRUE(clicks.empty());  // setting the state is no click
}

TEST_F(BoxFixture, SpaceClicksAndTheAcceleratorOnlyToggles)
{
    ASSERT_TRUE(ShowActive(form));
    char space = ' ';
    box->HandleKeyPress(space);
    EXPECT_EQ(box->State(), cbChecked);
    EXPECT_EQ(clicks.size(), 1u);

    EXPECT_TRUE(box->DialogChar('l'));
    EXPECT_EQ(box->State(), cbUnchecked);
    EXPECT_EQ(clicks.size(), 1u);

    EXPECT_FALSE(box->DialogChar('x'));
    box->SetEnabled(false);
    EXPECT_FALSE(box->DialogChar('l'));
    EXPECT_EQ(box->State(), cbUnchecked);
}

TEST_F(BoxFixture, GlyphShapesSetTheImageCount)
{
    struct Case {
        int width, height;
        int numGlyphs;
    } cases[] = {
        {28, 14, 2},  // two images: enabled and disabled
        {42, 14, 2},  // three would fit; clamped
        {38, 14, 2},  // not a multiple: the count stays
        {14, 14, 1},
        {19, 14, 1},
    };
    for (const Case& c : cases) {
        TBitmap glyph(c.width, c.height);
        box->SetCheckedGlyph(&glyph);
        EXPECT_EQ(box->CheckedGlyph()->Width(), c.width);
        EXPECT_EQ(box->CheckedNumGlyphs(), c.numGlyphs) << c.width << "x" << c.height;
    }
    box->SetCheckedGlyph(nullptr);  // back to the built-in glyph
    EXPECT_EQ(box->CheckedGlyph()->Width(), 19);
    EXPECT_EQ(box->CheckedGlyph()->Height(), 14);

    box->SetGrayedNumGlyphs(0);
    EXPECT_EQ(box->GrayedNumGlyphs(), 1);
    box->SetGrayedNumGlyphs(5);
    EXPECT_EQ(box->GrayedNumGlyphs(), 2);
}

TEST(BitCheckBoxCaption, TheAcceleratorIsFoundAndHidden)
{
    EXPECT_EQ(AcceleratorOf("&Live"), 'L');
    EXPECT_EQ(AcceleratorOf("Fish && &Chips"), 'C');
    EXPECT_EQ(AcceleratorOf("None"), 0);
    EXPECT_EQ(AcceleratorOf("Trailing&"), 0);
}

TEST_F(BoxFixture, PaintsTheGlyphCellAndTheCaptionByStateAndAlignment)
{
    TBitmap twoLooks(28, 14);
    box->SetCheckedGlyph(&twoLooks);
    box->SetChecked(true);

    struct Case {
        bool enabled;
        TLeftRight alignment;
        TRect glyphDest, glyphSource;
        int captionLeft;
        std::vector<TColor> textColors;
    } cases[] = {
        {true, taRightJustify, Rect(0, 1, 14, 15), Rect(0, 0, 14, 14), 18, {clWindowText}},
        {false, taRightJustify, Rect(0, 1, 14, 15), Rect(14, 0, 28, 14), 18, {clBtnHighlight, clGrayText}},
        {true, taLeftJustify, Rect(83, 1, 97, 15), Rect(0, 0, 14, 14), 1, {clWindowText}},
    };
    for (const Case& c : cases) {
        box->SetEnabled(c.enabled);
        box->SetAlignment(c.alignment);
        TFixedCanvas canvas;
        box->PaintTo(&canvas);
        SCOPED_TRACE(c.enabled ? "enabled" : "disabled");

        // No band behind glyph and caption: the page shows through.
        EXPECT_TRUE(canvas.OpsOf(TCanvasOp::Fill).empty());
        EXPECT_TRUE(canvas.OpsOf(TCanvasOp::Rectangle).empty());
        EXPECT_FALSE(box->ControlStyle() & csOpaque);

        const auto bitmaps = canvas.OpsOf(TCanvasOp::Bitmap);
        ASSERT_EQ(bitmaps.size(), 1u);
        EXPECT_EQ(bitmaps[0].rect, c.glyphDest);
        EXPECT_EQ(bitmaps[0].source, c.glyphSource);
        EXPECT_TRUE(bitmaps[0].transparent);

        std::vector<TColor> colors;
        for (const TCanvasOp& text : canvas.OpsOf(TCanvasOp::Text)) {
            EXPECT_EQ(text.text, "Live Results");
            colors.push_back(text.fontColor);
        }
        EXPECT_EQ(colors, c.textColors);
        const auto texts = canvas.OpsOf(TCanvasOp::Text);
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts.back().points[0].x, c.captionLeft);
    }

    // The caption's box: "&" takes no room, and the box is clipped to the control.
    EXPECT_EQ(BitCheckBoxCaptionRect(Rect(0, 0, 97, 17), taRightJustify, 19, 84, 16), Rect(23, 0, 97, 17));
    EXPECT_EQ(BitCheckBoxCaptionRect(Rect(0, 0, 97, 30), taLeftJustify, 19, 28, 16), Rect(1, 5, 29, 24));
}

TEST_F(BoxFixture, ThePageShowsAroundGlyphAndCaption)
{
    form->SetColor(RGB(250, 240, 200));
    box->SetParentColor(false);
    box->SetColor(clRed);  // the box's own colour must not paint a band
    box->SetBounds(20, 30, 150, 21);
    form->Show();
    ASSERT_TRUE(RunUntil([&] { return form->Showing(); }));

    const QImage shot = PictureOf(form);
    // The form has no menu: its picture starts at its client area.
    const TPoint boxAt = box->ClientToScreen(TPoint{0, 0});
    const TPoint formAt = form->ClientToScreen(TPoint{0, 0});
    const QPoint origin(boxAt.x - formAt.x, boxAt.y - formAt.y);
    const QRgb page = shot.pixel(origin + QPoint(-5, 10));
    EXPECT_EQ(page, qRgb(250, 240, 200));
    // The corners, the gap between glyph and caption, and the empty right end.
    for (const QPoint p : {QPoint(0, 0), QPoint(149, 20), QPoint(16, 10), QPoint(145, 10)})
        EXPECT_EQ(shot.pixel(origin + p), page) << p.x() << "," << p.y();
}

}  // namespace
