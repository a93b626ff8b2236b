// Texts the program sets on edits, memos and labels: the control tells the
// new text (and an edit its change) at once, while the window takes the latest text only once,
// before anything paints it, types into it or reads it.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QEventLoop>
#include <QTimer>
#include <QApplication>
#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <functional>
#include <memory>

#include "classlib/Accessibility.h"
#include "classlib/BasicControls.h"
#include "classlib/Forms.h"
#include "platform/QtText.h"
#include "support/ControlWindows.h"
#include "support/Loop.h"

namespace {

// What a window holds, read the way the toolkit itself reads it, behind the
// class library's back.
CodePageString HeldText(QWidget* window)
{
    if (auto* edit = qobject_cast<QLineEdit*>(window))
        return FromQString(edit->text());
    CodePageString text = FromQString(static_cast<QPlainTextEdit*>(window)->toPlainText());
    for (std::size_t at = 0; (at = text.find('\n', at)) != CodePageString::npos; at += 2)
        text.replace(at, 1, "\r\n");
    return text;
}

// Runs work inside the message loop, where texts are kept back.
void InLoop(const std::function<void()>& work)
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        work();
        loop.quit();
    });
    loop.exec();
}

struct TextFixture : ::testing::Test {
    void SetUp() override
    {
        form = new TForm(Application);
        form->SetBounds(10, 10, 400, 300);
        edit = new TEdit(form);
        edit->Name = "title";
        edit->SetParent(form);
        memo = new TMemo(form);
        memo->Name = "Description";
        memo->SetParent(form);
        memo->SetTop(40);
        form->Show();
        RunPendingEvents();
    }
    void TearDown() override { delete form; }

    TForm* form = nullptr;
    TEdit* edit = nullptr;
    TMemo* memo = nullptr;
};

// Every way of reading or showing a window, each of which finds the latest
// text in it; a text set three times reaches the window once.
TEST_F(TextFixture, TheLatestTextIsInTheWindowWheneverAnythingReadsIt)
{
    struct Read {
        const char* what;
        std::function<void(TCustomEdit&, QWidget*)> read;
        CodePageString typed;  // what the read itself puts before the text
    };
    const Read reads[] = {
        {"the control's window", [](TCustomEdit& c, QWidget*) { (void)WindowOf(&c); }, ""},
        {"the form's window", [this](TCustomEdit&, QWidget*) { (void)WindowOf(form); }, ""},
        {"the accessible tree", [this](TCustomEdit&, QWidget*) { (void)WalkAccessibleTree(form); }, ""},
        {"the accessible text", [](TCustomEdit& c, QWidget*) { (void)AccessibleTextOf(&c); }, ""},
        {"a paint", [](TCustomEdit&, QWidget* w) { w->window()->repaint(); }, ""},
        {"a picture of the window", [](TCustomEdit&, QWidget* w) { (void)w->window()->grab().toImage(); }, ""},
        {"the focus coming",
         [](TCustomEdit&, QWidget* w) {
             QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
             QCoreApplication::sendEvent(w, &in);
         },
         ""},
        {"a key typed",
         [](TCustomEdit&, QWidget* w) {
             QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
             QCoreApplication::sendEvent(w, &press);
         },
         "x"},
        {"the caret", [](TCustomEdit& c, QWidget*) { EXPECT_EQ(c.SelStart(), 0); }, ""},
        {"the selection",
         [](TCustomEdit& c, QWidget*) {
             c.SelectAll();
             (void)c.SelText();
         },
         ""},
        {"a turn of the message loop that paints",
         [](TCustomEdit& c, QWidget* w) {
             const CodePageString text = c.Text();
             EXPECT_TRUE(RunUntil([&] { return HeldText(w) == text; }));
         },
         ""},
    };
    TCustomEdit* const controls[] = {edit, memo};
    for (TCustomEdit* control : controls) {
        QWidget* window = WindowOf(control);
        int windowSets = 0;
        auto counter = std::make_unique<QObject>();
        if (auto* line = qobject_cast<QLineEdit*>(window))
            QObject::connect(line, &QLineEdit::textChanged, counter.get(), [&] { ++windowSets; });
        else
            QObject::connect(static_cast<QPlainTextEdit*>(window), &QPlainTextEdit::textChanged, counter.get(),
                             [&] { ++windowSets; });
        for (const Read& r : reads) InLoop([&] {
            SCOPED_TRACE(std::string(control->Name) + ", " + r.what);
            control->SetText("before");
            (void)WindowOf(control);
            int changes = 0;
            CodePageString seen;
            control->OnChange = [&](TObject*) {
                ++changes;
                seen = control->Text();
            };
            windowSets = 0;
            for (const char* text : {"one", "two", "page 12"}) {
                control->SetText(text);
                EXPECT_EQ(seen, text);  // the change handler reads the new text
                EXPECT_EQ(control->Text(), text);
            }
            EXPECT_EQ(changes, 3);
            if (!QAccessible::isActive()) {
                EXPECT_EQ(HeldText(window), "before");
                EXPECT_EQ(windowSets, 0);
            }
            r.read(*control, window);
            EXPECT_EQ(HeldText(window), r.typed + "page 12");
            EXPECT_EQ(windowSets, r.typed.empty() ? 1 : 2);
            EXPECT_EQ(control->Text(), r.typed + "page 12");
            EXPECT_EQ(changes, r.typed.empty() ? 3 : 4);  // a key typed is the user's change
            control->OnChange = nullptr;
        });
    }
}

