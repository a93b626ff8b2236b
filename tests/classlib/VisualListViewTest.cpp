// The list view: items, sub-items, check boxes, bulk loading and owner drawing.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>


#include "classlib/Forms.h"
#include "classlib/ListView.h"
#include "support/ControlWindows.h"
#include "support/Loop.h"

namespace {

struct ListFixture : ::testing::Test {
    void SetUp() override
    {
        form = new TForm(Application);
        form->SetBounds(0, 0, 400, 300);
        list = new TListView(form);
        list->Name = "ExListView2";
        list->SetParent(form);
        list->SetAlign(alClient);
        list->SetViewStyle(vsReport);
        for (const char* caption : {"Engines", "URL", "Result"}) {
            TListColumn* c = list->Columns()->Add();
            c->SetCaption(caption);
            c->SetWidth(100);
        }
    }
    void TearDown() override { delete form; }

    TListItem* AddRow(const CodePageString& caption, std::initializer_list<const char*> subs)
    {
        TListItem* item = list->Items()->Add();
        item->SetCaption(caption);
        for (const char* s : subs)
            item->SubItems()->Add(s);
        return item;
    }

    TForm* form = nullptr;
    TListView* list = nullptr;
};

TEST_F(ListFixture, ItemsShowTheirCaptionAndSubItemsAsCells)
{
    AddRow("Alpha", {"http://a.example.com/", "OK"});
    AddRow("Beta", {"http://b.example.com/"});
    auto* view = dynamic_cast<QAbstractItemView*>(WindowOf(list));
    ASSERT_NE(view, nullptr);
    QAbstractItemModel* model = view->model();
    ASSERT_EQ(model->rowCount(), 2);
    ASSERT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->index(0, 0).data().toString(), "Alpha");
    EXPECT_EQ(model->index(0, 2).data().toString(), "OK");
    EXPECT_EQ(model->index(1, 2).data().toString(), "");  // fewer sub-items: empty cell
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "URL");

    list->Items()->Item(1)->SubItems()->Add("Failed");
    EXPECT_EQ(model->index(1, 2).data().toString(), "Failed");
    list->Items()->Delete(0);
    EXPECT_EQ(model->rowCount(), 1);
    EXPECT_EQ(list->Items()->Item(0)->Index(), 0);
    EXPECT_EQ(list->Items()->Item(0)->Caption(), "Beta");
    EXPECT_THROW(list->Items()->Item(1), EListError);
}

// Sub-items put in at once and sub-items changed through the row's list are
// the same texts, whichever comes first; a row's list that has a handler
// tells it once for the whole replacement; a copied row takes the texts.
TEST_F(ListFixture, SubItemsSetAtOnceAreTheRowsSubItemList)
{
    auto* view = dynamic_cast<QAbstractItemView*>(WindowOf(list));
    QAbstractItemModel* model = view->model();
    TListItem* fresh = list->Items()->Add();
    fresh->SetCaption("Fresh");
    fresh->SetSubItems({"http://f.example.com/", "OK"});
    EXPECT_EQ(model->index(0, 1).data().toString(), "http://f.example.com/");
    EXPECT_EQ(model->index(0, 2).data().toString(), "OK");
    EXPECT_EQ(fresh->SubItemRef(1), "OK");
    EXPECT_EQ(fresh->SubItemRef(2), "");
    EXPECT_EQ(fresh->SubItemRef(-1), "");
    ASSERT_EQ(fresh->SubItems()->Count(), 2);
    EXPECT_EQ(fresh->SubItems()->Strings(0), "http://f.example.com/");
    fresh->SubItems()->SetStrings(1, "Failed");
    EXPECT_EQ(fresh->SubItemRef(1), "Failed");
    EXPECT_EQ(model->index(0, 2).data().toString(), "Failed");
    EXPECT_EQ(fresh->SubItems(), fresh->SubItems());  // the same list every time

    TListItem* watched = AddRow("Watched", {"old url", "old result", "old extra"});
    int changes = 0;
    watched->SubItems()->OnChange = [&](TObject*) { ++changes; };
    watched->SetSubItems({"new url"});
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(watched->SubItems()->Text(), "new url\r\n");
    EXPECT_EQ(model->index(1, 1).data().toString(), "new url");
    EXPECT_EQ(model->index(1, 2).data().toString(), "");

    TListItem* copy = list->Items()->Add();
    copy->Assign(*fresh);
    EXPECT_EQ(copy->Caption(), "Fresh");
    EXPECT_EQ(copy->SubItemRef(0), "http://f.example.com/");
    EXPECT_EQ(copy->SubItemRef(1), "Failed");
    watched->Assign(*copy);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(watched->SubItems()->Count(), 2);
    EXPECT_EQ(model->index(1, 2).data().toString(), "Failed");
}

