// The enhanced list view on the real control, headless: its own check boxes,
// row images, sub-items, link and markup cells, sorting by the header,
// in-place editing, hints, the clipboard, the settings it keeps and the
// delimited text files.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleTableInterface>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTableView>
#include <QToolButton>

#include "ListCaptions.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "classlib/ImgList.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "controls/ElvUtil.h"
#include "controls/ExListV.h"
#include "platform/Hooks.h"
#include "support/ControlWindows.h"
#include "support/FixedCanvas.h"
#include "support/Loop.h"
#include "support/TempDir.h"

namespace {

TRect ToRect(const QRect& r) { return Bounds(r.x(), r.y(), r.width(), r.height()); }

struct ListFixture : ::testing::Test {
    void SetUp() override
    {
        form = new TForm(nullptr);
        form->SetBounds(0, 0, 640, 400);
        list = new TExListView(form);
        list->Name = "ExListView2";
        list->SetParent(form);
        list->SetBounds(0, 0, 600, 300);
        list->SetCheckboxes(true);
        list->SetOwnerDraw(true);
        list->SetItemHeight(18);
        list->SetURLShow(true);
        const struct {
            const char* caption;
            int width;
        } columns[] = {{"Engines", 120}, {"URL", 200}, {"Result", 60}, {"Date", 60}, {"Type", 80}};
        for (const auto& c : columns) {
            TListColumn* column = list->Columns()->Add();
            column->SetCaption(c.caption);
            column->SetWidth(c.width);
        }
        AddRow("Alpha", {"http://alpha.example/add", "", "", "Engine"});
        AddRow("Beta", {"http://beta.example/", "", "", "Batch->25"});
        AddRow("Gamma", {"see <a href=\"x\">here</a> http://x", "", "", "FFA"});
        list->OnCheckboxClick = [this](TObject* sender, int row, bool state) {
            EXPECT_EQ(sender, list);
            checks.push_back({row, state});
        };
        GetHooks().shellOpen = [this](const ShellOpenCall& call) {
            opened.push_back(call.verb + " " + call.file);
            return true;
        };
        form->Show();
        ASSERT_TRUE(RunUntil([&] { return list->Showing(); }));
    }
    void TearDown() override
    {
        delete form;
        ResetHooks();
    }

    void AddRow(const char* caption, std::vector<CodePageString> subItems)
    {
        TListItem* item = list->Items()->Add();
        item->SetCaption(caption);
        for (const CodePageString& s : subItems)
            item->SubItems()->Add(s);
    }

