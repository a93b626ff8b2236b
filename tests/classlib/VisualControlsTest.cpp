// Standard controls on a form: layout, events, lists, pages and self-drawn controls.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QWidget>

#include <functional>

#include "classlib/Accessibility.h"
#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/FileListBox.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "classlib/Gauges.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/Panels.h"
#include "classlib/ProgressBar.h"
#include "classlib/TabbedNotebook.h"
#include "support/ControlWindows.h"
#include "support/FixedCanvas.h"
#include "support/Loop.h"
#include "support/Screen.h"
#include "support/TempDir.h"
#include "support/UserClick.h"

namespace {

struct FormFixture : ::testing::Test {
    void SetUp() override
    {
        form = new TForm(Application);
        form->SetBounds(10, 10, 400, 300);
    }
    void TearDown() override { delete form; }

    template <class T>
    T* Make(const char* name, TWinControl* parent = nullptr)
    {
        auto* c = new T(form);
        c->Name = name;
        c->SetParent(parent ? parent : form);
        return c;
    }

    TForm* form = nullptr;
};

TEST_F(FormFixture, AlignedChildrenShareTheClientAreaInAlignOrder)
{
    auto* top = Make<TPanel>("Top");
    top->SetHeight(30);
    top->SetAlign(alTop);
    auto* bottom = Make<TPanel>("Bottom");
    bottom->SetHeight(16);
    bottom->SetAlign(alBottom);
    auto* left = Make<TPanel>("Left");
    left->SetWidth(50);
    left->SetAlign(alLeft);
    auto* client = Make<TPanel>("Client");
    client->SetAlign(alClient);

    const int cw = form->ClientWidth(), ch = form->ClientHeight();
    EXPECT_EQ(cw, 400 - 8);       // sizeable frame: 4 pixels each side
    EXPECT_EQ(ch, 300 - 19 - 8);  // and the caption
    EXPECT_EQ(top->BoundsRect(), Rect(0, 0, cw, 30));
    EXPECT_EQ(bottom->BoundsRect(), Rect(0, ch - 16, cw, ch));
    EXPECT_EQ(left->BoundsRect(), Rect(0, 30, 50, ch - 16));
    EXPECT_EQ(client->BoundsRect(), Rect(50, 30, cw, ch - 16));

    // A menu takes its height from the client area, and everything follows.
    auto* menu = new TMainMenu(form);
    auto* file = new TMenuItem(form);
    file->SetCaption("&Projects");
    menu->Items()->Add(file);
    form->SetMenu(menu);
    EXPECT_EQ(form->ClientHeight(), ch - form->MenuHeight());
    EXPECT_EQ(bottom->Top(), form->ClientHeight() - 16);

    form->SetBounds(10, 10, 500, 300);
    EXPECT_EQ(client->Width(), 500 - 8 - 50);
    bottom->SetVisible(false);
    EXPECT_EQ(left->Height(), form->ClientHeight() - 30);
}

TEST_F(FormFixture, EditsAndMemosReportTextChangesAndKeepBytes)
{
    auto* edit = Make<TEdit>("urllist");
    int changes = 0;
    edit->OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, edit);
        ++changes;
    };
    edit->SetText("caf\xE9 \x80");
    EXPECT_EQ(edit->Text(), "caf\xE9 \x80");
    EXPECT_EQ(changes, 1);

    auto* memo = Make<TMemo>("Viewer");
    memo->Lines()->Add("<HEAD>");
    memo->Lines()->Add("<TITLE>x</TITLE>");
    EXPECT_EQ(memo->Lines()->Count(), 2);
    EXPECT_EQ(memo->Text(), "<HEAD>\r\n<TITLE>x</TITLE>");
    EXPECT_EQ(memo->Lines()->Text(), "<HEAD>\r\n<TITLE>x</TITLE>\r\n");
    memo->Lines()->SetStrings(0, "<head>");
    memo->Lines()->Delete(1);
    EXPECT_EQ(memo->Text(), "<head>");
    memo->SetText("a\r\nb\r\n");
    EXPECT_EQ(memo->Lines()->Count(), 2);  // a final line break starts no line
    memo->Lines()->Clear();
    EXPECT_EQ(memo->Lines()->Count(), 0);
}

