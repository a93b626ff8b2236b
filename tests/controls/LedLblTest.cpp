// The LED label: characters to segments, and where each segment is drawn.
#include <gtest/gtest.h>


#include <functional>
#include <set>
#include <utility>

#include "classlib/Forms.h"
#include "controls/LedLbl.h"
#include "support/FixedCanvas.h"
#include "support/Loop.h"
#include "support/Screen.h"

namespace {

TEST(LedLabel, EachCharacterLightsItsSegments)
{
    // Segments: 1 middle, 2 upper right, 3 top, 4 upper left, 5 lower left,
    // 6 bottom, 7 lower right.
    const struct {
        char c;
        std::set<int> lit;
    } cases[] = {
        {'0', {2, 3, 4, 5, 6, 7}}, {'1', {2, 7}},          {'2', {1, 2, 3, 5, 6}},
        {'3', {1, 2, 3, 6, 7}},    {'4', {1, 2, 4, 7}},    {'5', {1, 3, 4, 6, 7}},
        {'6', {1, 3, 4, 5, 6, 7}}, {'7', {2, 3, 7}},       {'8', {1, 2, 3, 4, 5, 6, 7}},
        {'9', {1, 2, 3, 4, 7}},    {'-', {}},              {' ', {}},
        {'A', {}},                 {'\0', {}},             {'\xff', {}},
    };
    for (const auto& c : cases) {
        std::set<int> lit;
        for (int segment = 1; segment <= LedSegmentCount; ++segment)
            if (LedSegmentLit(LedSegmentCode(c.c), segment))
                lit.insert(segment);
        EXPECT_EQ(lit, c.lit) << "character " << int(static_cast<unsigned char>(c.c));
        EXPECT_FALSE(LedSegmentLit(LedSegmentCode(c.c), 0));
    }
}

TEST(LedLabel, TextIsPaddedToTheCellsOnTheAlignedSide)
{
    const struct {
        const char* text;
        int numChars;
        TTextAlign alignment;
        const char* cells;
    } cases[] = {
        {"42", 3, TTARight, " 42"}, {"42", 3, TTALeft, "42 "},  {"1234", 3, TTARight, "123"},
        {"1234", 3, TTALeft, "123"}, {"", 2, TTARight, "  "},    {"8", 1, TTARight, "8"},
        {"17", 0, TTARight, "1"},    {"17", -4, TTALeft, "1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LedCellText(c.text, c.numChars, c.alignment), c.cells) << c.text << " in " << c.numChars;
}

TEST(LedLabel, CellsShareTheWidthAndLeaveTheRestAtTheRight)
{
    EXPECT_EQ(LedCellRect(56, 30, 3, 0), Rect(0, 0, 18, 30));
    EXPECT_EQ(LedCellRect(56, 30, 3, 1), Rect(18, 0, 36, 30));
    EXPECT_EQ(LedCellRect(56, 30, 3, 2), Rect(36, 0, 54, 30));
    EXPECT_EQ(LedCellRect(15, 34, 1, 0), Rect(0, 0, 15, 34));
}

TEST(LedLabel, SegmentPolygonsInACell)
{
    // The constructor's geometry in its 15 by 34 cell:
    // L 1, R 13, T 1, H 15, M 16, s 1.
    const TLedGeometry geometry;
    const TRect cell = Rect(0, 0, 15, 34);
    using P = std::vector<TPoint>;
    const struct {
        int segment;
        P points;
    } cases[] = {
        {lsMiddle, P{{2, 16}, {3, 15}, {11, 15}, {12, 16}, {11, 17}, {3, 17}}},
        {lsUpperRight, P{{13, 3}, {13, 14}, {11, 12}, {11, 5}}},
        {lsTop, P{{2, 1}, {12, 1}, {10, 3}, {4, 3}}},
        {lsUpperLeft, P{{1, 3}, {1, 14}, {3, 12}, {3, 5}}},
        {lsLowerLeft, P{{1, 18}, {1, 29}, {3, 27}, {3, 20}}},
        {lsBottom, P{{2, 31}, {12, 31}, {10, 29}, {4, 29}}},
        {lsLowerRight, P{{13, 18}, {13, 29}, {11, 27}, {11, 20}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LedSegmentPolygon(cell, c.segment, geometry), c.points) << "segment " << c.segment;

    // Thickness 0, as the forms set it: every segment is a line; an odd
    // client height rounds the half height toward zero.
    const TLedGeometry thin{2, 0, 1, 2};
    EXPECT_EQ(LedSegmentPolygon(Rect(18, 0, 36, 25), lsMiddle, thin),
              (P{{21, 12}, {21, 12}, {32, 12}, {32, 12}, {32, 12}, {21, 12}}));
    EXPECT_EQ(LedSegmentPolygon(Rect(18, 0, 36, 25), lsBottom, thin),
              (P{{21, 22}, {32, 22}, {32, 22}, {21, 22}}));
}

struct LedFixture : ::testing::Test {
    void SetUp() override
    {
        form = new TForm(nullptr);
        led = new TLedLabel(form);
        led->Name = "TotalDis";
        led->SetParent(form);
        led->SetOnColor(clLime);
        led->SetOffColor(clGreen);
        led->SetSegmentBorderColor(clYellow);
        led->SetBackGroundColor(clNavy);
    }
    void TearDown() override { delete form; }

    // For each cell, "1" or "0" per segment 1..7 as painted, checking that
    // lit and unlit segments take their colours.
    std::vector<std::string> Painted(TFixedCanvas& canvas)
    {
        led->PaintTo(&canvas);
        std::vector<std::string> cells;
        const auto polygons = canvas.OpsOf(TCanvasOp::Polygon);
        EXPECT_EQ(polygons.size(), std::size_t(LedSegmentCount * led->NumChars()));
        for (std::size_t i = 0; i < polygons.size(); ++i) {
            if (i % LedSegmentCount == 0)
                cells.emplace_back();
            const bool lit = polygons[i].brushColor == clLime;
            EXPECT_EQ(polygons[i].penColor, lit ? clYellow : clGreen) << "polygon " << i;
            if (!lit) {
                EXPECT_EQ(polygons[i].brushColor, clGreen) << "polygon " << i;
            }
            cells.back() += lit ? '1' : '0';
        }
        return cells;
    }

    TForm* form = nullptr;
    TLedLabel* led = nullptr;
};

TEST_F(LedFixture, ConstructsAsTheFormsExpect)
{
    EXPECT_EQ(led->Width(), 15);
    EXPECT_EQ(led->Height(), 34);
    EXPECT_EQ(led->Text(), "8");
    EXPECT_EQ(led->NumChars(), 1);
    EXPECT_EQ(led->Alignment(), TTARight);
    TLedLabel fresh(nullptr);
    EXPECT_EQ(fresh.OnColor(), 255);
    EXPECT_EQ(fresh.OffColor(), 128);
    EXPECT_EQ(fresh.SegmentBorderColor(), 255);
    EXPECT_EQ(fresh.BackGroundColor(), 0);
    EXPECT_EQ(fresh.BorderGap(), 1);
    EXPECT_EQ(fresh.SegmentThickness(), 2);
    EXPECT_EQ(fresh.HorzMargine(), 1);
    EXPECT_EQ(fresh.VertMargine(), 2);
}

TEST_F(LedFixture, PaintsTheBackgroundThenEverySegmentOfEveryCell)
{
    led->SetBounds(0, 0, 45, 34);
    led->SetNumChars(3);
    led->SetText("42");

    TFixedCanvas canvas;
    const auto cells = Painted(canvas);
    ASSERT_FALSE(canvas.Ops().empty());
    EXPECT_EQ(canvas.Ops()[0].kind, TCanvasOp::Fill);
    EXPECT_EQ(canvas.Ops()[0].rect, Rect(0, 0, 45, 34));
    EXPECT_EQ(canvas.Ops()[0].brushColor, clNavy);
    //                                       1234567
    EXPECT_EQ(cells, (std::vector<std::string>{"0000000", "1101001", "1110110"}));

    // The top segment of the third cell, 30 pixels in.
    const auto polygons = canvas.OpsOf(TCanvasOp::Polygon);
    EXPECT_EQ(polygons[2 * LedSegmentCount + 2].points,
              (std::vector<TPoint>{{32, 1}, {42, 1}, {40, 3}, {34, 3}}));

    led->SetAlignment(TTALeft);
    TFixedCanvas left;
    EXPECT_EQ(Painted(left), (std::vector<std::string>{"1101001", "1110110", "0000000"}));

    led->SetText("-1 x");
    TFixedCanvas other;
    EXPECT_EQ(Painted(other), (std::vector<std::string>{"0000000", "0100001", "0000000"}));
}

TEST_F(LedFixture, LeftoverPixelsStayUnpainted)
{
    led->SetBounds(0, 0, 56, 34);
    led->SetNumChars(3);
    led->SetText("888");
    TFixedCanvas canvas;
    Painted(canvas);
    int right = 0;
    for (const TCanvasOp& op : canvas.OpsOf(TCanvasOp::Polygon))
        for (const TPoint& p : op.points)
            right = std::max(right, p.x);
    EXPECT_EQ(right, 36 + 18 - 2);  // the last cell ends at 54; R = Right - gap - 1

    led->SetNumChars(0);  // never below one cell
    EXPECT_EQ(led->NumChars(), 1);
}

// A counter on the screen is painted again when anything it shows changes.
TEST(LedLabel, APaintedCounterIsPaintedAgainWhenASettingChanges)
{
    struct TCountingLed : TLedLabel {
        using TLedLabel::TLedLabel;
        int paints = 0;
        void Paint() override
        {
            ++paints;
            TLedLabel::Paint();
        }
    };
    TForm form(nullptr);
    form.SetBounds(0, 0, 120, 80);
    auto* led = new TCountingLed(&form);
    led->SetParent(&form);
    form.Show();
    ASSERT_TRUE(RunUntil([&] { return led->paints > 0; }));

    const std::pair<const char*, std::function<void()>> changes[] = {
        {"text", [&] { led->SetText("7"); }},
        {"on colour", [&] { led->SetOnColor(clLime); }},
        {"off colour", [&] { led->SetOffColor(clGreen); }},
        {"border colour", [&] { led->SetSegmentBorderColor(clAqua); }},
        {"background", [&] { led->SetBackGroundColor(clNavy); }},
        {"cells", [&] { led->SetNumChars(2); }},
        {"alignment", [&] { led->SetAlignment(TTALeft); }},
        {"thickness", [&] { led->SetSegmentThickness(3); }},
    };
    for (const auto& [what, change] : changes) {
        const int before = led->paints;
        change();
        EXPECT_TRUE(RunUntil([&] { return led->paints > before; })) << what;
    }
}

// A counter that counts on paints again only the cells whose character
// changed, or nothing when told the value it shows, and the screen shows
// every value.
TEST(LedLabel, ACountingCounterRepaintsOnlyTheCellsThatChange)
{
    TForm form(nullptr);
    form.SetBounds(0, 0, 120, 80);
    auto* led = new TLedLabel(&form);
    led->SetParent(&form);
    led->SetBounds(10, 10, 60, 34);  // four cells of 15 pixels
    led->SetNumChars(4);
    led->SetText("120");
    form.Show();
    TPaintCounter counter;
    const auto settle = [&] {
        Application->ProcessMessages();
        return RunUntil([&] { return counter.Unseen([&] { return ShowsItsLatestState(&form); }); });
    };
    ASSERT_TRUE(settle());

    const struct {
        const char* text;
        std::vector<int> cells;  // painted again
    } steps[] = {
        {"121", {3}}, {"121", {}}, {"130", {2, 3}}, {"1000", {0, 1, 2}}, {"999", {0, 1, 2, 3}}, {"", {1, 2, 3}},
    };
    for (const auto& step : steps) {
        counter.painted.clear();
        led->SetText(step.text);
        ASSERT_TRUE(settle()) << step.text;
        QRegion expected;
        for (int cell : step.cells)
            expected += QRect(cell * 15, 0, 15, 34);
        EXPECT_EQ(counter.PaintedOn(led), expected) << step.text;
    }
}

}  // namespace
