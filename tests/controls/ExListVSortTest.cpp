// Sorting the enhanced list view: every comparison style as one table, the
// header-click sequence, and sorts that the comparisons cannot break.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ListCaptions.h"
#include "classlib/Dates.h"
#include "classlib/ListView.h"
#include "controls/ExListV.h"

namespace {

enum TOrder { Before = -1, Same = 0, After = 1 };

struct TComparisonCase {
    TSortStyle Style;
    const char* A;
    const char* B;
    TOrder Expected;
    const char* Prefix = "";
    const char* Suffix = "";
};

// The formats of the tests: m/d/yyyy, "." decimals and "," thousands.
TFormatSettings UsFormats()
{
    TFormatSettings s;
    s.ShortDateFormat = "m/d/yyyy";
    s.DateSeparator = '/';
    s.TimeSeparator = ':';
    s.DecimalSeparator = '.';
    s.ThousandSeparator = ',';
    return s;
}

TEST(ExListViewComparisons, EveryStyleOrdersItsPairs)
{
    const TComparisonCase cases[] = {
        // 0: "greater" for every pair, in either order
        {ssGreater, "a", "b", After},
        {ssGreater, "b", "a", After},
        {ssGreater, "x", "x", After},
        // 1 and 5: bytes, case counts
        {ssText, "a", "B", After},
        {ssText, "abc", "abd", Before},
        {ssText, "ab", "abc", Before},
        {ssText, "x", "x", Same},
        {ssText, "\xE9t\xE9", "zoo", After},  // bytes above 127 sort after ASCII
        {ssTextCase, "Zoo", "apple", Before},
        // 4: letters a to z upper-cased
        {ssTextNoCase, "a", "B", Before},
        {ssTextNoCase, "Engine", "ENGINE", Same},
        {ssTextNoCase, "\xE9", "\xC9", After},  // only a to z fold
        // 2: numbers; an empty text is 0; a text that is no number equals anything
        {ssNumber, "10", "9", After},
        {ssNumber, "1.5", "1.50", Same},
        {ssNumber, "-3", "2", Before},
        {ssNumber, "", "0", Same},
        {ssNumber, "", "-1", After},
        {ssNumber, "1e3", "999", After},
        {ssNumber, " 7 ", "7", Same},
        {ssNumber, "1,200", "5", Same},
        {ssNumber, "abc", "5", Same},
        {ssNumber, "$10", "$9", After, "$"},
        {ssNumber, "12 km", "3 km", After, "", " km"},
        // 9: thousands separators go first
        {ssThousands, "$1,200", "$900", After, "$"},
        {ssThousands, "1,000,000", "999,999.5", After},
        {ssThousands, "n/a", "1", Same},
        // 3: the system's date and time; a text that is none counts as 0
        {ssDateTime, "12/10/2026 11:21:24 AM", "12/10/2026 9:05:00 AM", After},
        {ssDateTime, "12/10/2026 1:00:00 PM", "12/10/2026 11:59:59 AM", After},
        {ssDateTime, "1/2/2003", "12/31/2002", After},
        {ssDateTime, "garbage", "1/1/1900", Before},
        {ssDateTime, "garbage", "", Same},
        // 6: day-month-year, 7: month-day-year; years above 25 are of the 1900s
        {ssDayMonthYear, "03/04/05", "02/05/05", Before},  // 3 April, 2 May
        {ssMonthDayYear, "03/04/05", "02/05/05", After},   // 4 March, 5 February
        {ssDayMonthYear, "1-2-99", "1.2.05", Before},
        {ssDayMonthYear, "31/02/05", "1/1/00", Before},    // no such day: 0
        {ssDayMonthYear, "5/5", "1/1/00", Before},         // splits once only: 0
        {ssMonthDayYear, "12-31-25", "1-1-26", After},     // 2025 and 1926
    };
    const TFormatSettings settings = UsFormats();
    for (const TComparisonCase& c : cases) {
        TSortFormat format;
        format.Style = c.Style;
        format.Prefix = c.Prefix;
        format.Suffix = c.Suffix;
        EXPECT_EQ(CompareSortTexts(c.A, c.B, format, settings), int(c.Expected))
            << "style " << int(c.Style) << ": " << c.A << " / " << c.B;
    }
}

TEST(ExListViewComparisons, TheSystemsSeparatorsAreRead)
{
    TFormatSettings settings = UsFormats();
    settings.DecimalSeparator = ',';
    settings.ThousandSeparator = '.';
    TSortFormat format;
    format.Style = ssThousands;
    EXPECT_EQ(CompareSortTexts("1.200,5", "1.200,25", format, settings), 1);
    format.Style = ssNumber;
    EXPECT_EQ(CompareSortTexts("2,5", "10", format, settings), -1);
    double value = 0;
    EXPECT_FALSE(SortNumber("1.200,5", format, settings, value));  // thousands only for style 9

    settings.ShortDateFormat = "dd.mm.yyyy";
    settings.DateSeparator = '.';
    EXPECT_EQ(SortDate("03.04.2005", ssDateTime, settings), EncodeDate(2005, 4, 3));
}

// --- on the list ------------------------------------------------------------------------------

struct SortFixture : ::testing::Test {
    void SetUp() override
    {
        list = new TExListView(nullptr);
        for (const char* caption : {"Engines", "Hits", "Type"})
            list->Columns()->Add()->SetCaption(caption);
        Add("Gamma", "10", "b");
        Add("alpha", "9", "c");
        Add("Beta", "100", "a");
        list->OnColumnClick = [this](TObject*, TListColumn* column) { clicked.push_back(column->Index()); };
    }
    void TearDown() override { delete list; }