// Each operation of a memo's lines gives the text the whole-list operation
// would: lines joined by CR LF, no line after a final break.
TEST_F(FormFixture, MemoLinesReadAndChangeAsAListOfLines)
{
    auto* memo = Make<TMemo>("Memo2");
    struct Case {
        const char* what;
        CodePageString before;
        std::function<void(TStrings&)> change;
        CodePageString after;
    };
    const Case cases[] = {
        {"add to nothing", "", [](TStrings& l) { l.Add("a"); }, "a"},
        {"add after a final break", "a\r\n", [](TStrings& l) { l.Add("b"); }, "a\r\nb"},
        {"add a text of two lines", "a", [](TStrings& l) { l.Add("b\r\nc"); }, "a\r\nb\r\nc"},
        {"insert between", "a\r\nb", [](TStrings& l) { l.Insert(1, "x"); }, "a\r\nx\r\nb"},
        {"insert first", "a", [](TStrings& l) { l.Insert(0, "x"); }, "x\r\na"},
        {"insert at the end", "a\r\nb", [](TStrings& l) { l.Insert(2, "c"); }, "a\r\nb\r\nc"},
        {"put", "a\r\nbb\r\nc", [](TStrings& l) { l.SetStrings(1, "z"); }, "a\r\nz\r\nc"},
        {"delete the first", "a\r\nb", [](TStrings& l) { l.Delete(0); }, "b"},
        {"delete the last", "a\r\nb", [](TStrings& l) { l.Delete(1); }, "a"},
        {"delete the last before a final break", "a\r\nb\r\n", [](TStrings& l) { l.Delete(1); }, "a"},
        {"delete the only one", "a", [](TStrings& l) { l.Delete(0); }, ""},
        {"delete an empty line", "a\r\n\r\nb", [](TStrings& l) { l.Delete(1); }, "a\r\nb"},
        {"add many at once", "a", [](TStrings& l) { l.AddStrings(std::vector<CodePageString>{"b", "", "c"}); },
         "a\r\nb\r\n\r\nc"},
        {"clear", "a\r\nb", [](TStrings& l) { l.Clear(); }, ""},
    };
    for (const Case& c : cases) {
        memo->SetText(c.before);
        c.change(*memo->Lines());
        EXPECT_EQ(memo->Text(), c.after) << c.what;
    }

    memo->SetText("caf\xE9\r\n\r\nx\xA0y\r\n");
    TStrings& lines = *memo->Lines();
    ASSERT_EQ(lines.Count(), 3);
    EXPECT_EQ(lines.Strings(0), "caf\xE9");
    EXPECT_EQ(lines.Strings(1), "");
    EXPECT_EQ(lines.Strings(2), memo->Text().substr(8, 3));  // as the memo's text reads it
    EXPECT_THROW(lines.Strings(3), EStringListError);
    EXPECT_THROW(lines.Strings(-1), EStringListError);
    EXPECT_THROW(lines.Insert(4, "x"), EStringListError);
    EXPECT_THROW(lines.Delete(3), EStringListError);
    EXPECT_EQ(lines.Count(), 3);
}

// A line the program adds, inserts or changes is written where it goes: the
// user's caret, selection and scroll position stay on the text they were on,
// the modified mark is left alone, and each change is reported once.
TEST_F(FormFixture, MemoLinesChangeInPlaceAndLeaveTheUserWhereTheyWere)
{
    auto* memo = Make<TMemo>("Memo2");
    memo->SetBounds(8, 8, 160, 60);
    memo->SetScrollBars(ssBoth);
    memo->SetWordWrap(false);
    form->Show();
    auto* area = qobject_cast<QAbstractScrollArea*>(WindowOf(memo));
    ASSERT_NE(area, nullptr);
    std::vector<CodePageString> start;
    for (int i = 0; i < 40; ++i)
        start.push_back("line " + IntToStr(i));
    memo->Lines()->AddStrings(start);
    memo->SetSelStart(30);
    memo->SetSelLength(12);
    static_cast<QPlainTextEdit*>(area)->insertPlainText("typed");  // the user types over the selection
    const CodePageString typed = memo->Text();
    memo->SetSelStart(30);
    memo->SetSelLength(5);
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum() / 2);
    const int scrolled = area->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    int changes = 0;
    memo->OnChange = [&](TObject*) { ++changes; };

    TStrings& lines = *memo->Lines();
    lines.Add("added");
    EXPECT_EQ(memo->Text(), typed + "\r\nadded");
    EXPECT_EQ(memo->SelStart(), 30);
    EXPECT_EQ(memo->SelLength(), 5);
    EXPECT_EQ(area->verticalScrollBar()->value(), scrolled);
    lines.Insert(0, "first");  // before the selection: the selection moves with its text
    EXPECT_EQ(memo->SelStart(), 30 + 7);
    EXPECT_EQ(memo->SelText(), "typed");
    lines.SetStrings(lines.Count() - 1, "LAST");
    lines.Delete(0);
    EXPECT_EQ(memo->SelStart(), 30);
    EXPECT_EQ(memo->SelText(), "typed");
    EXPECT_EQ(lines.Strings(lines.Count() - 1), "LAST");
    EXPECT_EQ(changes, 4);
    EXPECT_TRUE(memo->Modified());  // the user's typing, not the program's lines
}

