// The enhanced list view: its own check boxes, row images, sub-items, link
// cells and the delimited text files.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QMouseEvent>

#include "classlib/Forms.h"
#include "classlib/ImgList.h"
#include "controls/ElvUtil.h"
#include "controls/ExListV.h"
#include "platform/Hooks.h"
#include "support/FixedCanvas.h"
#include "support/Loop.h"
#include "support/TempDir.h"

namespace {

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

    void AddRow(const char* caption, std::vector<AnsiString> subItems)
    {
        TListItem* item = list->Items()->Add();
        item->SetCaption(caption);
        for (const AnsiString& s : subItems)
            item->SubItems()->Add(s);
    }

    // A left click at a point of the item area, through the toolkit.
    void ClickAt(int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        QWidget* viewport = static_cast<QAbstractItemView*>(list->Widget())->viewport();
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
        AnsiString text;
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

// --- the delimited files through the list ------------------------------------------------

struct FileFixture : ::testing::Test {
    void SetUp() override
    {
        list = new TExListView(nullptr);
        for (const char* caption : {"Engines", "Home Page", "Submit Here"})
            list->Columns()->Add()->SetCaption(caption);
    }
    void TearDown() override { delete list; }

    std::vector<std::vector<AnsiString>> Rows() const
    {
        std::vector<std::vector<AnsiString>> rows;
        for (int i = 0; i < list->Items()->Count(); ++i) {
            TListItem* item = list->Items()->Item(i);
            std::vector<AnsiString> row{item->Caption()};
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
    EXPECT_EQ(Rows(), (std::vector<std::vector<AnsiString>>{
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
    EXPECT_EQ(Rows(), (std::vector<std::vector<AnsiString>>{{"kept"}}));
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

TEST_F(FileFixture, AHeaderLineRebuildsColumnsAndItems)
{
    list->Items()->Add()->SetCaption("gone");
    const std::string path = dir.Write("h.txt", "Name|Url\r\nx|y\r\nz|w\r\n");
    list->SetLoadHeader(true);
    list->LoadFromDelimitedFile(path);
    ASSERT_EQ(list->Columns()->Count(), 2);
    EXPECT_EQ(list->Columns()->Items(0)->Caption(), "Name");
    EXPECT_EQ(list->Columns()->Items(1)->Caption(), "Url");
    EXPECT_EQ(Rows(), (std::vector<std::vector<AnsiString>>{{"x", "y"}, {"z", "w"}}));

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