TEST_F(ListFixture, CheckBoxesToggleThroughTheViewAndReportTheChange)
{
    list->SetCheckboxes(true);
    TListItem* item = AddRow("Alpha", {});
    std::vector<TItemChange> changes;
    list->OnChange = [&](TObject*, TListItem* changed, TItemChange change) {
        EXPECT_EQ(changed, item);
        changes.push_back(change);
    };
    auto* view = dynamic_cast<QAbstractItemView*>(WindowOf(list));
    QAbstractItemModel* model = view->model();
    EXPECT_EQ(model->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    model->setData(model->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_TRUE(item->Checked());
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], ctState);
    item->SetChecked(false);
    EXPECT_EQ(model->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
}

TEST_F(ListFixture, SelectionFollowsTheViewAndTheSelectedProperty)
{
    AddRow("Alpha", {});
    TListItem* beta = AddRow("Beta", {});
    EXPECT_EQ(list->Selected(), nullptr);
    list->SetSelected(beta);
    EXPECT_EQ(list->Selected(), beta);
    EXPECT_TRUE(beta->Selected());
    list->SetSelected(nullptr);
    EXPECT_EQ(list->Selected(), nullptr);
}

TEST_F(ListFixture, BulkLoadBetweenBeginAndEndUpdateAnnouncesRowsOnce)
{
    auto* view = dynamic_cast<QAbstractItemView*>(WindowOf(list));
    form->Show();
    list->Items()->BeginUpdate();
    for (int i = 0; i < 100000; ++i) {
        TListItem* item = list->Items()->Add();
        item->SetCaption("Engine " + IntToStr(i));
        item->SubItems()->Add("http://www.example.com/submit.cgi");
        item->SubItems()->Add("");
        if (i == 500) {
            EXPECT_EQ(view->model()->rowCount(), 0);  // nothing shown during the update
        }
    }
    list->Items()->EndUpdate();
    EXPECT_EQ(view->model()->rowCount(), 100000);
    EXPECT_EQ(view->model()->index(99999, 0).data().toString(), "Engine 99999");
    list->Items()->Item(99999)->MakeVisible();
    SaveFormScreenshot(form, ::testing::TempDir() + "/listview.png");
}

TEST_F(ListFixture, OwnerDrawnRowsPaintThroughDrawItem)
{
    list->SetOwnerDraw(true);
    AddRow("Alpha", {"x"});
    AddRow("Beta", {"y"});
    std::vector<int> painted;
    list->OnDrawItem = [&](TObject*, TListItem* item, const TRect& rect, TOwnerDrawState) {
        painted.push_back(item->Index());
        EXPECT_EQ(rect.Height(), list->RowHeight());
        list->Canvas()->FillRect(rect);
    };
    form->Show();
    ASSERT_TRUE(SaveFormScreenshot(form, ::testing::TempDir() + "/ownerdraw.png"));
    EXPECT_NE(std::find(painted.begin(), painted.end(), 0), painted.end());
    EXPECT_NE(std::find(painted.begin(), painted.end(), 1), painted.end());
}

}  // namespace