// A text the program sets replaces what the memo held, whatever the user did
// there: it shows from its top left corner with the cursor before its first
// character, reports one change (seeing the new text and cursor), leaves the
// modified mark alone, drops the undo history and is what accessibility reads.
TEST_F(FormFixture, MemosShowASetTextFromTheStartAndReportOneChange)
{
    auto* memo = Make<TMemo>("Description");
    memo->SetBounds(8, 8, 160, 60);
    memo->SetScrollBars(ssBoth);
    memo->SetWordWrap(false);
    form->Show();
    auto* area = qobject_cast<QAbstractScrollArea*>(WindowOf(memo));
    ASSERT_NE(area, nullptr);

    CodePageString longText;
    for (int i = 0; i < 40; ++i)
        longText += (i ? "\r\n" : "") + CodePageString(i % 2 ? "a line much wider than the memo that scrolls it sideways " : "line ") + IntToStr(i);
    int changes = 0;
    int selStartSeen = -1;
    CodePageString textSeen;
    memo->OnChange = [&](TObject*) {
        ++changes;
        textSeen = memo->Text();
        selStartSeen = memo->SelStart();
    };
    const CodePageString texts[] = {"", "About page 12", "About page 12", "page, number 12,\r\nsite", longText, "", ""};
    for (const CodePageString& text : texts) {
        SCOPED_TRACE("text \"" + text.substr(0, 20) + "\"");
        // The user was at work: a long text typed, scrolled to its end, a part selected.
        memo->SetText(longText);
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
        area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
        memo->SetSelStart(30);
        memo->SetSelLength(12);
        static_cast<QPlainTextEdit*>(area)->insertPlainText("typed");
        ASSERT_TRUE(memo->Modified());
        memo->SetModified(false);
        ASSERT_GT(area->verticalScrollBar()->value(), 0);
        ASSERT_GT(area->horizontalScrollBar()->value(), 0);

        changes = 0;
        memo->SetText(text);
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(textSeen, text);
        EXPECT_EQ(selStartSeen, 0);
        EXPECT_EQ(memo->Text(), text);
        EXPECT_EQ(memo->SelStart(), 0);
        EXPECT_EQ(memo->SelLength(), 0);
        EXPECT_EQ(memo->FirstVisibleLine(), 0);
        EXPECT_EQ(area->verticalScrollBar()->value(), 0);
        EXPECT_EQ(area->horizontalScrollBar()->value(), 0);
        EXPECT_FALSE(memo->Modified());
        EXPECT_FALSE(static_cast<QPlainTextEdit*>(area)->document()->isUndoAvailable());
        CodePageString shown = AccessibleTextOf(memo);
        for (std::size_t at = 0; (at = shown.find('\n', at)) != CodePageString::npos; at += 2)
            shown.replace(at, 1, "\r\n");
        EXPECT_EQ(shown, text);
    }

    // A change handler that sets the text again has the last word, and the
    // user's typing still counts as a change of the user's.
    memo->OnChange = [&](TObject*) {
        ++changes;
        if (memo->Text() == "lower")
            memo->SetText("UPPER");
    };
    changes = 0;
    memo->SetText("lower");
    EXPECT_EQ(memo->Text(), "UPPER");
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(memo->Modified());
    static_cast<QPlainTextEdit*>(area)->insertPlainText("x");
    EXPECT_EQ(memo->Text(), "xUPPER");
    EXPECT_EQ(changes, 3);
    EXPECT_TRUE(memo->Modified());
}

TEST_F(FormFixture, CheckBoxesAndRadioButtonsClickWhenTheirStateChanges)
{
    auto* box = Make<TCheckBox>("SpiderCK");
    int clicks = 0;
    box->OnClick = [&](TObject*) { ++clicks; };
    box->SetChecked(true);
    box->SetChecked(true);
    EXPECT_TRUE(box->Checked());
    EXPECT_EQ(clicks, 1);

    auto* on = Make<TRadioButton>("RadioButton2");
    auto* off = Make<TRadioButton>("RadioButton3");
    off->SetChecked(true);
    on->SetChecked(true);
    EXPECT_TRUE(on->Checked());
    EXPECT_FALSE(off->Checked());
    on->SetChecked(false);  // the class library lets every button of a group be off
    EXPECT_FALSE(on->Checked());
    EXPECT_FALSE(off->Checked());
}

TEST_F(FormFixture, ComboBoxesOfferTheirItemsAndTakeAnyText)
{
    auto* combo = Make<TComboBox>("catagory");
    for (const char* s : {"Miscellaneous", "Automotive", "Business", "Miscellaneous"})
        combo->Items()->Add(s);
    EXPECT_EQ(combo->Items()->Count(), 4);
    combo->SetText("Business");
    EXPECT_EQ(combo->ItemIndex(), 2);
    EXPECT_EQ(combo->Text(), "Business");
    combo->SetText("Something else");
    EXPECT_EQ(combo->ItemIndex(), -1);
    EXPECT_EQ(combo->Text(), "Something else");
    combo->SetItemIndex(1);
    EXPECT_EQ(combo->Text(), "Automotive");

    combo->SetStyle(csDropDownList);
    combo->SetText("Business");
    EXPECT_EQ(combo->ItemIndex(), 2);
    combo->SetText("not there");
    EXPECT_EQ(combo->Text(), "");
}

