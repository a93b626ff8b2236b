// The image button: which picture shows as the mouse moves and presses.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QWidget>

#include "classlib/Forms.h"
#include "controls/ImgBtn.h"

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
    void Enter()
    {
        QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(button->Widget(), &event);
    }
    void Leave()
    {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(button->Widget(), &event);
    }
    void Mouse(QEvent::Type type, int x, int y)
    {
        const QPointF p(x, y);
        QMouseEvent event(type, p, p, Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(button->Widget(), &event);
    }

    TForm* form = nullptr;
    TImgBtn* button = nullptr;
    std::vector<AnsiString> events;
};

TEST_F(ButtonFixture, SwapsPicturesAndClicksOnRelease)
{
    EXPECT_EQ(Shown(), 1);
    Enter();
    EXPECT_EQ(Shown(), 3);
    Mouse(QEvent::MouseButtonPress, 7, 8);
    EXPECT_EQ(Shown(), 2);
    EXPECT_TRUE(button->Pressed());
    Mouse(QEvent::MouseButtonRelease, 7, 8);
    EXPECT_EQ(Shown(), 3);
    Leave();
    EXPECT_EQ(Shown(), 1);
    EXPECT_EQ(events, (std::vector<AnsiString>{"enter 45075", "down 7,8", "click", "up 514", "leave 45076"}));
}

TEST_F(ButtonFixture, UnsupportedNeverSwapsNorFires)
{
    button->SetSupported(false);
    Enter();
    Mouse(QEvent::MouseButtonPress, 7, 8);
    EXPECT_EQ(Shown(), 1);
    Mouse(QEvent::MouseButtonRelease, 7, 8);
    Leave();
    EXPECT_EQ(Shown(), 1);
    EXPECT_EQ(events, std::vector<AnsiString>{"click"});  // the click is the image's own
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

}  // namespace