// What Text() gives for a text kept back is what the window gives once it
// holds it, for every byte, every line break and the edits' case and length
// rules; the change notice comes at once, once for each change the window
// would report.
TEST_F(TextFixture, ATextKeptBackReadsAsTheWindowWillHoldIt)
{
    CodePageString everyByte;
    for (int b = 1; b < 256; ++b)
        everyByte.push_back(static_cast<char>(b));
    const CodePageString texts[] = {
        "",
        "page, number 12, site",
        everyByte,
        "a\r\nb\rc\nd\r\n\r\n",
        "no\xA0" "break\xA0",
        "caf\xE9 \x80 \x81\x8D\x8F\x90\x9D",
    };
    struct Setup {
        const char* what;
        TCustomEdit* control;
        std::function<void()> prepare;
    };
    const Setup setups[] = {
        {"an edit", edit, [this] {
             edit->SetMaxLength(0);
             edit->SetCharCase(ecNormal);
         }},
        {"an edit in capitals", edit, [this] {
             edit->SetMaxLength(0);
             edit->SetCharCase(ecUpperCase);
         }},
        {"an edit in small letters", edit, [this] {
             edit->SetMaxLength(0);
             edit->SetCharCase(ecLowerCase);
         }},
        {"an edit of 7 characters", edit, [this] {
             edit->SetCharCase(ecNormal);
             edit->SetMaxLength(7);
         }},
        {"a memo", memo, [] {}},
    };
    for (const Setup& s : setups) {
        s.prepare();
        for (const CodePageString& text : texts) InLoop([&] {
            SCOPED_TRACE(std::string(s.what) + ", text of " + std::to_string(text.size()) + " bytes");
            s.control->SetText("x");
            (void)WindowOf(s.control);
            int changes = 0;
            s.control->OnChange = [&](TObject*) { ++changes; };
            s.control->SetText(text);
            const CodePageString kept = s.control->Text();
            EXPECT_EQ(changes, kept == "x" && s.control == edit ? 0 : 1);
            (void)WindowOf(s.control);
            EXPECT_EQ(s.control->Text(), kept);
            EXPECT_EQ(HeldText(WindowOf(s.control)), kept);

            // The same text again: an edit reports nothing, a memo its set.
            changes = 0;
            s.control->SetText(text);
            s.control->SetText(text);
            EXPECT_EQ(changes, s.control == edit ? 0 : 2);
            EXPECT_EQ(s.control->Text(), kept);
            (void)WindowOf(s.control);
            EXPECT_EQ(HeldText(WindowOf(s.control)), kept);
            s.control->OnChange = nullptr;
        });
    }
}