TEST_F(FormFixture, CheckListBoxStatesFollowTheirLinesWhenSorted)
{
    auto* list = Make<TCheckListBox>("SesList");
    list->Items()->Add("Zeta");
    list->Items()->Add("alpha");
    list->Items()->Add("Mid");
    list->SetChecked(0, true);  // Zeta
    list->SetSorted(true);
    ASSERT_EQ(list->Items()->Count(), 3);
    EXPECT_EQ(list->Items()->Strings(0), "alpha");
    EXPECT_EQ(list->Items()->Strings(2), "Zeta");
    EXPECT_TRUE(list->Checked(2));
    EXPECT_FALSE(list->Checked(0));
    EXPECT_EQ(list->Items()->Add("beta"), 1);  // sorted insertion
    EXPECT_TRUE(list->Checked(3));
    list->Items()->Delete(0);
    EXPECT_EQ(list->Items()->Strings(0), "beta");
    EXPECT_THROW(list->Checked(7), EListError);

    int clicks = 0;
    list->OnClick = [&](TObject*) { ++clicks; };
    list->SetItemIndex(1);
    EXPECT_EQ(list->ItemIndex(), 1);
    EXPECT_EQ(clicks, 0);  // only the user's choice clicks
}

// Lines added at once reach the window all together: every line in its
// place, the lines already there keep their check marks, and the shown
// window ends up painting them.
TEST_F(FormFixture, LinesAddedAtOnceShowInTheirPlacesWithTheirChecks)
{
    auto* list = Make<TCheckListBox>("SesList");
    list->SetBounds(8, 8, 120, 100);
    form->Show();
    list->Items()->Add("first");
    list->SetChecked(0, true);
    std::vector<CodePageString> added;
    for (int i = 0; i < 500; ++i)
        added.push_back("line " + IntToStr(i));
    list->Items()->AddStrings(added);
    auto* view = static_cast<QListWidget*>(WindowOf(list));
    ASSERT_EQ(view->count(), 501);
    EXPECT_EQ(view->item(0)->text(), "first");
    EXPECT_EQ(view->item(0)->checkState(), Qt::Checked);
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(view->item(i + 1)->text(), QString::fromLatin1(added[std::size_t(i)].c_str())) << i;
        EXPECT_EQ(view->item(i + 1)->checkState(), Qt::Unchecked) << i;
    }
    EXPECT_TRUE(view->updatesEnabled());
    list->SetChecked(300, true);
    EXPECT_EQ(view->item(300)->checkState(), Qt::Checked);
    Application->ProcessMessages();
    EXPECT_TRUE(RunUntil([&] { return ShowsItsLatestState(form); }));
}