    // A left click at a point of the item area, through the toolkit.
    void ClickAt(int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        QWidget* viewport = Viewport();
        const QPointF p(x, y);
        QMouseEvent press(QEvent::MouseButtonPress, p, viewport->mapToGlobal(p), button, button, Qt::NoModifier);
        QApplication::sendEvent(viewport, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, p, viewport->mapToGlobal(p), button, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(viewport, &release);
    }
    int RowMiddle(int row) const
    {
        const TRect r = list->CellRect(row, 0);
        return (r.Top + r.Bottom) / 2;
    }
    QTableView* View() const { return static_cast<QTableView*>(WindowOf(list)); }
    QWidget* Viewport() const { return View()->viewport(); }
    void MoveTo(int x, int y)
    {
        const QPointF p(x, y);
        QMouseEvent move(QEvent::MouseMove, p, Viewport()->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(Viewport(), &move);
    }
    // A press, moves and a release on the header, as the user's mouse does them.
    void HeaderMouse(int x, int toX = -1)
    {
        QHeaderView* header = View()->horizontalHeader();
        QWidget* target = header->viewport();
        const QPointF from(x, header->height() / 2);
        QMouseEvent press(QEvent::MouseButtonPress, from, target->mapToGlobal(from), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QPointF at = from;
        if (toX >= 0) {
            for (int step = 1; step <= 4; ++step) {
                at = QPointF(x + (toX - x) * step / 4, from.y());
                QMouseEvent move(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                                 Qt::NoModifier);
                QApplication::sendEvent(target, &move);
            }
        }
        QMouseEvent release(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(target, &release);
    }
    int SectionMiddle(int column) const
    {
        QHeaderView* header = View()->horizontalHeader();
        return header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    }
    // The first x of a row's cell at which the markup finds this anchor; -1 when none.
    int AnchorX(int row, int column, const CodePageString& anchor) const
    {
        const TRect cell = list->CellRect(row, column);
        for (int x = cell.Left; x < cell.Right; ++x)
            if (list->AnchorAt(x, RowMiddle(row) - 2) == anchor)
                return x;
        return -1;
    }
    std::vector<CodePageString> Captions() const { return ItemCaptions(*list); }

    TForm* form = nullptr;
    TExListView* list = nullptr;
    std::vector<std::pair<int, bool>> checks;
    std::vector<std::string> opened;
};

TEST_F(ListFixture, AClickOnTheDrawnCheckBoxTogglesItOnce)
{
    EXPECT_EQ(list->ViewStyle(), vsReport);
    EXPECT_EQ(list->RowHeight(), 18);

    ClickAt(5, RowMiddle(1));
    EXPECT_TRUE(list->Items()->Item(1)->Checked());
    ClickAt(14, RowMiddle(1));
    EXPECT_FALSE(list->Items()->Item(1)->Checked());
    ClickAt(3, RowMiddle(0));
    EXPECT_EQ(checks, (std::vector<std::pair<int, bool>>{{1, true}, {1, false}, {0, true}}));

    // Beyond the first 15 pixels, in another column or below the rows: no toggle.
    ClickAt(15, RowMiddle(2));
    ClickAt(60, RowMiddle(2));
    ClickAt(list->ColumnLeft(4) + 5, RowMiddle(2));
    ClickAt(5, RowMiddle(2) + 200);
    EXPECT_EQ(checks.size(), 3u);
    EXPECT_FALSE(list->Items()->Item(2)->Checked());
    EXPECT_EQ(list->CurrentRow(), 2);
    EXPECT_EQ(list->CurrentColumn(), 4);
}

TEST_F(ListFixture, TheSpaceBarTogglesTheFocusedRow)
{
    list->SetItemFocused(list->Items()->Item(2));
    WORD key = VK_SPACE;
    list->HandleKeyDown(key, {});
    EXPECT_TRUE(list->Items()->Item(2)->Checked());
    EXPECT_EQ(checks, (std::vector<std::pair<int, bool>>{{2, true}}));
}

// In cell mode Left and Right move the current cell; where it cannot move
// (the first or the last column) the key keeps its default handling, and the
// owner's OnKeyDown sees it.
TEST_F(ListFixture, LeftAndRightMoveTheCellOrGoOn)
{
    list->SetSubItemSelect(true);
    list->SetItemFocused(list->Items()->Item(1));
    std::vector<WORD> seen;
    list->OnKeyDown = [&](TObject*, WORD& key, TShiftState) { seen.push_back(key); };
    const struct {
        WORD key;
        bool taken;
        int column;
    } steps[] = {{VK_LEFT, false, 0}, {VK_RIGHT, true, 1}, {VK_RIGHT, true, 2}, {VK_RIGHT, true, 3},
                 {VK_RIGHT, true, 4}, {VK_RIGHT, false, 4}, {VK_LEFT, true, 3}};
    for (const auto& step : steps) {
        WORD key = step.key;
        EXPECT_EQ(list->HandleKeyDown(key, {}), step.taken) << step.column;
        EXPECT_EQ(list->CurrentColumn(), step.column);
    }
    EXPECT_EQ(seen, (std::vector<WORD>{VK_LEFT, VK_RIGHT}));
}

TEST_F(ListFixture, LinkCellsOpenOnClickUnlessTheyAreMarkup)
{
    ClickAt(list->ColumnLeft(1) + 10, RowMiddle(0));
    ClickAt(list->ColumnLeft(0) + 40, RowMiddle(2));  // "Gamma": no address
    ClickAt(list->ColumnLeft(1) + 10, RowMiddle(2));  // holds "</"
    EXPECT_EQ(opened, std::vector<std::string>{"open http://alpha.example/add"});

    list->SetURLShow(false);
    ClickAt(list->ColumnLeft(1) + 10, RowMiddle(1));
    EXPECT_EQ(opened.size(), 1u);

    list->SetURLShow(true);
    list->SetCellText(2, 1, "mailto:someone@example.com");
    ClickAt(list->ColumnLeft(2) + 10, RowMiddle(1));
    EXPECT_EQ(opened.back(), "open mailto:someone@example.com");
    EXPECT_TRUE(checks.empty());
}

TEST_F(ListFixture, ARightClickSelectsTheRowForThePopUpMenu)
{
    std::vector<std::pair<int, int>> cells;
    list->OnRightClickCell = [&](TObject*, int row, int column) { cells.push_back({row, column}); };
    ClickAt(list->ColumnLeft(1) + 5, RowMiddle(2), Qt::RightButton);
    EXPECT_EQ(cells, (std::vector<std::pair<int, int>>{{2, 1}}));
    ASSERT_NE(list->Selected(), nullptr);
    EXPECT_EQ(list->Selected()->Index(), 2);
    EXPECT_TRUE(checks.empty());
}

TEST_F(ListFixture, CellsReadAndGrowTheirSubItems)
{
    EXPECT_EQ(list->CellText(0, 1), "Beta");
    EXPECT_EQ(list->CellText(4, 1), "Batch->25");
    EXPECT_EQ(list->CellText(9, 1), "");
    EXPECT_EQ(list->CellText(0, 99), "");

    TListItem* item = list->Items()->Add();
    item->SetCaption("Delta");
    list->SetCellText(3, 3, "1/2/2003");
    EXPECT_EQ(item->SubItems()->Count(), 3);
    EXPECT_EQ(list->CellText(3, 3), "1/2/2003");
    EXPECT_EQ(list->CellText(1, 3), "");
    list->SetCellText(1, 99, "nowhere");  // out of range: nothing happens
}

TEST_F(ListFixture, OwnerDrawnRowsShowCheckBoxImageAndEveryCell)
{
    TImageList images(nullptr);
    TBitmap strip(48, 16);  // three images of 16 by 16
    images.Add(&strip, nullptr);
    list->SetSmallImages(&images);
    list->Items()->Item(0)->SetImageIndex(2);
    list->Items()->Item(0)->SetChecked(true);

    const TRect row = Rect(0, 36, 520, 54);
    TFixedCanvas canvas;
    list->PaintRow(0, row, {}, &canvas);

    const auto boxes = canvas.OpsOf(TCanvasOp::Rectangle);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rect, Rect(2, 38, 16, 52));
    EXPECT_FALSE(canvas.OpsOf(TCanvasOp::Polyline).empty());  // the tick

    const auto bitmaps = canvas.OpsOf(TCanvasOp::Bitmap);
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].rect, Rect(16, 37, 32, 53));

    struct Cell {
        CodePageString text;
        int left;
        bool link;
    };
    std::vector<Cell> cells;
    for (const TCanvasOp& op : canvas.OpsOf(TCanvasOp::Text))
        if (!op.text.empty())
            cells.push_back({op.text, op.points[0].x, op.fontStyle.Contains(fsUnderline) && op.fontColor == clBlue});
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[0].text, "Alpha");
    EXPECT_EQ(cells[0].left, 34);
    EXPECT_FALSE(cells[0].link);
    EXPECT_EQ(cells[1].text, "alpha.example/add");  // shown without its protocol
    EXPECT_EQ(cells[1].left, 122);
    EXPECT_TRUE(cells[1].link);
    EXPECT_EQ(cells[2].text, "Engine");
    EXPECT_EQ(cells[2].left, 442);

    list->SetURLFull(true);
    list->SetRowSelect(true);
    TFixedCanvas selected;
    list->PaintRow(0, row, {odSelected}, &selected);
    std::vector<TCanvasOp> texts;
    for (const TCanvasOp& op : selected.OpsOf(TCanvasOp::Text))
        if (!op.text.empty())
            texts.push_back(op);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1].text, "http://alpha.example/add");
    EXPECT_EQ(texts[1].fontColor, clHighlightText);  // links take the selection colours
    EXPECT_EQ(selected.OpsOf(TCanvasOp::Fill)[0].brushColor, clHighlight);
    list->SetSmallImages(nullptr);
}