// A label's caption: the control and assistive technology read it at once,
// the window holds the latest whenever anything reads it, and an auto-sized
// label has the size and place the caption gives it whenever they are read.
TEST_F(TextFixture, ALabelsCaptionIsMeasuredAndInItsWindowWheneverAnythingReadsIt)
{
    auto* label = new TLabel(form);
    label->SetParent(form);
    label->SetTop(100);
    auto* rightLabel = new TLabel(form);
    rightLabel->SetParent(form);
    rightLabel->SetTop(130);
    rightLabel->SetAlignment(taRightJustify);
    const CodePageString latest = "Extracting Urls..128";
    // The same captions set outside the loop, where they go in at once.
    label->SetCaption(latest);
    const TRect measured = label->BoundsRect();
    auto* window = static_cast<QLabel*>(WindowOf(label));
    const QRect measuredWindow = window->geometry();
    rightLabel->SetBounds(100, 130, 50, 13);
    rightLabel->SetCaption(latest);
    const TRect measuredRight = rightLabel->BoundsRect();
    auto* rightWindow = static_cast<QLabel*>(WindowOf(rightLabel));
    const QRect measuredRightWindow = rightWindow->geometry();
    ASSERT_GT(measured.Width(), 60);

    struct Read {
        const char* what;
        std::function<void(TLabel&, QWidget*)> read;
    };
    const Read reads[] = {
        {"the control's window", [](TLabel& l, QWidget*) { (void)WindowOf(&l); }},
        {"the form's window", [this](TLabel&, QWidget*) { (void)WindowOf(form); }},
        {"the accessible tree", [this](TLabel&, QWidget*) { (void)WalkAccessibleTree(form); }},
        {"a paint", [](TLabel&, QWidget* w) { w->window()->repaint(); }},
        {"a picture of the window", [](TLabel&, QWidget* w) { (void)w->window()->grab().toImage(); }},
        {"its width", [](TLabel& l, QWidget*) { (void)l.Width(); }},
        {"its place", [](TLabel& l, QWidget*) { (void)l.Left(); }},
        {"its bounds", [](TLabel& l, QWidget*) { (void)l.BoundsRect(); }},
        {"its drawing area", [](TLabel& l, QWidget*) { (void)l.ClientRect(); }},
        {"a turn of the message loop that paints",
         [latest](TLabel&, QWidget* w) {
             EXPECT_TRUE(RunUntil([&] { return FromQString(static_cast<QLabel*>(w)->text()) == latest; }));
         }},
    };
    struct Case {
        TLabel* control;
        QLabel* window;
        TRect start;
        TRect want;
        QRect wantWindow;
    };
    const Case cases[] = {{label, window, Bounds(0, 100, 20, 13), measured, measuredWindow},
                          {rightLabel, rightWindow, Bounds(100, 130, 50, 13), measuredRight, measuredRightWindow}};
    for (const Case& c : cases)
        for (const Read& r : reads) InLoop([&] {
            SCOPED_TRACE(std::string(c.control == label ? "a label, " : "a right-aligned label, ") + r.what);
            c.control->SetCaption("before");
            c.control->SetBoundsRect(c.start);
            c.control->SetCaption("x");
            (void)c.control->Width();
            for (const char* text : {"one", "two", "Extracting Urls..128"}) {
                c.control->SetCaption(text);
                EXPECT_EQ(c.control->Caption(), text);
                EXPECT_EQ(c.control->AccessibleName(), text);
            }
            if (!QAccessible::isActive()) {
                EXPECT_EQ(FromQString(c.window->text()), "x");
            }
            r.read(*c.control, c.window);
            EXPECT_EQ(FromQString(c.window->text()), latest);
            EXPECT_EQ(c.window->geometry(), c.wantWindow);
            EXPECT_EQ(c.control->BoundsRect(), c.want);
        });
}

// Outside the message loop a text goes in at once; inside it, a control may
// go while its text is kept back, and assistive technology that starts
// listening finds every text in its window.
TEST_F(TextFixture, TextsKeptBackGoWithTheirControlAndInWhenAccessibilityStarts)
{
    QWidget* window = WindowOf(memo);
    memo->SetText("at once");
    EXPECT_EQ(HeldText(window), "at once");

    InLoop([&] {
        edit->SetText("gone");
        delete edit;
        edit = nullptr;
        (void)WindowOf(form);  // puts in whatever else is kept back

        memo->SetText("heard");
        ASSERT_FALSE(QAccessible::isActive());
        EXPECT_EQ(HeldText(window), "at once");
        QAccessible::setActive(true);
        EXPECT_EQ(HeldText(window), "heard");
        QAccessible::setActive(false);
    });
}

}  // namespace