    void Add(const char* caption, const char* hits, const char* type)
    {
        TListItem* item = list->Items()->Add();
        item->SetCaption(caption);
        item->SubItems()->Add(hits);
        item->SubItems()->Add(type);
    }
    std::vector<CodePageString> Captions() const { return ItemCaptions(*list); }

    TExListView* list = nullptr;
    std::vector<int> clicked;
};

TEST_F(SortFixture, HeaderClicksSortUpThenDownAndKeepTheDirectionForANewColumn)
{
    list->SetSortShow(true);
    std::vector<int> formats, started, done;
    list->OnGetFormat = [&](TObject*, int column, TSortStyle& style, CodePageString&, CodePageString&) {
        formats.push_back(column);
        if (column == 0)
            style = ssNumber;  // the Hits column
    };
    list->OnSortStart = [&](TObject*, int column, bool&) { started.push_back(column); };
    list->OnSortDone = [&](TObject*, int column) { done.push_back(column); };

    list->HandleColumnClick(1);
    EXPECT_EQ(Captions(), (std::vector<CodePageString>{"alpha", "Gamma", "Beta"}));  // 9, 10, 100
    EXPECT_EQ(list->SortColumn(), 1);
    EXPECT_EQ(list->SortedSubItem(), 0);
    ASSERT_FALSE(formats.empty());
    EXPECT_EQ(formats.front(), 0);  // the sorted sub-item index, not the column

    list->HandleColumnClick(1);
    EXPECT_EQ(list->SortDirection(), sdDescending);
    EXPECT_EQ(Captions(), (std::vector<CodePageString>{"Beta", "Gamma", "alpha"}));

    formats.clear();
    list->HandleColumnClick(0);  // another column: still descending, by bytes
    EXPECT_EQ(list->SortDirection(), sdDescending);
    EXPECT_EQ(Captions(), (std::vector<CodePageString>{"alpha", "Gamma", "Beta"}));
    EXPECT_EQ(formats.front(), -1);

    EXPECT_EQ(started, (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(done, (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(clicked, (std::vector<int>{1, 1, 0}));
}

TEST_F(SortFixture, SortStartMayRefuseAndWithoutSortShowAClickOnlyClicks)
{
    list->SetSortShow(true);
    bool allow = false;
    int done = 0;
    list->OnSortStart = [&](TObject*, int, bool& enable) { enable = allow; };
    list->OnSortDone = [&](TObject*, int) { ++done; };
    list->HandleColumnClick(2);
    EXPECT_EQ(Captions(), (std::vector<CodePageString>{"Gamma", "alpha", "Beta"}));
    EXPECT_EQ(list->SortColumn(), -1);
    EXPECT_EQ(done, 0);
    allow = true;
    list->HandleColumnClick(2);
    EXPECT_EQ(Captions(), (std::vector<CodePageString>{"Beta", "Gamma", "alpha"}));  // a, b, c
    EXPECT_EQ(done, 1);

    list->SetSortShow(false);
    list->HandleColumnClick(0);
    EXPECT_EQ(Captions(), (std::vector<CodePageString>{"Beta", "Gamma", "alpha"}));
    EXPECT_EQ(list->SortColumn(), 2);
    EXPECT_EQ(clicked, (std::vector<int>{2, 2, 0}));
}

TEST_F(SortFixture, CustomAndRawComparisonsGetTheirArguments)
{
    list->SetSortShow(true);
    list->OnGetFormat = [](TObject*, int, TSortStyle& style, CodePageString&, CodePageString&) { style = ssCustom; };
    list->OnCustomCompare = [](TObject*, int column, const CodePageString& a, const CodePageString& b, int& res) {
        EXPECT_EQ(column, 1);
        res = int(b.size()) - int(a.size());  // longest type first
    };
    list->Items()->Item(0)->SubItems()->SetStrings(1, "bbb");
    list->HandleColumnClick(2);
    EXPECT_EQ(Captions().front(), "Gamma");

    std::vector<std::pair<int, int>> rows;
    list->OnGetFormat = [](TObject*, int, TSortStyle& style, CodePageString&, CodePageString&) { style = ssRaw; };
    list->OnRawCompare = [&](TObject*, int column, int row1, int row2, int& res) {
        EXPECT_EQ(column, -1);
        rows.push_back({row1, row2});
        res = row2 - row1;  // the rows' places before the sort: reverses the list
    };
    list->HandleColumnClick(0);
    EXPECT_EQ(Captions(), (std::vector<CodePageString>{"Beta", "alpha", "Gamma"}));
    ASSERT_FALSE(rows.empty());
    for (const auto& [a, b] : rows) {
        EXPECT_GE(a, 0);
        EXPECT_LT(b, 3);
    }
}

// Style 0, numbers that are no numbers and answers at random are no order;
// the sort ends and keeps every row.
TEST(ExListViewSorting, ComparisonsThatAreNoOrderCannotBreakTheSort)
{
    TExListView list(nullptr);
    list.Columns()->Add()->SetCaption("Value");
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i)
        list.Items()->Add()->SetCaption(i % 3 == 0 ? "n/a" : IntToStr(long(random() % 100)));
    std::multiset<CodePageString> before;
    for (int i = 0; i < list.Items()->Count(); ++i)
        before.insert(list.Items()->Item(i)->Caption());

    TSortStyle style = ssGreater;
    list.OnGetFormat = [&](TObject*, int, TSortStyle& s, CodePageString&, CodePageString&) { s = style; };
    list.OnCustomCompare = [&](TObject*, int, const CodePageString&, const CodePageString&, int& res) {
        res = int(random() % 3) - 1;
    };
    for (TSortStyle s : {ssGreater, ssNumber, ssThousands, ssCustom}) {
        style = s;
        for (TSortDirection direction : {sdAscending, sdDescending}) {
            list.SetSortDirection(direction);
            list.SetSortColumn(0);
            std::multiset<CodePageString> after;
            for (int i = 0; i < list.Items()->Count(); ++i) {
                EXPECT_EQ(list.Items()->Item(i)->Index(), i);
                after.insert(list.Items()->Item(i)->Caption());
            }
            EXPECT_EQ(after, before) << "style " << int(s);
        }
    }
}

// The text styles order many rows as their comparison orders each pair, and
// keep equal texts in their order: texts that all begin alike, differ only
// after eight bytes, only in case, or hold a zero byte, in both directions.
TEST(ExListViewSorting, TextStylesOrderEveryRowAsTheirComparisonAndKeepTies)
{
    const std::vector<CodePageString> pieces = {"", "a", "A", "b", "ab", "aB", "abcdefgh", "abcdefgi",
                                            "abcdefghZ", std::string("ab\0c", 4), std::string("ab\0", 3),
                                            "\xE9t\xE9", "zz"};
    std::mt19937 random(31);
    std::vector<CodePageString> texts;
    for (int i = 0; i < 600; ++i)
        texts.push_back("http://www." + pieces[random() % pieces.size()] + pieces[random() % pieces.size()]);
    for (TSortStyle style : {ssText, ssTextCase, ssTextNoCase}) {
        for (TSortDirection direction : {sdAscending, sdDescending}) {
            TExListView list(nullptr);
            list.Columns()->Add()->SetCaption("Row");
            list.Columns()->Add()->SetCaption("Text");
            for (std::size_t i = 0; i < texts.size(); ++i) {
                TListItem* item = list.Items()->Add();
                item->SetCaption(IntToStr(long(i)));
                item->SubItems()->Add(texts[i]);
            }
            list.OnGetFormat = [&](TObject*, int, TSortStyle& s, CodePageString&, CodePageString&) { s = style; };
            list.SetSortDirection(direction);
            list.SetSortColumn(1);

            std::vector<std::size_t> expected(texts.size());
            for (std::size_t i = 0; i < expected.size(); ++i)
                expected[i] = i;
            const int sign = direction == sdDescending ? -1 : 1;
            std::stable_sort(expected.begin(), expected.end(), [&](std::size_t a, std::size_t b) {
                TSortFormat format;
                format.Style = style;
                return sign * CompareSortTexts(texts[a], texts[b], format, UsFormats()) < 0;
            });
            for (std::size_t i = 0; i < expected.size(); ++i)
                ASSERT_EQ(list.CellText(0, int(i)), IntToStr(long(expected[i])))
                    << "style " << int(style) << ", direction " << int(direction) << ", row " << i;
        }
    }
}

// A comparison that sorts another list reads nothing of that list.
TEST(ExListViewSorting, EachListSortsByItsOwnColumn)
{
    TExListView first(nullptr), second(nullptr);
    for (TExListView* list : {&first, &second}) {
        for (const char* caption : {"A", "B", "C"})
            list->Columns()->Add()->SetCaption(caption);
        for (int i = 0; i < 20; ++i) {
            TListItem* item = list->Items()->Add();
            item->SetCaption(IntToStr(i));
            item->SubItems()->Add(IntToStr(100 + (i * 7) % 20));  // column 1: a shuffle
            item->SubItems()->Add(IntToStr(200 - i));             // column 2: the other way round
        }
    }
    int nested = 0;
    first.OnGetFormat = [&](TObject*, int column, TSortStyle& style, CodePageString&, CodePageString&) {
        EXPECT_EQ(column, 0);
        style = ssNumber;
        if (nested++ == 3)
            second.SetSortColumn(2);
    };
    first.SetSortColumn(1);
    for (int i = 1; i < 20; ++i)
        EXPECT_LT(StrToInt(first.CellText(1, i - 1)), StrToInt(first.CellText(1, i)));
    EXPECT_EQ(second.CellText(0, 0), "19");
}

}  // namespace
