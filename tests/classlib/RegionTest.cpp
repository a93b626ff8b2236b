#include <gtest/gtest.h>

#include <climits>

#include "classlib/Graphics.h"
#include "support/FixedCanvas.h"

namespace {

// The pixels a region covers inside a clip, as a picture of rows.
std::vector<std::string> Picture(const TRegion& region, const TRect& clip)
{
    std::vector<std::string> rows(size_t(clip.Height()), std::string(size_t(clip.Width()), '.'));
    for (const TRect& r : region.RectsWithin(clip))
        for (int y = r.Top; y < r.Bottom; ++y)
            for (int x = r.Left; x < r.Right; ++x)
                rows[size_t(y - clip.Top)][size_t(x - clip.Left)] = '#';
    // Filling and hit-testing must agree pixel for pixel.
    for (int y = clip.Top; y < clip.Bottom; ++y)
        for (int x = clip.Left; x < clip.Right; ++x)
            EXPECT_EQ(region.Contains(x, y), rows[size_t(y - clip.Top)][size_t(x - clip.Left)] == '#') << x << "," << y;
    return rows;
}

TEST(Region, ShapesCoverTheirPixels)
{
    EXPECT_EQ(Picture(TRegion::FromEllipse(Rect(0, 0, 7, 5)), Rect(0, 0, 7, 5)),
              (std::vector<std::string>{".#####.", "#######", "#######", "#######", ".#####."}))
        << "pixels whose centre lies inside";
    EXPECT_EQ(Picture(TRegion::FromPolygon({{0, 0}, {6, 0}, {0, 6}}), Rect(0, 0, 6, 6)),
              (std::vector<std::string>{"#####.", "####..", "###...", "##....", "#.....", "......"}));
    // A self-crossing star is filled by winding: its centre stays inside.
    const TRegion star = TRegion::FromPolygon({{5, 0}, {8, 10}, {0, 3}, {10, 3}, {2, 10}});
    EXPECT_TRUE(star.Contains(5, 5));
    TRegion holed = TRegion::FromRect(Rect(0, 0, 4, 3));
    holed.Subtract(Rect(1, 1, 3, 2));
    EXPECT_EQ(Picture(holed, Rect(0, 0, 4, 3)), (std::vector<std::string>{"####", "#..#", "####"}));
    EXPECT_TRUE(TRegion().Empty());
    EXPECT_TRUE(TRegion::FromPolygon({{0, 0}, {1, 1}}).Empty());
}

TEST(Region, FillTouchesOnlyTheClip)
{
    TFixedCanvas canvas(20, 10);
    TRegion huge = TRegion::FromRect(Rect(-2000000000, -2000000000, 2000000000, 2000000000));
    huge.Subtract(Rect(5, 0, 10, 10));
    canvas.FillRegion(huge);
    std::vector<TRect> fills;
    for (const TCanvasOp& op : canvas.OpsOf(TCanvasOp::Fill))
        fills.push_back(op.rect);
    EXPECT_EQ(fills, (std::vector<TRect>{Rect(0, 0, 5, 10), Rect(10, 0, 20, 10)})) << "rows merge into rectangles";
}

TEST(CanvasAdditions, MulDivRoundsAndGuards)
{
    struct Case {
        int a, b, c, result;
    };
    const Case cases[] = {
        {10, 3, 4, 8},  {10, 1, 4, 3},  {-10, 1, 4, -3}, {10, -1, 4, -3}, {5, 1, 2, 3},
        {-5, 1, 2, -3}, {7, 0, 3, 0},   {1, 1, 0, -1},   {INT_MAX, 2, 1, -1}, {INT_MAX, 2, 2, INT_MAX},
        {12, 14, 12, 14}, {-7, 3, -2, 11},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.result) << c.a << "*" << c.b << "/" << c.c;
}

TEST(CanvasAdditions, PaletteRelativeColoursDrawAsTheirRgb)
{
    EXPECT_EQ(PaletteRelative(clRed), 0x020000FF);
    EXPECT_EQ(PaletteRGB(1, 2, 3), 0x02030201);
    EXPECT_EQ(ColorToRGB(PaletteRelative(RGB(10, 20, 30))), RGB(10, 20, 30));
    EXPECT_EQ(PaletteRelative(clBtnFace), clBtnFace) << "system colours keep their form";
    const TPalette palette = {{0, 0, 0, 0}, {250, 250, 250, 0}, {200, 0, 0, 0}};
    EXPECT_EQ(GetNearestPaletteIndex(palette, PaletteRGB(190, 20, 10)), 2);
    EXPECT_EQ(GetNearestPaletteIndex({}, clRed), -1);
}

TEST(CanvasAdditions, MaskedDrawLeavesTheMaskedPixels)
{
    TBitmap picture(2, 1);
    picture.SetPixel(0, 0, clBlue);
    picture.SetPixel(1, 0, clLime);
    TBitmap mask(2, 1);
    mask.SetPixel(0, 0, clBlack);
    mask.SetPixel(1, 0, clWhite);
    TBitmap target(4, 2);
    target.Canvas()->Brush()->SetColor(clRed);
    target.Canvas()->FillRect(Rect(0, 0, 4, 2));
    target.Canvas()->DrawMasked(Rect(0, 0, 4, 2), picture, Rect(0, 0, 2, 1), mask);
    EXPECT_EQ(target.GetPixel(0, 0), clBlue);
    EXPECT_EQ(target.GetPixel(1, 1), clBlue);
    EXPECT_EQ(target.GetPixel(2, 0), clRed);
    EXPECT_EQ(target.GetPixel(3, 1), clRed);
}

// A large picture drawn small takes the pixel under each target pixel's
// centre, and nothing is drawn outside the clip.
TEST(CanvasAdditions, MaskedDrawOfALargePictureSamplesItAndKeepsToTheClip)
{
    TBitmap picture(400, 200);
    picture.Canvas()->Brush()->SetColor(clBlue);
    picture.Canvas()->FillRect(Rect(0, 0, 200, 200));
    picture.Canvas()->Brush()->SetColor(clLime);
    picture.Canvas()->FillRect(Rect(200, 0, 400, 200));
    TBitmap mask(400, 200);  // white: the top half is left out
    mask.Canvas()->Brush()->SetColor(clBlack);
    mask.Canvas()->FillRect(Rect(0, 100, 400, 200));

    TBitmap target(4, 2);
    target.Canvas()->Brush()->SetColor(clRed);
    target.Canvas()->FillRect(Rect(0, 0, 4, 2));
    const TRect saved = target.Canvas()->IntersectClip(Rect(0, 0, 3, 2));
    target.Canvas()->DrawMasked(Rect(0, 0, 4, 2), picture, Rect(0, 0, 400, 200), mask);
    target.Canvas()->RestoreClip(saved);
    const TColor expected[2][4] = {{clRed, clRed, clRed, clRed}, {clBlue, clBlue, clLime, clRed}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(target.GetPixel(x, y), expected[y][x]) << x << "," << y;
}

}  // namespace
