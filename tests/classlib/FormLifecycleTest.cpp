// Forms and the application object: creation, the error and message boxes,
// modal loops, closing, releasing and screenshots.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QTimer>
#include <QWindow>
#include <qpa/qplatformwindow.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "classlib/Accessibility.h"
#include "classlib/BasicControls.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "classlib/Gauges.h"
#include "classlib/ListView.h"
#include "classlib/Panels.h"
#include "platform/Hooks.h"
#include "platform/Messages.h"
#include "support/ControlWindows.h"
#include "support/Loop.h"
#include "support/TempDir.h"
#include "support/UserClick.h"

namespace {

struct Boxes : ::testing::Test {
    void SetUp() override
    {
        GetHooks().errorBox = [this](const std::string& m) { errors.push_back(m); };
        GetHooks().messageBox = [this](const MessageBoxCall& c) {
            messages.push_back(c);
            return IDYES;
        };
    }
    void TearDown() override
    {
        Application->Reset();
        ResetHooks();
    }
    std::vector<std::string> errors;
    std::vector<MessageBoxCall> messages;
};

// A form whose constructor builds its components, the way the system's forms are made.
class TSampleForm : public TForm {
public:
    explicit TSampleForm(TComponent* owner) : TForm(owner)
    {
        Name = "SampleForm";
        SetCaption("Sample");
        Button1 = new TButton(this);
        Button1->Name = "Button1";
        Button1->SetParent(this);
        Button1->SetCaption("OK");
        OnCreate = [this](TObject*) { FormCreate(); };
    }
    void FormCreate()
    {
        created = true;
        sawButton = Button1 != nullptr;
        if (failCreate)
            throw EConvertError("'x' is not a valid integer value");
        afterThrow = true;
    }
    TButton* Button1 = nullptr;
    bool created = false;
    bool sawButton = false;
    bool afterThrow = false;
    static inline bool failCreate = false;
};

TEST_F(Boxes, CreateFormRunsOnCreateAfterTheConstructorAndShowsItsException)
{
    TSampleForm* form = nullptr;
    TSampleForm::failCreate = true;
    Application->CreateForm(form);
    TSampleForm::failCreate = false;
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->created);
    EXPECT_TRUE(form->sawButton);
    EXPECT_FALSE(form->afterThrow);
    EXPECT_EQ(Application->MainForm(), form);  // still created
    ASSERT_EQ(errors.size(), 1u);
    // The error box ends the message with a period, as the class library does.
    EXPECT_EQ(errors[0], "'x' is not a valid integer value.");

    TSampleForm* second = nullptr;
    Application->CreateForm(second);
    EXPECT_EQ(Application->MainForm(), form);
    EXPECT_EQ(Screen->FormCount() >= 2, true);
}

TEST_F(Boxes, MessagesAndHandlerExceptionsGoThroughTheHooks)
{
    EXPECT_EQ(Application->MessageBox("You have not selected an item to Delete", "No Item", MB_ICONEXCLAMATION), IDYES);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "No Item");
    EXPECT_EQ(messages[0].flags, MB_ICONEXCLAMATION);

    Application->ShowException(nullptr);
    Exception ending("Ends with a period.");
    Application->ShowException(&ending);
    Exception empty("");
    Application->ShowException(&empty);
    EXPECT_EQ(errors, (std::vector<std::string>{"Unknown exception.", "Ends with a period.", ""}));

    // An exception escaping a click handler reaches the error box, not the toolkit.
    errors.clear();
    auto* form = new TForm(Application);
    auto* button = new TButton(form);
    button->SetParent(form);
    button->OnClick = [](TObject*) { throw EInOutError("Disk full"); };
    form->Show();
    ASSERT_TRUE(RunUntil([&] { return button->Showing(); }));
    ClickAt(button, 10, 10);
    EXPECT_EQ(errors, std::vector<std::string>{"Disk full."});
    delete form;
}