// A list growing past its visible part repaints neither the lines in sight nor
// a scroll bar whose picture stays the same, and the screen still ends up
// showing every change.
TEST_F(FormFixture, AGrowingListRepaintsOnlyWhatChangesOnTheScreen)
{
    auto* list = Make<TCheckListBox>("SesList");
    list->SetBounds(8, 8, 120, 100);
    list->SetSorted(true);
    form->Show();
    auto* view = static_cast<QListWidget*>(WindowOf(list));
    TPaintCounter counter;
    const auto settle = [&] {
        Application->ProcessMessages();
        return RunUntil([&] { return counter.Unseen([&] { return ShowsItsLatestState(form); }); });
    };
    const auto viewportPaints = [&] { return counter.paints[view->viewport()]; };
    const auto barPaints = [&] { return counter.paints[view->verticalScrollBar()]; };

    for (int i = 0; i < 10; ++i)
        list->Items()->Add("b" + IntToStr(i));
    ASSERT_TRUE(settle());
    EXPECT_GT(viewportPaints(), 0);

    // Lines added below the last one in sight, one at a time.
    const int paints = viewportPaints();
    const int barBefore = barPaints();
    int barPictures = 0;
    const auto barPicture = [&] { return counter.Unseen([&] { return view->verticalScrollBar()->grab().toImage(); }); };
    QImage bar = barPicture();
    for (int i = 0; i < 60; ++i) {
        list->Items()->Add("c" + IntToStr(100 + i));
        ASSERT_TRUE(settle()) << "after c" << 100 + i;
        const QImage now = barPicture();
        barPictures += now != bar;
        bar = now;
    }
    EXPECT_EQ(viewportPaints(), paints);
    EXPECT_LE(barPaints() - barBefore, barPictures + 1);
    EXPECT_LT(barPictures, 30);

    // A check out of sight paints nothing; one in sight does.
    list->SetChecked(list->Items()->IndexOf("c150"), true);
    ASSERT_TRUE(settle());
    EXPECT_EQ(viewportPaints(), paints);
    list->SetChecked(1, true);
    ASSERT_TRUE(settle());
    EXPECT_GT(viewportPaints(), paints);

    // Everything else that changes what is in sight shows.
    struct TStep {
        const char* what;
        std::function<void()> run;
    };
    const TStep steps[] = {
        {"a line added at the top", [&] { list->Items()->Add("a0"); }},
        {"a line deleted out of sight", [&] { list->Items()->Delete(list->Items()->Count() - 1); }},
        {"a line deleted in sight", [&] { list->Items()->Delete(0); }},
        {"scrolled down", [&] { list->SetTopIndex(30); }},
        {"a line added after scrolling", [&] { list->Items()->Add("c1305"); }},
        {"a line added below after scrolling", [&] { list->Items()->Add("c900"); }},
        {"scrolled to the top", [&] { list->SetTopIndex(0); }},
        {"a line greyed", [&] { list->SetItemEnabled(2, false); }},
        {"a new font colour", [&] { list->Font()->SetColor(clRed); }},
        {"resized", [&] { list->SetBounds(8, 8, 150, 160); }},
        {"a line added below after resizing", [&] { list->Items()->Add("c99"); }},
        {"cleared", [&] { list->Items()->Clear(); }},
        {"a line added to an empty list", [&] { list->Items()->Add("z"); }},
    };
    for (const TStep& step : steps) {
        step.run();
        EXPECT_TRUE(settle()) << step.what;
    }
}

TEST_F(FormFixture, FileListBoxEntersItsFolderAndListsTheMatchingFiles)
{
    const CodePageString before = GetCurrentDir();
    TempDir dir;
    dir.Write("Shop12-9-2026.htm", "x");
    dir.Write("b.HTM", "x");
    dir.Write("notes.txt", "x");
    dir.Write("sub/inner.htm", "x");
    auto* files = Make<TFileListBox>("FileListBox1");
    files->SetMask("*.htm");
    files->SetDirectory(dir.Path());
    EXPECT_EQ(GetCurrentDir(), files->Directory());
    ASSERT_EQ(files->Items()->Count(), 2);
    EXPECT_EQ(files->Items()->Strings(0), "b.HTM");
    EXPECT_EQ(files->Items()->Strings(1), "Shop12-9-2026.htm");
    files->SetItemIndex(1);
    EXPECT_EQ(files->FileName(), files->Directory() + "/Shop12-9-2026.htm");

    dir.Write("new.htm", "x");
    files->Update();
    EXPECT_EQ(files->Items()->Count(), 3);

    const CodePageString inside = GetCurrentDir();
    EXPECT_THROW(files->SetDirectory(dir.File("missing")), EInOutError);
    EXPECT_EQ(GetCurrentDir(), inside);
    EXPECT_EQ(files->Items()->Count(), 3);
    SetCurrentDir(before);
}

TEST_F(FormFixture, NotebookPagesHoldControlsAndSwitchByIndex)
{
    auto* book = Make<TTabbedNotebook>("TabbedNotebook1");
    book->SetAlign(alClient);
    for (const char* page : {"Projects", "Submit", "Ranking", "Reports", "MetaTags", "Doorway Pages", "About"})
        book->Pages()->Add(page);
    ASSERT_EQ(book->PageCount(), 7);
    auto* label = Make<TLabel>("Label12", book->Page(3));
    label->SetCaption("Reporting feature is disabled");
    EXPECT_EQ(label->Parent(), book->Page(3));
    EXPECT_EQ(book->PageIndex(), 0);

    std::vector<int> asked;
    book->OnChange = [&](TObject*, int newTab, bool& allow) {
        asked.push_back(newTab);
        allow = newTab != 5;
    };
    book->SetPageIndex(6);
    EXPECT_EQ(book->PageIndex(), 6);
    EXPECT_EQ(book->ActivePage(), "About");
    book->SetPageIndex(5);  // refused
    EXPECT_EQ(book->PageIndex(), 6);
    EXPECT_EQ(asked, (std::vector<int>{6, 5}));

    auto* pages = Make<TPageControl>("PageControl2", book->Page(1));
    auto* sheet2 = new TTabSheet(form);
    sheet2->Name = "TabSheet2";
    sheet2->SetCaption("Auto Submit Engines");
    sheet2->SetPageControl(pages);
    auto* sheet3 = new TTabSheet(form);
    sheet3->Name = "TabSheet3";
    sheet3->SetCaption("Manual Engines");
    sheet3->SetPageControl(pages);
    EXPECT_EQ(pages->ActivePage(), sheet2);
    pages->SetActivePage(sheet3);
    EXPECT_EQ(pages->ActivePage(), sheet3);
    EXPECT_EQ(pages->PageCount(), 2);
    delete sheet2;
    EXPECT_EQ(pages->PageCount(), 1);
}