TEST(ExListViewCells, LinkTextsAndLayout)
{
    EXPECT_TRUE(IsUrlText("http://a"));
    EXPECT_TRUE(IsUrlText("mailto:me@here"));
    EXPECT_FALSE(IsUrlText("mailto:me</a>"));
    EXPECT_FALSE(IsUrlText("plain"));
    EXPECT_EQ(ShownUrlText("http://a.example/x", false), "a.example/x");
    EXPECT_EQ(ShownUrlText("mailto:me@here", false), "me@here");
    EXPECT_EQ(ShownUrlText("http://a.example/x", true), "http://a.example/x");

    // A 13-pixel row puts the box at the top; taller rows centre it.
    EXPECT_EQ(LayoutCell(Rect(0, 0, 100, 13), 0, true, 0, 0, 0, vtaCenter).CheckBox, Rect(2, 0, 16, 14));
    EXPECT_EQ(LayoutCell(Rect(0, 0, 100, 20), 0, true, 0, 0, 0, vtaCenter).CheckBox, Rect(2, 3, 16, 17));
    EXPECT_EQ(LayoutCell(Rect(0, 0, 100, 20), 0, true, 0, 0, 0, vtaBottom).CheckBox, Rect(2, 6, 16, 20));
    const TCellLayout indented = LayoutCell(Rect(0, 0, 100, 20), 0, true, 16, 16, 1, vtaCenter);
    EXPECT_EQ(indented.Image, Rect(32, 2, 48, 18));
    EXPECT_EQ(indented.Text, Rect(50, 0, 98, 20));
    const TCellLayout subItem = LayoutCell(Rect(100, 0, 110, 20), 2, true, 16, 16, 1, vtaCenter);
    EXPECT_TRUE(subItem.CheckBox.IsEmpty());
    EXPECT_EQ(subItem.Text, Rect(110, 0, 110, 20));  // no room left: an empty box, never inverted
}