TEST_F(Boxes, ShowModalRunsUntilAResultAndCloseEndsWithCancel)
{
    auto* dialog = new TForm(Application);
    auto* ok = new TButton(dialog);
    ok->SetParent(dialog);
    ok->SetModalResult(mrOk);
    std::vector<std::string> events;
    dialog->OnShow = [&](TObject*) { events.push_back("show"); };
    dialog->OnClose = [&](TObject*, TCloseAction& action) {
        events.push_back("close");
        EXPECT_EQ(action, caHide);
    };
    const HWND poster = AllocateHWnd([&](TMessage& m) {
        if (m.Msg == WM_USER + 1)
            ok->Click();
        else if (m.Msg == WM_USER + 2)
            dialog->Close();
    });
    PostMessage(poster, WM_USER + 1, 0, 0);
    EXPECT_EQ(dialog->ShowModal(), mrOk);
    EXPECT_FALSE(dialog->Visible());
    PostMessage(poster, WM_USER + 2, 0, 0);
    EXPECT_EQ(dialog->ShowModal(), mrCancel);
    EXPECT_EQ(events, (std::vector<std::string>{"show", "close", "show", "close"}));

    // OnCloseQuery can keep the modal form open.
    int asked = 0;
    dialog->OnCloseQuery = [&](TObject*, bool& canClose) {
        canClose = ++asked > 1;
        if (!canClose)
            PostMessage(poster, WM_USER + 2, 0, 0);  // and the user tries again
    };
    PostMessage(poster, WM_USER + 2, 0, 0);
    EXPECT_EQ(dialog->ShowModal(), mrCancel);
    EXPECT_EQ(asked, 2);
    DeallocateHWnd(poster);
    delete dialog;
}

TEST_F(Boxes, ClosingAFormHidesOrFreesItAndTheMainFormEndsTheProgram)
{
    TSampleForm* main = nullptr;
    Application->CreateForm(main);
    auto* other = new TForm(Application);
    other->Show();
    other->Close();
    EXPECT_FALSE(other->Visible());

    bool destroyed = false;
    other->OnDestroy = [&](TObject*) { destroyed = true; };
    other->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
    const int before = Screen->FormCount();
    other->Show();
    other->Close();
    EXPECT_EQ(Screen->FormCount(), before);  // freed later, not inside its own handler
    ASSERT_TRUE(RunUntil([&] { return Screen->FormCount() == before - 1; }));
    EXPECT_TRUE(destroyed);

    main->OnClose = [](TObject*, TCloseAction& action) { action = caNone; };
    main->Show();
    main->Close();
    EXPECT_FALSE(Application->Terminated());
    main->OnClose = nullptr;
    main->Close();
    EXPECT_TRUE(Application->Terminated());
}

TEST_F(Boxes, ScreenshotsOfAFormAreWrittenAsPng)
{
    TempDir dir;
    auto* form = new TForm(Application);
    form->SetCaption("Please wait while database loads");
    form->SetBorderStyle(bsToolWindow);
    form->SetBounds(0, 0, 350, 85);
    form->SetPosition(poScreenCenter);
    auto* label = new TLabel(form);
    label->SetParent(form);
    label->SetBounds(10, 10, 100, 13);
    label->SetCaption("Engine: ");
    auto* gauge = new TGauge(form);
    gauge->SetParent(form);
    gauge->SetHeight(16);
    gauge->SetAlign(alBottom);
    gauge->SetForeColor(clNavy);
    gauge->SetProgress(40);
    form->Show();
    EXPECT_EQ(form->Left(), (Screen->Width() - 350) / 2);
    const std::string path = dir.File("wait.png");
    ASSERT_TRUE(SaveFormScreenshot(form, path));
    QImage shot(QString::fromStdString(path));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.width(), form->ClientWidth());
    EXPECT_EQ(shot.height(), form->ClientHeight());
    // The gauge's bar is at the bottom, in navy.
    const QColor bar = shot.pixelColor(10, shot.height() - 8);
    EXPECT_EQ(bar, QColor(0, 0, 128));
    EXPECT_FALSE(SaveFormScreenshot(form, dir.File("no/such/folder/x.png")));
    delete form;
}