TEST_F(FormFixture, LabelsFitTheirCaption)
{
    auto* label = Make<TLabel>("Label1");
    label->SetLeft(10);
    label->SetCaption("Engine: ");
    auto canvas = label->Canvas();
    EXPECT_EQ(label->Width(), canvas->TextWidth("Engine: "));
    EXPECT_EQ(label->Height(), 13);
    label->SetCaption("&Save");
    EXPECT_EQ(label->Width(), canvas->TextWidth("Save"));
    EXPECT_EQ(label->Left(), 10);

    // Measured again for each font the caption is shown in, line by line; a
    // label that had the text and font before gets the same size.
    auto* twin = Make<TLabel>("Label2");
    const CodePageString caption = "Save the project";
    label->SetCaption(caption);
    twin->SetCaption(caption);
    TBitmap fresh(1, 1);
    TCanvas* measure = fresh.Canvas();
    using Change = void (*)(TFont&);
    for (Change change : {Change([](TFont& f) { f.SetStyle({fsBold}); }), Change([](TFont& f) { f.SetSize(14); }),
                          Change([](TFont& f) { f.SetName("Courier New"); })}) {
        const int before = label->Width();
        change(*label->Font());
        change(*twin->Font());
        measure->Font()->Assign(*label->Font());
        EXPECT_EQ(label->Width(), measure->TextWidth(caption));
        EXPECT_EQ(label->Height(), measure->TextHeight(caption));
        EXPECT_NE(label->Width(), before);
        EXPECT_EQ(twin->Width(), label->Width());
    }
    label->SetCaption("Save\nSave as");
    EXPECT_EQ(label->Width(), measure->TextWidth("Save as"));
    EXPECT_EQ(label->Height(), 2 * measure->TextHeight("Save"));
}

// A control that draws itself, as the controls unit writes them.
class TDot : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    int paints = 0;

protected:
    void Paint() override
    {
        ++paints;
        Canvas()->Brush()->SetColor(clRed);
        Canvas()->FillRect(Rect(1, 1, 4, 4));
        Canvas()->TextOut(5, 0, Caption());
    }
};

TEST_F(FormFixture, SelfDrawnControlsPaintAndClickThroughTheCanvas)
{
    auto* dot = Make<TDot>("Dot");
    dot->SetBounds(20, 20, 40, 20);
    dot->SetCaption("42");
    TFixedCanvas fixed;
    dot->PaintTo(&fixed);
    ASSERT_EQ(fixed.OpsOf(TCanvasOp::Fill).size(), 1u);
    EXPECT_EQ(fixed.OpsOf(TCanvasOp::Fill)[0].brushColor, clRed);
    ASSERT_EQ(fixed.Texts(), std::vector<CodePageString>{"42"});
    EXPECT_EQ(fixed.OpsOf(TCanvasOp::Text)[0].fontName, "MS Sans Serif");

    form->Show();
    ASSERT_TRUE(RunUntil([&] { return dot->Showing(); }));
    dot->Repaint();
    EXPECT_GT(dot->paints, 0);

    int clicks = 0;
    std::vector<std::pair<int, int>> downs;
    dot->OnClick = [&](TObject*) { ++clicks; };
    dot->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState, int x, int y) {
        EXPECT_EQ(b, mbLeft);
        downs.emplace_back(x, y);
    };
    ClickAt(dot, 5, 6);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(downs, (std::vector<std::pair<int, int>>{{5, 6}}));

    // A release outside the control is no click.
    PressAt(dot, 5, 6);
    ReleaseAt(dot, 80, 6);
    EXPECT_EQ(clicks, 1);
}

TEST_F(FormFixture, GaugeShowsItsShareOfTheRange)
{
    auto* gauge = Make<TGauge>("Gauge");
    gauge->SetBounds(0, 0, 102, 16);
    gauge->SetForeColor(clNavy);
    gauge->SetMaxValue(200);
    gauge->SetProgress(50);
    EXPECT_EQ(gauge->PercentDone(), 25);
    gauge->SetProgress(500);
    EXPECT_EQ(gauge->Progress(), 200);
    gauge->SetProgress(50);
    TFixedCanvas fixed;
    gauge->PaintTo(&fixed);
    const auto fills = fixed.OpsOf(TCanvasOp::Fill);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[1].rect, Rect(1, 1, 26, 15));  // a quarter of the inside
    EXPECT_EQ(fills[1].brushColor, clNavy);
    const auto texts = fixed.Texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "25%"), texts.end());
}

}  // namespace