// Each cell of a selected owner-drawn row is painted in the selection's
// colours, its text readable: the view must not paint its own selection over
// the cells right of the first.
TEST_F(ListFixture, EveryCellOfASelectedRowShowsItsText)
{
    list->SetRowSelect(true);
    list->SetCellText(2, 0, "can't resolve host");
    list->Items()->Item(0)->SetSelected(true);
    ASSERT_TRUE(RunUntil([&] { return list->Items()->Item(0)->Selected(); }));
    const QImage shot = Viewport()->grab().toImage();
    const TColor rgb = ColorToRGB(clHighlight);
    const QColor highlight(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
    for (int column = 0; column < 5; ++column) {
        if (column == 3)
            continue;  // Date is empty
        const TRect cell = list->CellRect(0, column);
        int background = 0, text = 0;
        for (int y = cell.Top + 1; y < cell.Bottom - 1; ++y)
            for (int x = cell.Left + 16; x < cell.Right - 2; ++x) {
                const QColor c = shot.pixelColor(x, y);
                if (c == highlight)
                    ++background;
                else if (c.lightness() > 160)
                    ++text;
            }
        EXPECT_GT(background, 0) << "column " << column;
        EXPECT_GT(text, 10) << "column " << column;
    }
}

TEST_F(ListFixture, OnlyWebAndMailAddressesGoToTheShell)
{
    const struct {
        const char* cell;
        const char* opened;  // nullptr: nothing
    } cases[] = {
        {"http://a.example/", "open http://a.example/"},
        {"https://b.example/x?y=1", "open https://b.example/x?y=1"},
        {"mailto:me@example.com", "open mailto:me@example.com"},
        {" HTTP://UP.example/ ", "open HTTP://UP.example/"},
        {"file:///etc/passwd", nullptr},
        {"ftp://files.example/", nullptr},
        {"javascript://alert(1)", nullptr},
        {"see http://c.example/", nullptr},  // the whole text is no address
    };
    for (const auto& c : cases) {
        opened.clear();
        list->SetCellText(2, 1, c.cell);
        ClickAt(list->ColumnLeft(2) + 10, RowMiddle(1));
        if (c.opened)
            EXPECT_EQ(opened, std::vector<std::string>{c.opened}) << c.cell;
        else
            EXPECT_TRUE(opened.empty()) << c.cell;
    }
}

TEST_F(ListFixture, LinkCellsShowTheLinkCursorAndAnchorsTellWhenTheMouseComesAndGoes)
{
    EXPECT_EQ(list->Cursor(), crDefault);
    MoveTo(list->ColumnLeft(1) + 10, RowMiddle(0));
    EXPECT_EQ(list->Cursor(), crListLink);
    MoveTo(list->ColumnLeft(0) + 40, RowMiddle(0));
    EXPECT_EQ(list->Cursor(), crDefault);

    list->SetCellText(1, 1, "see <a href=\"page2\">here</a> and more words");
    std::vector<std::string> events;
    list->OnAnchorEnter = [&](TObject*, const CodePageString& a) { events.push_back("enter " + a); };
    list->OnAnchorExit = [&](TObject*, const CodePageString& a) { events.push_back("exit " + a); };
    const int x = AnchorX(1, 1, "page2");
    ASSERT_GT(x, list->ColumnLeft(1));
    MoveTo(x + 1, RowMiddle(1) - 2);
    EXPECT_EQ(list->Cursor(), crListLink);
    MoveTo(x + 2, RowMiddle(1) - 2);
    MoveTo(list->ColumnLeft(2) - 5, RowMiddle(1) - 2);
    EXPECT_EQ(list->Cursor(), crDefault);
    EXPECT_EQ(events, (std::vector<std::string>{"enter page2", "exit page2"}));
}

TEST_F(ListFixture, AnAnchorWithoutAProtocolGoesToItsEventAndOneWithAProtocolToTheShell)
{
    list->SetCellText(1, 0, "<a href=\"page2\">local</a> | <a href=\"http://x.example/\">web</a> | "
                            "<a href=\"file:///etc/passwd\">file</a>");
    std::vector<std::string> anchors;
    list->OnAnchorClick = [&](TObject*, const CodePageString& a) { anchors.push_back(a); };
    for (const char* anchor : {"page2", "http://x.example/", "file:///etc/passwd"}) {
        const int x = AnchorX(0, 1, anchor);
        ASSERT_GE(x, 0) << anchor;
        ClickAt(x + 1, RowMiddle(0) - 2);
    }
    EXPECT_EQ(anchors, std::vector<std::string>{"page2"});
    EXPECT_EQ(opened, std::vector<std::string>{"open http://x.example/"});  // a markup cell is no link cell
}

TEST_F(ListFixture, AnInPlaceEditChangesTheCellWholeAndMayBeRefused)
{
    list->SetSubItemEdit(true);
    ClickAt(list->ColumnLeft(3) + 5, RowMiddle(1));
    EXPECT_EQ(list->CurrentColumn(), 3);
    list->SetItemFocused(list->Items()->Item(1));
    WORD key = VK_F2;
    list->HandleKeyDown(key, {});
    ASSERT_TRUE(list->CellEditing());
    auto* editor = Viewport()->findChild<QPlainTextEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(ToRect(editor->geometry()), list->CellRect(1, 3));

    const CodePageString longText(3000, 'x');  // no 1024-character limit
    list->SetCellEditText(longText + "\xE9");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(editor, &enter);
    EXPECT_FALSE(list->CellEditing());
    EXPECT_EQ(list->CellText(3, 1), longText + "\xE9");
    EXPECT_EQ(list->CellText(0, 1), "Beta");

    // Escape keeps the cell; OnCanEditCell may refuse the edit.
    list->HandleKeyDown(key = VK_F2, {});
    list->SetCellEditText("dropped");
    list->EndCellEdit(false);
    EXPECT_EQ(list->CellText(3, 1), longText + "\xE9");
    list->OnCanEditCell = [](TObject*, int row, int column, bool& allow) { allow = !(row == 1 && column == 3); };
    list->HandleKeyDown(key = VK_F2, {});
    EXPECT_FALSE(list->CellEditing());
}

TEST_F(ListFixture, AHeaderClickSortsWhenSortShowIsSetAndOnlyClicksWhenNot)
{
    std::vector<int> clicks;
    list->OnColumnClick = [&](TObject*, TListColumn* column) { clicks.push_back(column->Index()); };
    list->SetCellText(0, 0, "Zulu");
    HeaderMouse(SectionMiddle(0));
    EXPECT_EQ(Captions(), (std::vector<CodePageString>{"Zulu", "Beta", "Gamma"}));
    EXPECT_EQ(list->SortColumn(), -1);

    list->SetSortShow(true);
    HeaderMouse(SectionMiddle(0));
    EXPECT_EQ(Captions(), (std::vector<CodePageString>{"Beta", "Gamma", "Zulu"}));
    EXPECT_TRUE(View()->horizontalHeader()->isSortIndicatorShown());
    HeaderMouse(SectionMiddle(0));
    EXPECT_EQ(Captions(), (std::vector<CodePageString>{"Zulu", "Gamma", "Beta"}));
    EXPECT_EQ(View()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(clicks, (std::vector<int>{0, 0, 0}));

    // With header images of its own the list shows image 1 for a descending sort.
    TImageList arrows(nullptr);
    TBitmap strip(32, 16);
    arrows.Add(&strip, nullptr);
    list->SetHeaderImages(&arrows);
    EXPECT_EQ(list->Columns()->Items(0)->ImageIndex(), 1);
    list->SetSortIndicator(siRight);
    EXPECT_TRUE(list->Columns()->Items(0)->ImageOnRight());
    list->SetHeaderImages(nullptr);
}

TEST_F(ListFixture, AColumnResizeTheOwnerRefusesDoesNotResize)
{
    bool allow = false;
    std::vector<std::string> events;
    list->OnStartColumnTrack = [&](TObject*, int column, bool& a) {
        events.push_back("start " + std::to_string(column));
        a = allow;
    };
    list->OnEndColumnTrack = [&](TObject*, int column) { events.push_back("end " + std::to_string(column)); };
    list->OnColumnSized = [&](TObject*, int column) { events.push_back("sized " + std::to_string(column)); };
    QHeaderView* header = View()->horizontalHeader();
    const int divider = header->sectionViewportPosition(0) + header->sectionSize(0) - 1;
    HeaderMouse(divider, divider + 40);
    EXPECT_EQ(list->Columns()->Items(0)->Width(), 120);
    allow = true;
    HeaderMouse(divider, divider + 40);
    EXPECT_EQ(list->Columns()->Items(0)->Width(), 160);
    EXPECT_EQ(events, (std::vector<std::string>{"start 0", "start 0", "end 0", "sized 0"}));
}

TEST_F(ListFixture, TheFilterBarTellsOfItsChangesAndItsButtons)
{
    list->SetFilterTimeOut(1);
    list->SetFilterBar(true);
    std::vector<std::string> events;
    list->OnFilterChange = [&](TObject*, int column) { events.push_back("change " + std::to_string(column)); };
    list->OnFilterBtnClick = [&](TObject*, int column) { events.push_back("button " + std::to_string(column)); };
    QHeaderView* header = View()->horizontalHeader();
    const auto edits = header->viewport()->findChildren<QLineEdit*>();
    const auto buttons = header->viewport()->findChildren<QToolButton*>();
    ASSERT_EQ(edits.size(), 5);
    ASSERT_EQ(buttons.size(), 5);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_E, Qt::NoModifier, "e");
    QApplication::sendEvent(edits[1], &key);
    ASSERT_TRUE(RunUntil([&] { return !events.empty(); }));
    EXPECT_EQ(list->FilterText(1), "e");
    buttons[4]->click();
    EXPECT_EQ(events, (std::vector<std::string>{"change 1", "button 4"}));
    list->SetFilterBar(false);
    EXPECT_TRUE(header->viewport()->findChildren<QLineEdit*>().empty());
}

TEST_F(ListFixture, RowsDragToANewPlaceWhileTheTimerScrollsNearTheEdges)
{
    list->SetReArrangeItems(true);
    list->Items()->Item(0)->SetSelected(true);
    const QPointF from(60, RowMiddle(0)), to(60, RowMiddle(2));
    QMouseEvent press(QEvent::MouseButtonPress, from, Viewport()->mapToGlobal(from), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(Viewport(), &press);
    EXPECT_EQ(list->DraggedRow(), 0);
    MoveTo(60, RowMiddle(2));
    EXPECT_EQ(list->Cursor(), crDrag);
    QMouseEvent release(QEvent::MouseButtonRelease, to, Viewport()->mapToGlobal(to), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(Viewport(), &release);
    ASSERT_TRUE(RunUntil([&] { return Captions() == std::vector<CodePageString>{"Beta", "Alpha", "Gamma"}; }));
    EXPECT_TRUE(list->Items()->Item(1)->Selected());
    EXPECT_TRUE(list->Items()->Item(1)->Focused());
    EXPECT_EQ(list->ItemHeight(), 13);
    EXPECT_EQ(list->DraggedRow(), -1);
    EXPECT_EQ(list->Cursor(), crDefault);

    for (int i = 0; i < 60; ++i)
        AddRow(("Row " + std::to_string(i)).c_str(), {});
    list->HandleMouseDown(mbLeft, {ssLeft}, 60, RowMiddle(0));
    MoveTo(60, list->ItemAreaHeight() - 2);
    list->DragScrollStep();
    EXPECT_EQ(list->TopItem()->Index(), 1);
    MoveTo(60, 2);
    list->DragScrollStep();
    EXPECT_EQ(list->TopItem()->Index(), 0);
}

TEST_F(ListFixture, HintsShowTheWholeTextOfACellThatDoesNotFit)
{
    list->SetAutoHint(true);
    list->SetCellText(3, 0, "12/10/2026 11:21:24 AM");  // the Date column is 60 wide
    list->HandleToolTip(list->ColumnLeft(3) + 5, RowMiddle(0));
    ASSERT_TRUE(list->HintWindowVisible());
    EXPECT_EQ(list->HintWindowText(), "12/10/2026 11:21:24 AM");
    EXPECT_EQ(list->HintWindowPos(), list->ItemAreaToScreen({list->ColumnLeft(3), list->CellRect(0, 3).Top}));
    MoveTo(list->ColumnLeft(4) + 5, RowMiddle(0));  // another cell: the hint goes
    EXPECT_FALSE(list->HintWindowVisible());

    list->HandleToolTip(list->ColumnLeft(4) + 5, RowMiddle(0));  // "Engine" fits
    EXPECT_FALSE(list->HintWindowVisible());
    list->SetCellText(3, 0, "<b>ab</b><a href=\"x\">a long anchor text</a>");
    list->HandleToolTip(list->ColumnLeft(3) + 5, RowMiddle(0));
    EXPECT_EQ(list->HintWindowText(), "aba long anchor text");

    list->SetScrollHint(true);
    list->HandleScrollTracking(2);
    EXPECT_EQ(list->HintWindowText(), "Gamma");
    list->HandleScrollEnded();
    EXPECT_FALSE(list->HintWindowVisible());
}

TEST_F(ListFixture, TheClipboardCopiesRowsOrOneCellAndPastesRowsThatAddColumns)
{
    std::vector<std::string> written;
    std::string clipboard;
    bool holdsText = true;
    GetHooks().clipboardSetText = [&](const std::string& text) { written.push_back(text); };
    GetHooks().clipboardGetText = [&](std::string& text) {
        text = clipboard;
        return holdsText;
    };
    list->SetClipboardEnable(true);
    list->SetMultiSelect(true);
    auto key = [&](WORD k, TShiftState shift) { list->HandleKeyDown(k, shift); };

    key('C', {ssCtrl});  // nothing selected: nothing copied
    key('X', {ssCtrl});
    EXPECT_TRUE(written.empty());
    EXPECT_EQ(list->Items()->Count(), 3);

    list->Items()->Item(0)->SetSelected(true);
    list->Items()->Item(2)->SetSelected(true);
    key(VK_INSERT, {ssCtrl});
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0], "Alpha\thttp://alpha.example/add\t\t\tEngine\r\n"
                          "Gamma\tsee <a href=\"x\">here</a> http://x\t\t\tFFA\r\n");

    // One cell of the selected row: cut empties that cell only.
    list->SetSubItemSelect(true);
    list->SetSelected(list->Items()->Item(1));
    ClickAt(list->ColumnLeft(4) + 5, RowMiddle(1));
    key('X', {ssCtrl});
    EXPECT_EQ(written.back(), "Batch->25");
    EXPECT_EQ(list->Items()->Count(), 3);
    EXPECT_EQ(list->CellText(4, 1), "");
    clipboard = "pasted";
    key(VK_INSERT, {ssShift});
    EXPECT_EQ(list->CellText(4, 1), "pasted");
    list->ClearSelection();
    clipboard = "nowhere";
    key('V', {ssCtrl});  // no selected row: nothing
    EXPECT_EQ(list->Items()->Count(), 3);

    // Rows need no selection; a third field beyond the columns adds one.
    list->SetSubItemSelect(false);
    list->ClearSelection();
    clipboard = "One\ta\tb\tc\td\textra\r\nTwo\tx\nThree";
    key('V', {ssCtrl});
    EXPECT_EQ(list->Columns()->Count(), 6);
    EXPECT_EQ(Captions(), (std::vector<CodePageString>{"Alpha", "Beta", "Gamma", "One", "Two", "Three"}));
    EXPECT_EQ(list->CellText(5, 3), "extra");
    EXPECT_EQ(list->CellText(1, 4), "x");
    EXPECT_TRUE(list->Items()->Item(5)->Focused());
    EXPECT_EQ(list->SelCount(), 3);
    holdsText = false;
    key('V', {ssCtrl});
    EXPECT_EQ(list->Items()->Count(), 6);

    // Cut of rows removes them; without ClipboardEnable the keys do nothing.
    key(VK_DELETE, {ssShift});
    EXPECT_EQ(list->Items()->Count(), 3);
    list->SetClipboardEnable(false);
    written.clear();
    list->Items()->Item(0)->SetSelected(true);
    key('C', {ssCtrl});
    EXPECT_TRUE(written.empty());
}

TEST_F(ListFixture, AssistiveTechnologyReadsCellsAsShownAndActsOnThem)
{
    list->SetCellText(1, 1, "<IMG src=\"idx:2\"><a href=\"page2\">You Ranked #3</a> | <b>bold</b>");
    list->SetCellText(2, 1, "{\\rtf1 rich {\\b text}\\par}");
    list->Items()->Item(1)->SetChecked(true);
    std::vector<std::string> anchors;
    list->OnAnchorClick = [&](TObject*, const CodePageString& a) { anchors.push_back(a); };

    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(View());
    ASSERT_NE(node, nullptr);
    QAccessibleTableInterface* table = node->tableInterface();
    ASSERT_NE(table, nullptr);
    ASSERT_TRUE(RunUntil([&] { return table->rowCount() == 3; }));
    auto name = [&](int row, int column) { return table->cellAt(row, column)->text(QAccessible::Name).toStdString(); };
    EXPECT_EQ(name(0, 1), "alpha.example/add");  // as shown
    EXPECT_EQ(name(1, 1), "You Ranked #3 | bold");
    EXPECT_EQ(name(1, 2), "rich text");
    EXPECT_EQ(table->cellAt(0, 0)->role(), QAccessible::Cell);
    EXPECT_TRUE(table->cellAt(0, 0)->state().checkable);
    EXPECT_FALSE(table->cellAt(0, 0)->state().checked);
    EXPECT_TRUE(table->cellAt(1, 0)->state().checked);

    QAccessibleActionInterface* anchorCell = table->cellAt(1, 1)->actionInterface();
    ASSERT_NE(anchorCell, nullptr);
    ASSERT_EQ(anchorCell->actionNames(), QStringList{"Open You Ranked #3"});
    anchorCell->doAction("Open You Ranked #3");
    EXPECT_EQ(anchors, std::vector<std::string>{"page2"});

    table->cellAt(0, 1)->actionInterface()->doAction("Open link");
    EXPECT_EQ(opened, std::vector<std::string>{"open http://alpha.example/add"});

    QAccessibleActionInterface* box = table->cellAt(0, 0)->actionInterface();
    ASSERT_TRUE(box->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    box->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(list->Items()->Item(0)->Checked());
    EXPECT_TRUE(table->cellAt(0, 0)->state().checked);
    EXPECT_EQ(checks, (std::vector<std::pair<int, bool>>{{0, true}}));
}

TEST_F(ListFixture, TheDetailLineAndWallpaperAndCellImagesPaint)
{
    TImageList images(nullptr);
    TBitmap strip(48, 16);
    images.Add(&strip, nullptr);
    list->SetSmallImages(&images);
    list->Items()->Item(0)->SetSubItemImages(3, 1);
    list->SetCellText(2, 0, "one two three four");
    const TRect row = Rect(0, 0, 520, 40);
    list->SetItemHeight(40);

    TFixedCanvas plain;
    list->PaintRow(0, row, {}, &plain);
    EXPECT_EQ(plain.OpsOf(TCanvasOp::Bitmap).size(), 0u);  // no images in sub-items until SubImages
    list->SetSubImages(true);
    list->SetWordWrap(true);
    list->SetVAlignment(vtaTop);
    list->DetailView()->SetVisible(true);
    list->DetailView()->SetColumn(4);
    list->DetailView()->SetSplitLine(true);
    list->DetailView()->SetHeight(-1);  // ignored
    EXPECT_EQ(list->DetailView()->Height(), 16);
    TFixedCanvas canvas;
    list->PaintRow(0, row, {odSelected}, &canvas);
    const auto bitmaps = canvas.OpsOf(TCanvasOp::Bitmap);
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].rect.Left, list->ColumnLeft(4));
    std::vector<std::pair<CodePageString, TPoint>> texts;
    for (const TCanvasOp& op : canvas.OpsOf(TCanvasOp::Text))
        texts.push_back({op.text, op.points[0]});
    // "one two three four" wraps in its 60 pixels, from the top.
    EXPECT_NE(std::find(texts.begin(), texts.end(), std::pair<CodePageString, TPoint>{"one two", {list->ColumnLeft(2) + 2, 0}}),
              texts.end());
    EXPECT_EQ(texts.back().first, "Engine");  // the detail line, last
    EXPECT_EQ(texts.back().second.y, 25);
    EXPECT_EQ(canvas.OpsOf(TCanvasOp::Line).front().points[0].y, 24);

    TBitmap tile(8, 8);
    list->SetWallpaper(&tile);
    TFixedCanvas papered;
    list->PaintRow(0, row, {}, &papered);
    for (const TCanvasOp& fill : papered.OpsOf(TCanvasOp::Fill))
        EXPECT_NE(fill.brushColor, list->Color());  // text over the wallpaper, no cell fill
    list->SetSmallImages(nullptr);
}

