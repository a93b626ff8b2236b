// The image button: which picture shows as the mouse moves and presses.
#include <gtest/gtest.h>

#include <iterator>

#include <QAccessible>

#include "classlib/Forms.h"
#include "controls/ImgBtn.h"
#include "support/ControlWindows.h"
#include "support/FixedCanvas.h"
#include "support/UserClick.h"

namespace {

using In = TImgBtnInput;
using Show = TImgBtnShow;

TEST(ImgBtnState, PicturesFollowHoverAndPress)
{
    const struct {
        const char* story;
        std::vector<In> inputs;
        std::vector<Show> shown;
    } cases[] = {
        {"hover, press, release, leave",
         {In::MouseEnter, In::LeftDown, In::LeftUp, In::MouseLeave},
         {Show::PicUp, Show::PicDown, Show::PicUp, Show::Pic}},
        {"leave while pressed, come back, release",
         {In::MouseEnter, In::LeftDown, In::MouseLeave, In::MouseEnter, In::LeftUp},
         {Show::PicUp, Show::PicDown, Show::Pic, Show::PicDown, Show::PicUp}},
        {"release outside",
         {In::MouseEnter, In::LeftDown, In::MouseLeave, In::LeftUp, In::MouseEnter},
         {Show::PicUp, Show::PicDown, Show::Pic, Show::Unchanged, Show::PicUp}},
        {"press without hover", {In::LeftDown, In::LeftUp}, {Show::Unchanged, Show::Unchanged}},
    };
    for (const auto& c : cases) {
        TImgBtnState state;
        std::vector<Show> shown;
        for (In input : c.inputs)
            shown.push_back(ImgBtnStep(state, input));
        EXPECT_EQ(shown, c.shown) << c.story;
    }
}

TPicture* PictureOfSize(int width)
{
    auto* picture = new TPicture;
    TBitmap bitmap(width, 10);
    picture->SetGraphic(&bitmap);
    return picture;
}

struct ButtonFixture : ::testing::Test {
    void SetUp() override
    {
        form = new TForm(nullptr);
        button = new TImgBtn(form);
        button->Name = "Button6";
        button->SetParent(form);
        button->SetBounds(10, 10, 80, 22);
        std::unique_ptr<TPicture> normal(PictureOfSize(1)), down(PictureOfSize(2)), up(PictureOfSize(3));
        button->SetPicDown(down.get());
        button->SetPicUp(up.get());
        button->SetPic(normal.get());
        button->OnMouseEnter = [this](TWMMouse& msg) { events.push_back("enter " + IntToStr(msg.Msg)); };
        button->OnMouseLeave = [this](TWMMouse& msg) { events.push_back("leave " + IntToStr(msg.Msg)); };
        button->OnMouseDown = [this](TWMMouse& msg) {
            events.push_back("down " + IntToStr(msg.XPos) + "," + IntToStr(msg.YPos));
        };
        button->OnMouseUp = [this](TWMMouse& msg) { events.push_back("up " + IntToStr(msg.Msg)); };
        button->OnClick = [this](TObject* sender) {
            EXPECT_EQ(sender, button);
            events.push_back("click");
        };
        form->Show();
    }
    void TearDown() override { delete form; }

    int Shown() const { return button->Picture()->Width(); }  // 1 Pic, 2 PicDown, 3 PicUp
    void Enter() { PointerEnters(button, 5, 5); }
    void Leave() { PointerLeaves(button); }