namespace {

// Every standard control on one form, rendered to a picture. Set
// TENVAREL_SCREENSHOTS to a folder to keep the picture for a person to look at.
TEST_F(FormFixture, AGalleryOfControlsRendersToAPicture)
{
    form->SetCaption("Gallery");
    form->SetBounds(0, 0, 520, 360);
    auto* group = Make<TGroupBox>("GroupBox1");
    group->SetBounds(8, 8, 240, 150);
    group->SetCaption("Settings");
    auto* check = Make<TCheckBox>("HeaderCk", group);
    check->SetBounds(10, 20, 120, 17);
    check->SetCaption("Header");
    check->SetChecked(true);
    auto* edit = Make<TEdit>("Header", group);
    edit->SetBounds(10, 42, 180, 21);
    edit->SetText("C:\\header.htm");
    auto* radio = Make<TRadioButton>("RadioButton3", group);
    radio->SetBounds(10, 70, 220, 17);
    radio->SetCaption("I am not behind a firewall or proxy");
    radio->SetChecked(true);
    auto* combo = Make<TComboBox>("catagory", group);
    combo->SetBounds(10, 95, 180, 21);
    combo->Items()->Add("Business");
    combo->SetText("Business");
    auto* memo = Make<TMemo>("Viewer");
    memo->SetBounds(256, 8, 250, 150);
    memo->Lines()->Add("<HEAD>");
    memo->Lines()->Add("<TITLE>Tenvarel</TITLE>");
    auto* button = Make<TButton>("Button14");
    button->SetBounds(8, 166, 75, 25);
    button->SetCaption("Apply");
    auto* panel = Make<TPanel>("Panel1");
    panel->SetBounds(90, 166, 160, 25);
    panel->SetCaption("Panel caption");
    auto* progress = Make<TProgressBar>("Progress");
    progress->SetBounds(256, 166, 250, 16);
    progress->SetPosition(60);
    auto* list = Make<TCheckListBox>("SesList");
    list->SetBounds(8, 200, 120, 100);
    list->Items()->Add("Shop");
    list->Items()->Add("Garden");
    list->SetChecked(1, true);
    auto* view = Make<TListView>("ExListView1");
    view->SetBounds(136, 200, 370, 120);
    view->SetViewStyle(vsReport);
    view->SetGridLines(true);
    view->SetCheckboxes(true);
    for (const char* c : {"Engines", "Home Page", "Submit Here"})
        view->Columns()->Add()->SetCaption(c);
    view->Columns()->Items(0)->SetWidth(100);
    view->Columns()->Items(1)->SetWidth(130);
    view->Columns()->Items(2)->SetWidth(130);
    for (int i = 0; i < 3; ++i) {
        TListItem* item = view->Items()->Add();
        item->SetCaption("Engine " + IntToStr(i));
        item->SubItems()->Add("http://www.example.com/");
        item->SubItems()->Add("http://www.example.com/add");
        item->SetChecked(i == 1);
    }
    form->Show();
    TempDir dir;
    ASSERT_TRUE(SaveFormScreenshot(form, dir.File("gallery.png")));
    if (const char* keep = std::getenv("TENVAREL_SCREENSHOTS"))
        SaveFormScreenshot(form, CodePageString(keep) + "/gallery.png");
}

}  // namespace

namespace {

TEST_F(FormFixture, ImagesDrawTheirPictureStretchedOrAtItsSize)
{
    TempDir dir;
    TPixels pixels;
    pixels.Width = 40;
    pixels.Height = 20;
    pixels.Data.assign(800, 0xFF336699u);
    const std::string logo = dir.Write("logo.jpg", EncodeJpeg(pixels, 90));
    auto* image = Make<TImage>("Image1");
    image->SetBounds(0, 0, 120, 60);
    image->Picture()->LoadFromFile(logo);
    TFixedCanvas fixed;
    image->PaintTo(&fixed);
    auto bitmaps = fixed.OpsOf(TCanvasOp::Bitmap);
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].rect, Rect(0, 0, 40, 20));
    image->SetStretch(true);
    fixed.Clear();
    image->PaintTo(&fixed);
    bitmaps = fixed.OpsOf(TCanvasOp::Bitmap);
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].rect, Rect(0, 0, 120, 60));
    EXPECT_EQ(bitmaps[0].source, Rect(0, 0, 40, 20));
}