// A selected rich-text cell shows its first 255 characters in the
// selection's text colour; the text after them keeps its own colours.
TEST_F(ListFixture, ASelectedRichCellRecoloursItsFirstCharactersOnly)
{
    list->Columns()->Items(1)->SetWidth(4000);
    list->SetSelectionTextColor(clWhite);
    list->SetCellText(1, 0, "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}\\cf1 " + CodePageString(250, 'a') + " " +
                                CodePageString(50, 'b') + "}");
    const auto painted = [&](TOwnerDrawState state) {
        TFixedCanvas canvas(5000, 100);
        list->PaintRow(0, Rect(0, 0, 4600, 18), state, &canvas);
        std::vector<std::pair<std::size_t, TColor>> pieces;  // length, colour
        for (const TCanvasOp& op : canvas.OpsOf(TCanvasOp::Text))
            if (op.text[0] == 'a' || op.text[0] == 'b')
                pieces.push_back({op.text.size(), op.fontColor});
        return pieces;
    };
    EXPECT_EQ(painted({odSelected}), (std::vector<std::pair<std::size_t, TColor>>{{251, clWhite}, {4, clWhite}, {46, clRed}}));
    EXPECT_EQ(painted({}), (std::vector<std::pair<std::size_t, TColor>>{{251, clRed}, {50, clRed}}));
    list->SetSelectionRTFKeep(true);
    EXPECT_EQ(painted({odSelected}), (std::vector<std::pair<std::size_t, TColor>>{{251, clRed}, {50, clRed}}));
}