// Records the caption a label showed at each of its paints.
class TLabelPaints : public QObject {
public:
    explicit TLabelPaints(TLabel& label) : FLabel(label) { WindowOf(&label)->installEventFilter(this); }
    std::vector<CodePageString> Shown;
    bool Showed(const CodePageString& caption) const { return !Shown.empty() && Shown.back() == caption; }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            Shown.push_back(FLabel.Caption());
        return false;
    }

private:
    TLabel& FLabel;
};

// A window changed again within a frame of its last paint is painted once
// the frame is over, with what it shows last; a repaint asked for now, and
// a job letting messages through, are not held. The clock stands still, so
// every paint after the first falls within the frame.
TEST_F(Boxes, PaintsWithinAFrameAreHeldButNeverLost)
{
    GetHooks().tickCount = [] { return 5000u; };
    auto* form = new TForm(Application);
    form->SetBounds(0, 0, 200, 60);
    auto* label = new TLabel(form);
    label->SetParent(form);
    label->SetBounds(10, 10, 100, 13);
    label->SetCaption("a");
    TLabelPaints paints(*label);
    form->Show();
    ASSERT_TRUE(RunUntil([&] { return paints.Showed("a"); }));

    for (const char* caption : {"b", "c", "d"}) {
        label->SetCaption(caption);
        QCoreApplication::sendPostedEvents();  // the paint request, no timers
    }
    EXPECT_FALSE(paints.Showed("d"));
    EXPECT_TRUE(RunUntil([&] { return paints.Showed("d"); }));
    const std::size_t afterHeld = paints.Shown.size();

    label->SetCaption("e");
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(paints.Showed("e"));
    label->Repaint();
    EXPECT_TRUE(paints.Showed("e"));

    label->SetCaption("f");
    QCoreApplication::sendPostedEvents();
    Application->ProcessMessages();
    EXPECT_TRUE(paints.Showed("f"));
    // "b" and "c" were never painted: the held paint showed "d" alone.
    EXPECT_EQ(std::count(paints.Shown.begin(), paints.Shown.begin() + afterHeld, "b"), 0);
    delete form;
}

// The title a window system shows for a window: its caption as the platform
// formats it (the X11 platform passes every title through this).
struct TPlatformTitle : QPlatformWindow {
    using QPlatformWindow::formatWindowTitle;
};
std::string ShownTitle(const QWidget* widget)
{
    const QWindow* window = widget->windowHandle();
    if (!window)
        return "(no window)";
    return TPlatformTitle::formatWindowTitle(window->title(), QString::fromUtf8(" \u2014 ")).toStdString();
}

// The shown title of the next message box to open; the box is then closed.
std::string NextBoxTitle(const std::function<void()>& open)
{
    std::string title = "(no box)";
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                title = ShownTitle(box);
                box->reject();
                poll.stop();
                return;
            }
    });
    poll.start();
    open();
    return title;
}

TEST(ApplicationTitle, WindowsAndBoxesShowExactlyTheirOwnCaption)
{
    ResetHooks();
    // An earlier test may have ended the application outside its loop, which
    // leaves the toolkit's loops (the boxes' too) quitting at once; one round
    // of the application loop clears that.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    const CodePageString saved = Application->Title();
    Application->SetTitle("Tenvarel v1.0");

    TForm form(nullptr);
    form.SetCaption("Proxy Settings");
    form.Show();
    ASSERT_TRUE(RunUntil([&] { return WindowOf(&form)->windowHandle() != nullptr; }));
    EXPECT_EQ(ShownTitle(WindowOf(&form)), "Proxy Settings");
    form.SetCaption("Tenvarel v1.0");
    EXPECT_EQ(ShownTitle(WindowOf(&form)), "Tenvarel v1.0");

    EXPECT_EQ(NextBoxTitle([] { ShowMessageBox("Session names cannot hold \\", "Invalid Session Name", MB_OK); }),
              "Invalid Session Name");
    EXPECT_EQ(NextBoxTitle([] { ShowMessage("Your Submission has been stopped"); }), "Tenvarel v1.0");
    // The error box goes under the application's title.
    const Exception error("Cannot create file wkt.ini");
    EXPECT_EQ(NextBoxTitle([&] { Application->ShowException(&error); }), "Tenvarel v1.0");

    Application->SetTitle(saved);
}

}  // namespace