TEST(VisualImageList, AStripOfGlyphsBecomesOneImageEach)
{
    TImageList list(nullptr);
    list.SetWidth(80);
    list.SetHeight(22);
    TBitmap strip(160, 22);
    strip.Canvas()->Brush()->SetColor(clRed);
    strip.Canvas()->FillRect(Rect(80, 0, 160, 22));
    EXPECT_EQ(list.AddMasked(&strip, clFuchsia), 0);
    ASSERT_EQ(list.Count(), 2);
    TBitmap glyph;
    ASSERT_TRUE(list.GetBitmap(1, &glyph));
    EXPECT_EQ(glyph.Width(), 80);
    EXPECT_EQ(glyph.GetPixel(10, 10), clRed);
    EXPECT_FALSE(list.GetBitmap(2, &glyph));
    TFixedCanvas fixed;
    list.Draw(&fixed, 5, 6, 0);
    ASSERT_EQ(fixed.OpsOf(TCanvasOp::Bitmap).size(), 1u);
    EXPECT_EQ(fixed.OpsOf(TCanvasOp::Bitmap)[0].rect, Rect(5, 6, 85, 28));
}

// The toolkit's menus follow the items through inserts anywhere, moves,
// removals and items freed in any order: the bar of a shown window, and
// each submenu, which goes when its last item does.
TEST(VisualMenu, TheToolkitMenusFollowTheItems)
{
    TForm form(nullptr);
    auto* menu = new TMainMenu(&form);
    form.SetMenu(menu);
    form.Show();
    auto* bar = WindowOf(&form)->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    TMenuItem* root = menu->Items();
    auto add = [&](TMenuItem* parent, int index, const char* caption) {
        auto* item = new TMenuItem(&form);
        item->SetCaption(caption);
        parent->Insert(index, item);
        return item;
    };
    auto actionsOf = [](const TMenuItem* parent) {
        QList<QAction*> actions;
        for (int i = 0; i < parent->Count(); ++i)
            actions.push_back(MenuActionOf(parent->Items(i)));
        return actions;
    };
    auto inStep = [&](const TMenuItem* parent) {
        QMenu* submenu = MenuActionOf(parent)->menu();
        if (parent->Count() == 0)
            return submenu == nullptr;
        return submenu && submenu->actions() == actionsOf(parent);
    };

    TMenuItem* a = add(root, 0, "A");
    TMenuItem* c = add(root, 1, "C");
    TMenuItem* b = add(root, 1, "B");
    TMenuItem* z = add(root, 0, "Z");
    EXPECT_EQ(bar->actions(), actionsOf(root));
    EXPECT_EQ(root->IndexOf(b), 2);
    add(a, 0, "x");
    TMenuItem* y = add(a, 0, "y");
    add(a, 1, "w");
    EXPECT_TRUE(inStep(a));
    EXPECT_EQ(a->Items(1)->Caption(), "w");
    for (const char* caption : {"p", "q", "r"})
        add(c, c->Count(), caption);

    root->Remove(z);
    root->Insert(root->Count(), z);
    EXPECT_EQ(bar->actions(), actionsOf(root));
    EXPECT_EQ(root->Items(3), z);
    delete y;
    EXPECT_TRUE(inStep(a));
    delete c->Items(1);
    EXPECT_TRUE(inStep(c));
    c->Clear();
    EXPECT_TRUE(inStep(c));
    delete b;
    delete a;
    EXPECT_EQ(bar->actions(), actionsOf(root));
    EXPECT_EQ(root->Count(), 2);
}

TEST(VisualMenu, ASeparatorIsALineAlone)
{
    TForm form(nullptr);
    auto* projects = new TMenuItem(&form);
    projects->SetCaption("&Projects");
    for (const char* caption : {"&New", "-", "E&xit"}) {
        auto* item = new TMenuItem(&form);
        item->SetCaption(caption);
        projects->Add(item);
    }
    EXPECT_TRUE(projects->Items(1)->IsLine());
    EXPECT_EQ(projects->Items(1)->Caption(), "-");

    QMenu* menu = MenuActionOf(projects)->menu();
    ASSERT_NE(menu, nullptr);
    menu->adjustSize();
    const QImage picture = menu->grab().toImage();
    // The separator's row, inside the menu's one-pixel border.
    const QRect line = menu->actionGeometry(menu->actions().at(1)).intersected(picture.rect()).adjusted(1, 0, -1, 0);
    ASSERT_FALSE(line.isEmpty());
    // Every row of the separator that holds anything but the menu's face
    // holds one unbroken stroke across most of the menu: no glyph beside it.
    const QRgb face = picture.pixel(line.right() - 1, line.top());
    int strokes = 0;
    for (int y = line.top(); y <= line.bottom(); ++y) {
        int runs = 0, painted = 0;
        bool inRun = false;
        for (int x = line.left(); x <= line.right(); ++x) {
            const bool on = picture.pixel(x, y) != face;
            painted += on;
            runs += on && !inRun;
            inRun = on;
        }
        if (painted == 0)
            continue;
        ++strokes;
        EXPECT_EQ(runs, 1) << "row " << y;
        EXPECT_GT(painted, line.width() / 2) << "row " << y;
    }
    EXPECT_GE(strokes, 1);
}

}  // namespace