TEST_F(ListFixture, HeaderItemsTheListDrawsItself)
{
    list->SetHeaderOwnerDraw(true);
    EXPECT_TRUE(list->Columns()->Items(1)->HeaderOwnerDraw());
    TBitmap up(8, 8), down(8, 6);
    list->SetSortUpGlyph(&up);
    list->SetSortDownGlyph(&down);
    list->SetSortShow(true);
    list->SetSortColumn(1);
    TFixedCanvas canvas;
    list->HandlePaintHeaderItem(1, Rect(120, 0, 320, 19), false, &canvas);
    ASSERT_FALSE(canvas.OpsOf(TCanvasOp::Fill).empty());
    EXPECT_EQ(canvas.OpsOf(TCanvasOp::Fill)[0].brushColor, clBtnFace);
    ASSERT_EQ(canvas.OpsOf(TCanvasOp::Bitmap).size(), 1u);
    EXPECT_EQ(canvas.OpsOf(TCanvasOp::Bitmap)[0].rect, Rect(122, 3, 130, 11));
    ASSERT_EQ(canvas.Texts(), std::vector<CodePageString>{"URL"});
    EXPECT_EQ(canvas.OpsOf(TCanvasOp::Text)[0].points[0].x, 133);
    list->SetHeaderOwnerDraw(false);
    EXPECT_FALSE(list->Columns()->Items(1)->HeaderOwnerDraw());
}