    TForm* form = nullptr;
    TImgBtn* button = nullptr;
    std::vector<CodePageString> events;
};

TEST_F(ButtonFixture, SwapsPicturesAndClicksOnRelease)
{
    EXPECT_EQ(Shown(), 1);
    Enter();
    EXPECT_EQ(Shown(), 3);
    PressAt(button, 7, 8);
    EXPECT_EQ(Shown(), 2);
    EXPECT_TRUE(button->Pressed());
    ReleaseAt(button, 7, 8);
    EXPECT_EQ(Shown(), 3);
    Leave();
    EXPECT_EQ(Shown(), 1);
    EXPECT_EQ(events, (std::vector<CodePageString>{"enter 45075", "down 7,8", "click", "up 514", "leave 45076"}));
}

TEST_F(ButtonFixture, UnsupportedNeverSwapsNorFires)
{
    button->SetSupported(false);
    Enter();
    PressAt(button, 7, 8);
    EXPECT_EQ(Shown(), 1);
    ReleaseAt(button, 7, 8);
    Leave();
    EXPECT_EQ(Shown(), 1);
    EXPECT_EQ(events, std::vector<CodePageString>{"click"});  // the click is the image's own
}

TEST_F(ButtonFixture, SettingPicShowsItAtOnce)
{
    Enter();
    EXPECT_EQ(Shown(), 3);
    std::unique_ptr<TPicture> other(PictureOfSize(9));
    button->SetPic(other.get());
    EXPECT_EQ(Shown(), 9);
    EXPECT_EQ(button->Pic()->Width(), 9);
    Leave();
    EXPECT_EQ(Shown(), 9);
}

TEST(ImgBtnLook, GreyedImageFadesEveryColourButTheTransparentOne)
{
    const TColor key = clFuchsia;
    const struct {
        TColor in, out;
    } cases[] = {
        {clBlack, RGB(128, 128, 128)},
        {clWhite, clWhite},
        {RGB(0, 0, 255), RGB(142, 142, 142)},
        {RGB(40, 90, 200), RGB(172, 172, 172)},
        {key, key},  // left alone, so it stays see-through
    };
    TBitmap picture(int(std::size(cases)) + 1, 1);
    for (int i = 0; i < int(std::size(cases)); ++i)
        picture.SetPixel(i, 0, cases[i].in);
    picture.SetTransparentColor(key);
    picture.SetTransparent(true);
    const TBitmap greyed = GreyedImage(picture);
    ASSERT_EQ(greyed.Width(), picture.Width());
    EXPECT_EQ(greyed.TransparentColor(), key);
    for (int i = 0; i < int(std::size(cases)); ++i)
        EXPECT_EQ(greyed.GetPixel(i, 0), cases[i].out) << i;

    // A colour that would turn into the transparent grey is kept visible.
    TBitmap greyKey(2, 1);
    greyKey.SetPixel(0, 0, clBlack);  // greys to 128, the key below
    greyKey.SetPixel(1, 0, RGB(128, 128, 128));
    greyKey.SetTransparentColor(RGB(128, 128, 128));
    greyKey.SetTransparent(true);
    const TBitmap greyedKey = GreyedImage(greyKey);
    EXPECT_EQ(greyedKey.GetPixel(0, 0), RGB(127, 127, 127));
    EXPECT_EQ(greyedKey.GetPixel(1, 0), RGB(128, 128, 128));

    // An opaque picture has no transparent colour to keep: all of it greys.
    picture.SetTransparent(false);
    EXPECT_EQ(GreyedImage(picture).GetPixel(4, 0), RGB(180, 180, 180));
}

TEST_F(ButtonFixture, ADisabledButtonPaintsItsPictureGreyed)
{
    TBitmap blue(80, 22);
    blue.Canvas()->Brush()->SetColor(RGB(40, 90, 200));
    blue.Canvas()->FillRect(Rect(0, 0, 80, 22));
    TPicture picture;
    picture.SetGraphic(&blue);
    button->SetPic(&picture);

    auto paintedPixel = [&] {
        TBitmap surface(80, 22);
        button->PaintTo(surface.Canvas());
        return surface.GetPixel(40, 11);
    };
    EXPECT_EQ(paintedPixel(), RGB(40, 90, 200));
    button->SetEnabled(false);
    EXPECT_EQ(paintedPixel(), RGB(172, 172, 172));
    QAccessibleInterface* node = AccessibleOf(button);
    ASSERT_NE(node, nullptr);
    EXPECT_TRUE(node->state().disabled);
    button->SetEnabled(true);
    EXPECT_FALSE(node->state().disabled);
    EXPECT_EQ(paintedPixel(), RGB(40, 90, 200));  // the enabled look is the picture itself

    // Drawn once, in the picture's place, honouring the image's transparency.
    button->SetEnabled(false);
    button->SetCenter(true);
    button->SetTransparent(true);
    TFixedCanvas canvas;
    button->PaintTo(&canvas);
    const auto bitmaps = canvas.OpsOf(TCanvasOp::Bitmap);
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].rect, button->DestRect());
    EXPECT_TRUE(bitmaps[0].transparent);
}

TEST_F(ButtonFixture, DisablingDropsHoverAndPress)
{
    Enter();
    PressAt(button, 7, 8);
    EXPECT_EQ(Shown(), 2);
    button->SetEnabled(false);
    EXPECT_FALSE(button->Pressed());
    EXPECT_FALSE(button->Hovered());
    EXPECT_EQ(Shown(), 1);
}

}  // namespace