TEST(ExListViewForm, TheListTakesOverTheFormsResizeAndKeepsItsHandler)
{
    TForm form(nullptr);
    form.SetBounds(0, 0, 400, 300);
    int resized = 0;
    form.OnResize = [&](TObject* sender) {
        EXPECT_EQ(sender, &form);
        ++resized;
    };
    auto* list = new TExListView(&form);
    list->SetParent(&form);
    list->SetBounds(10, 10, 200, 100);
    list->SetSizeWithForm(true);
    auto* fixed = new TExListView(&form);
    fixed->SetParent(&form);
    fixed->SetBounds(10, 150, 100, 50);

    form.SetBounds(0, 0, 450, 330);
    EXPECT_EQ(list->Width(), 250);
    EXPECT_EQ(list->Height(), 130);
    EXPECT_EQ(fixed->Width(), 100);
    EXPECT_EQ(resized, 1);
    form.SetBounds(0, 0, 100, 100);  // the list would vanish: it keeps its size
    EXPECT_EQ(list->Width(), 250);
    EXPECT_EQ(resized, 2);

    delete list;
    delete fixed;
    form.SetBounds(0, 0, 300, 300);
    EXPECT_EQ(resized, 3);  // the form's handler outlives the lists
}

struct ColumnWidths : ::testing::Test {
    void TearDown() override { ResetHooks(); }
    TempDir dir{"widths"};
    TExListView* NewList()
    {
        auto* list = new TExListView(nullptr);
        for (int width : {120, 45, 200})
            list->Columns()->Add()->SetWidth(width);
        return list;
    }
};

TEST_F(ColumnWidths, AreWrittenWhenTheListGoesAndNeverWithAnEmptySection)
{
    const std::string ini = dir.File("cols.ini");
    TExListView* list = NewList();
    list->ColumnSize()->Save = true;
    list->ColumnSize()->Key = ini;
    list->ColumnSize()->Section = "Engines";
    list->Columns()->Items(1)->SetWidth(77);
    delete list;
    EXPECT_EQ(ReadFileBytes(ini), "[Engines]\r\ncol0=120\r\ncol1=77\r\ncol2=200\r\n");

    list = NewList();
    list->ColumnSize()->Save = true;
    list->ColumnSize()->Key = dir.File("none.ini");
    delete list;  // no Section
    list = NewList();
    list->ColumnSize()->Key = dir.File("none.ini");
    list->ColumnSize()->Section = "Engines";
    delete list;  // no Save
    EXPECT_FALSE(FileExists(dir.File("none.ini")));

    const std::string registry = dir.File("registry.ini");
    GetHooks().registryFile = [&] { return registry; };
    list = NewList();
    list->ColumnSize()->Save = true;
    list->ColumnSize()->Storage = stRegistry;
    list->ColumnSize()->Key = "Software\\Tenvarel";
    list->ColumnSize()->Section = "Ranking";
    delete list;
    EXPECT_EQ(TIniFile(registry).ReadInteger("Software\\Tenvarel\\Ranking", "col2", 0), 200);

    list = NewList();  // a file that cannot be written: the list still goes quietly
    list->ColumnSize()->Save = true;
    list->ColumnSize()->Key = dir.File("no/such/folder/cols.ini");
    list->ColumnSize()->Section = "Engines";
    EXPECT_NO_THROW(delete list);
}

TEST(ExListViewDefaults, EveryPropertyStartsAsTheComponentGivesIt)
{
    TExListView list(nullptr);
    EXPECT_EQ(list.ViewStyle(), vsReport);
    EXPECT_EQ(list.ItemHeight(), 13);
    EXPECT_EQ(list.HeaderHeight(), 13);
    EXPECT_EQ(list.FilterTimeOut(), 500);
    EXPECT_EQ(list.SortDirection(), sdAscending);
    EXPECT_EQ(list.SortIndicator(), siLeft);
    EXPECT_EQ(list.SortColumn(), -1);
    EXPECT_EQ(list.SortedSubItem(), -2);
    EXPECT_EQ(list.VAlignment(), vtaCenter);
    EXPECT_EQ(list.URLColor(), clBlue);
    EXPECT_EQ(list.SelectionColor(), clHighlight);
    EXPECT_EQ(list.SelectionTextColor(), clHighlightText);
    for (bool flag : {list.HeaderHotTrack(), list.HeaderDragDrop(), list.HeaderFlatStyle(), list.HeaderOwnerDraw(),
                      list.SubImages(), list.OwnerDraw(), list.FlatScrollBar(), list.SortShow(), list.SaveHeader(),
                      list.LoadHeader(), list.WordWrap(), list.URLShow(), list.URLFull(), list.SizeWithForm(),
                      list.AutoHint(), list.SelectionRTFKeep(), list.ScrollHint(), list.ReArrangeItems(),
                      list.SubItemEdit(), list.SubItemSelect(), list.ClipboardEnable(), list.FilterBar()})
        EXPECT_FALSE(flag);
    EXPECT_TRUE(list.Wallpaper()->Empty());
    EXPECT_TRUE(list.SortUpGlyph()->Empty());
    EXPECT_EQ(list.HeaderImages(), nullptr);
    EXPECT_EQ(list.VersionText(), "1.53, February 2001");
    EXPECT_EQ(list.VersionNumber(), (53 << 16) | 1);
    list.SetItemHeight(0);
    list.SetItemHeight(-3);
    EXPECT_EQ(list.ItemHeight(), 13);

    const TPrintsettings& p = *list.PrintSettings();
    EXPECT_EQ(p.DateFormat, "dd/mm/yyyy");
    EXPECT_EQ(p.PageNumSep, "/");
    EXPECT_EQ(p.Title, ppNone);
    EXPECT_EQ(p.Borders, pbNoborder);
    EXPECT_EQ(p.Orientation, poPortrait);
    EXPECT_EQ(p.FitToPage, fpNever);
    EXPECT_EQ(p.FooterSize + p.HeaderSize + p.LeftSize + p.RightSize + p.FixedWidth + p.FixedHeight, 0);
    const THTMLSettings& h = *list.HTMLSettings();
    EXPECT_EQ(h.BorderSize, 1);
    EXPECT_EQ(h.CellSpacing, 0);
    EXPECT_TRUE(h.SaveColor && h.SaveFonts);
    EXPECT_EQ(h.Width, 100);
    EXPECT_FALSE(p.Centered || p.RepeatHeaders || p.UseFixedHeight || p.UseFixedWidth);
    EXPECT_EQ(p.BorderStyle, psSolid);
    EXPECT_TRUE(p.TitleText.empty() && p.PagePrefix.empty() && p.PageSuffix.empty() && p.JobName.empty());
    EXPECT_FALSE(list.ColumnSize()->Save || list.ColumnSize()->Stretch);
    EXPECT_TRUE(list.ColumnSize()->Key.empty() && list.ColumnSize()->Section.empty());
    EXPECT_EQ(list.ColumnSize()->Storage, stInifile);
    TDetails& d = *list.DetailView();
    EXPECT_FALSE(d.Visible());
    EXPECT_EQ(d.Column(), 0);
    EXPECT_EQ(d.Height(), 16);
    EXPECT_EQ(d.Indent(), 0);
    EXPECT_EQ(d.Font()->Color(), clBlue);
    EXPECT_FALSE(d.SplitLine());
    d.SetColumn(-2);
    d.SetHeight(-1);
    EXPECT_EQ(d.Column(), 0);
    EXPECT_EQ(d.Height(), 16);
}

// --- the delimited files through the list ------------------------------------------------

struct FileFixture : ::testing::Test {
    void SetUp() override
    {
        list = new TExListView(nullptr);
        for (const char* caption : {"Engines", "Home Page", "Submit Here"})
            list->Columns()->Add()->SetCaption(caption);
    }
    void TearDown() override { delete list; }

    std::vector<std::vector<CodePageString>> Rows() const
    {
        std::vector<std::vector<CodePageString>> rows;
        for (int i = 0; i < list->Items()->Count(); ++i) {
            TListItem* item = list->Items()->Item(i);
            std::vector<CodePageString> row{item->Caption()};
            for (int j = 0; j < item->SubItems()->Count(); ++j)
                row.push_back(item->SubItems()->Strings(j));
            rows.push_back(row);
        }
        return rows;
    }

    TempDir dir{"elv"};
    TExListView* list = nullptr;
};

TEST_F(FileFixture, LoadsAndSavesBackByteForByte)
{
    const std::string file = "Alpha;http://a.example/;http://a.example/add\r\n"
                             "Beta;http://b.example/;http://b.example/s?x=1,2\r\n"
                             "Gamma;;x\r\n"
                             "Delta\r\n";
    const std::string path = dir.Write("datam.czc", file);
    list->LoadFromDelimitedFile(path);
    EXPECT_EQ(list->Delimiter, ';');
    EXPECT_EQ(Rows(), (std::vector<std::vector<CodePageString>>{
                          {"Alpha", "http://a.example/", "http://a.example/add"},
                          {"Beta", "http://b.example/", "http://b.example/s?x=1,2"},
                          {"Gamma", "", "x"},
                          {"Delta"}}));
    EXPECT_EQ(list->Items()->Item(0)->ImageIndex(), -1);

    list->SaveToDelimitedFile(path);
    EXPECT_EQ(ReadFileBytes(path), file);

    list->LoadFromDelimitedFile(path);  // appends
    EXPECT_EQ(list->Items()->Count(), 8);
}

TEST_F(FileFixture, AMissingFileLeavesTheListAlone)
{
    list->Items()->Add()->SetCaption("kept");
    try {
        list->LoadFromDelimitedFile(dir.File("absent.czc"));
        FAIL() << "no error";
    } catch (const EExListViewError& e) {
        EXPECT_EQ(e.Message, "File cannot be opened");
    }
    EXPECT_THROW(list->LoadFromDelimitedFile(dir.Path()), EExListViewError);  // a folder
    EXPECT_EQ(Rows(), (std::vector<std::vector<CodePageString>>{{"kept"}}));
    EXPECT_EQ(list->Columns()->Count(), 3);
    EXPECT_EQ(list->Delimiter, 0);
}

// Deleting the last engine must stick: an empty list writes an empty file.
TEST_F(FileFixture, AnEmptyListWritesAnEmptyFile)
{
    const std::string path = dir.Write("datam.czc", "Old,one,two\r\n");
    list->SaveToDelimitedFile(path);
    EXPECT_EQ(ReadFileBytes(path), "");

    list->SetSaveHeader(true);
    list->SaveToDelimitedFile(path);
    EXPECT_EQ(ReadFileBytes(path), "Engines,Home Page,Submit Here\r\n");
}

// Items without columns write nothing: an existing file is left as it was,
// and none is made.
TEST_F(FileFixture, ItemsWithoutColumnsWriteNothing)
{
    list->Columns()->Clear();
    list->Items()->Add()->SetCaption("kept out");
    const std::string path = dir.Write("datam.czc", "Old,one,two\r\n");
    list->SaveToDelimitedFile(path);
    EXPECT_EQ(ReadFileBytes(path), "Old,one,two\r\n");
    list->SaveToDelimitedFile(dir.File("new.czc"));
    EXPECT_FALSE(FileExists(dir.File("new.czc")));
}

TEST_F(FileFixture, AHeaderLineRebuildsColumnsAndItems)
{
    list->Items()->Add()->SetCaption("gone");
    const std::string path = dir.Write("h.txt", "Name|Url\r\nx|y\r\nz|w\r\n");
    list->SetLoadHeader(true);
    list->LoadFromDelimitedFile(path);
    ASSERT_EQ(list->Columns()->Count(), 2);
    EXPECT_EQ(list->Columns()->Items(0)->Caption(), "Name");
    EXPECT_EQ(list->Columns()->Items(1)->Caption(), "Url");
    EXPECT_EQ(Rows(), (std::vector<std::vector<CodePageString>>{{"x", "y"}, {"z", "w"}}));

    list->SetSaveHeader(true);
    list->SaveToDelimitedFile(path);
    EXPECT_EQ(ReadFileBytes(path), "Name|Url\r\nx|y\r\nz|w\r\n");
}

TEST_F(FileFixture, ASaveThatCannotWriteSaysSo)
{
    list->Items()->Add()->SetCaption("new");
    EXPECT_THROW(list->SaveToDelimitedFile(dir.File("no/such/folder/datam.czc")), EFCreateError);
}

}  // namespace
