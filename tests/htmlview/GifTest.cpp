#include <gtest/gtest.h>

#include <random>

#include "htmlview/HtmlGif.h"
#include "htmlview/HtmlImages.h"
#include "platform/Hooks.h"
#include "support/FixedCanvas.h"
#include "support/GifWriter.h"

namespace {

// The colour of palette entry i of TestPalette as a pixel.
std::uint32_t Pal(int i)
{
    const auto p = TestPalette(256);
    return 0xFF000000u | (std::uint32_t(p[size_t(i) * 3]) << 16) | (std::uint32_t(p[size_t(i) * 3 + 1]) << 8) |
           p[size_t(i) * 3 + 2];
}

constexpr std::uint32_t kBlack = 0xFF000000u;
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

std::uint32_t At(const TBitmap& b, int x, int y)
{
    return b.ScanLine(y)[x];
}

std::unique_ptr<TGIFImage> Load(const std::string& bytes, bool& still)
{
    TMemoryStream stream;
    stream.Write(bytes.data(), std::int64_t(bytes.size()));
    return LoadGifStream(still, &stream);
}

std::unique_ptr<TGIFImage> Load(const GifSpec& spec)
{
    bool still = false;
    return Load(WriteGif(spec), still);
}

class GifTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetHooks().screenColorBits = [] { return 24; };
        GetHooks().tickCount = [this] { return now; };
        ResetImageUnit();
    }
    void TearDown() override
    {
        ResetImageUnit();
        ResetHooks();
    }
    std::uint32_t now = 1000;
};

// --- LZW -----------------------------------------------------------------------------

TEST(GifLzw, RoundTripsEveryCodeSize)
{
    std::mt19937 random(7);
    for (int codeSize = 2; codeSize <= 8; ++codeSize) {
        // Runs and noise, long enough to fill the table and clear it again.
        std::vector<std::uint8_t> pixels(20000);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = std::uint8_t(i % 300 < 150 ? (i / 37) % (1 << codeSize) : random() % (1 << codeSize));
        const std::string data = GifLzwData(pixels, codeSize);
        std::vector<std::uint8_t> out(pixels.size());
        std::size_t pos = 0, written = 0;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
        EXPECT_EQ(DecodeGifLzw(bytes, data.size(), pos, out.data(), out.size(), written), TLzwResult::Done)
            << codeSize;
        EXPECT_EQ(written, pixels.size());
        EXPECT_EQ(out, pixels) << codeSize;
        EXPECT_EQ(pos, data.size());
    }
}

// Codes of `width` bits packed least significant bit first into one sub-block.
std::string Codes(int codeSize, std::initializer_list<std::pair<int, int>> codes)
{
    std::string bytes;
    std::uint32_t acc = 0;
    int n = 0;
    for (auto [code, width] : codes) {
        acc |= std::uint32_t(code) << n;
        n += width;
        while (n >= 8) {
            bytes.push_back(char(acc & 255));
            acc >>= 8;
            n -= 8;
        }
    }
    if (n)
        bytes.push_back(char(acc));
    std::string out(1, char(codeSize));
    out.push_back(char(bytes.size()));
    out += bytes;
    out.push_back('\0');
    return out;
}

TEST(GifLzw, RefusesBadInputWithoutWritingPastTheFrame)
{
    struct Case {
        const char* what;
        std::string data;
        std::size_t count;
        TLzwResult result;
        std::size_t written;
    };
    // Code size 2: clear 4, end 5, first free code 6, codes of 3 bits.
    const Case cases[] = {
        {"code size 0", Codes(0, {{1, 1}}), 4, TLzwResult::BadCodeSize, 0},
        {"code size 9", Codes(9, {{1, 10}}), 4, TLzwResult::BadCodeSize, 0},
        {"code size 12", Codes(12, {{1, 13}}), 4, TLzwResult::BadCodeSize, 0},
        {"a code beyond the next free one", Codes(2, {{4, 3}, {1, 3}, {7, 3}, {5, 3}}), 8, TLzwResult::BadCode, 1},
        {"a first code that is no colour", Codes(2, {{4, 3}, {6, 3}, {5, 3}}), 8, TLzwResult::BadCode, 0},
        {"the next free code repeats the last string", Codes(2, {{4, 3}, {1, 3}, {6, 3}, {5, 3}}), 8,
         TLzwResult::Done, 3},
        {"more pixels than the frame holds", Codes(2, {{4, 3}, {1, 3}, {6, 3}, {7, 3}, {5, 4}}), 4,
         TLzwResult::Done, 4},
        // The padding bits of the last byte read as two codes of 0.
        {"data that end early", Codes(2, {{4, 3}, {1, 3}, {2, 3}}), 8, TLzwResult::OutOfData, 4},
        {"no data at all", std::string(), 8, TLzwResult::OutOfData, 0},
    };
    for (const Case& c : cases) {
        // The guard bytes after the frame must stay untouched.
        std::vector<std::uint8_t> out(c.count + 16, 0xEE);
        std::size_t pos = 0, written = 99;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.data.data());
        EXPECT_EQ(DecodeGifLzw(bytes, c.data.size(), pos, out.data(), c.count, written), c.result) << c.what;
        EXPECT_EQ(written, c.written) << c.what;
        for (size_t i = c.count; i < out.size(); ++i)
            ASSERT_EQ(out[i], 0xEE) << c.what;
        EXPECT_EQ(pos, c.data.size()) << c.what;
    }
}

TEST(GifLzw, InterlacedRowsComeInFourPasses)
{
    std::vector<int> rows;
    for (int n = 0; n < 10; ++n)
        rows.push_back(InterlacedRow(n, 10));
    EXPECT_EQ(rows, (std::vector<int>{0, 8, 4, 2, 6, 1, 3, 5, 7, 9}));
    EXPECT_EQ(InterlacedRow(0, 1), 0);
    EXPECT_EQ(InterlacedRow(1, 2), 1);
}

// --- loading -------------------------------------------------------------------------

TEST_F(GifTest, SingleFrameDecodesToItsPalette)
{
    GifSpec spec = GifScreen(3, 2, 4);
    GifFrameSpec f = GifSolidFrame(0, 0, 3, 2, 0);
    f.indices = {0, 1, 2, 3, 2, 1};
    spec.frames = {f};
    bool still = false;
    auto gif = Load(WriteGif(spec), still);
    ASSERT_TRUE(gif);
    EXPECT_TRUE(still);
    EXPECT_FALSE(gif->Animated());
    EXPECT_FALSE(gif->Unloaded());
    EXPECT_EQ(gif->FrameCount(), 1);
    EXPECT_EQ(gif->GlobalColorBits(), 2);
    const TBitmap* first = gif->FirstFrameBitmap();
    ASSERT_TRUE(first);
    const std::uint32_t expected[2][3] = {{Pal(0), Pal(1), Pal(2)}, {Pal(3), Pal(2), Pal(1)}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(At(*first, x, y), expected[y][x]) << x << "," << y;
    EXPECT_EQ(At(gif->Composite(), 2, 1), Pal(1));
    EXPECT_FALSE(gif->FirstFrameMask());
    EXPECT_EQ(gif->Data().Size(), 0);  // the raw data are let go after the load
}

TEST_F(GifTest, InterlacedFrameLandsRowByRow)
{
    GifSpec spec = GifScreen(2, 11, 16);
    GifFrameSpec f = GifSolidFrame(0, 0, 2, 11, 0);
    for (int y = 0; y < 11; ++y)
        f.indices[size_t(y * 2)] = f.indices[size_t(y * 2 + 1)] = std::uint8_t(y);
    f.interlaced = true;
    spec.frames = {f};
    auto gif = Load(spec);
    ASSERT_TRUE(gif);
    EXPECT_TRUE(gif->Frame(1).Interlaced);
    for (int y = 0; y < 11; ++y)
        EXPECT_EQ(At(*gif->FirstFrameBitmap(), 1, y), Pal(y)) << y;
}

TEST_F(GifTest, TransparentPixelsAreBlackAndWhiteInTheMask)
{
    GifSpec spec = GifScreen(2, 1, 4);
    GifFrameSpec f = GifSolidFrame(0, 0, 2, 1, 0);
    f.indices = {1, 2};
    f.transparentIndex = 2;
    spec.frames = {f};
    auto gif = Load(spec);
    ASSERT_TRUE(gif);
    EXPECT_TRUE(gif->HasTransparency());
    EXPECT_EQ(At(*gif->FirstFrameBitmap(), 0, 0), Pal(1));
    EXPECT_EQ(At(*gif->FirstFrameBitmap(), 1, 0), kBlack);
    ASSERT_TRUE(gif->FirstFrameMask());
    EXPECT_EQ(At(*gif->FirstFrameMask(), 0, 0), kBlack);
    EXPECT_EQ(At(*gif->FirstFrameMask(), 1, 0), kWhite);
    ASSERT_TRUE(gif->CompositeMask());
    EXPECT_EQ(At(*gif->CompositeMask(), 1, 0), kWhite);
}

TEST_F(GifTest, LocalPaletteOverridesTheGlobalOne)
{
    GifSpec spec = GifScreen(2, 1, 4);
    GifFrameSpec first = GifSolidFrame(0, 0, 2, 1, 3);
    GifFrameSpec second = GifSolidFrame(1, 0, 1, 1, 1);
    second.localPalette = {9, 8, 7, 200, 100, 50};
    spec.frames = {first, second};
    auto gif = Load(spec);
    ASSERT_TRUE(gif);
    EXPECT_TRUE(gif->Animated());
    EXPECT_TRUE(gif->Frame(2).HasLocalTable);
    EXPECT_EQ(gif->Frame(2).LocalColorBits, 1);
    gif->GoToFrame(2);
    EXPECT_EQ(At(gif->Composite(), 0, 0), Pal(3));
    EXPECT_EQ(At(gif->Composite(), 1, 0), 0xFFC86432u);
}

TEST_F(GifTest, EachDisposalLeavesWhatItShould)
{
    // Frame 1 fills a 4 x 4 screen with colour 1; frame 2 (2 x 2 at 1,1, colour
    // 2) has the disposal under test; frame 3 is one transparent-capable
    // pixel at 0,0. What frame 2 leaves behind shows at 1,1 under frame 3.
    struct Case {
        int disposal;
        std::uint32_t pixel;
        std::uint32_t mask;
    };
    const Case cases[] = {
        {0, Pal(2), kBlack}, {1, Pal(2), kBlack}, {2, kBlack, kWhite}, {3, Pal(1), kBlack}, {5, kBlack, kWhite},
    };
    for (const Case& c : cases) {
        GifSpec spec = GifScreen(4, 4, 4);
        GifFrameSpec second = GifSolidFrame(1, 1, 2, 2, 2);
        second.disposal = c.disposal;
        GifFrameSpec third = GifSolidFrame(0, 0, 1, 1, 3);
        third.transparentIndex = 0;
        spec.frames = {GifSolidFrame(0, 0, 4, 4, 1), second, third};
        auto gif = Load(spec);
        ASSERT_TRUE(gif);
        gif->GoToFrame(2);
        EXPECT_EQ(At(gif->Composite(), 1, 1), Pal(2)) << c.disposal;
        gif->GoToFrame(3);
        EXPECT_EQ(At(gif->Composite(), 1, 1), c.pixel) << c.disposal;
        EXPECT_EQ(At(*gif->CompositeMask(), 1, 1), c.mask) << c.disposal;
        EXPECT_EQ(At(gif->Composite(), 0, 0), Pal(3)) << c.disposal;
        EXPECT_EQ(At(gif->Composite(), 3, 3), Pal(1)) << c.disposal;
    }
}

TEST_F(GifTest, TransparentFrameKeepsWhatLiesUnder)
{
    GifSpec spec = GifScreen(2, 1, 4);
    GifFrameSpec over = GifSolidFrame(0, 0, 2, 1, 0);
    over.indices = {3, 0};
    over.transparentIndex = 0;
    spec.frames = {GifSolidFrame(0, 0, 2, 1, 1), over};
    auto gif = Load(spec);
    ASSERT_TRUE(gif);
    gif->GoToFrame(2);
    EXPECT_EQ(At(gif->Composite(), 0, 0), Pal(3));
    EXPECT_EQ(At(gif->Composite(), 1, 0), Pal(1));
}

TEST_F(GifTest, SignatureSizesAndFrameCountsDecide)
{
    GifSpec base = GifScreen(2, 2, 2);
    base.frames = {GifSolidFrame(0, 0, 2, 2, 1)};

    bool still = false;
    EXPECT_TRUE(Load(WriteGif(base), still));
    std::string otherVersion = WriteGif(base);
    otherVersion.replace(3, 3, "xyz");
    EXPECT_TRUE(Load(otherVersion, still)) << "the version letters are not examined";
    std::string notGif = WriteGif(base);
    notGif[0] = 'J';
    EXPECT_FALSE(Load(notGif, still));
    EXPECT_FALSE(Load("GIF89a", still));

    GifSpec empty = base;
    empty.frames.clear();
    EXPECT_FALSE(Load(WriteGif(empty), still)) << "no frame, no image";

    GifSpec wide = base;
    wide.width = kMaxGifSide + 1;
    EXPECT_FALSE(Load(WriteGif(wide), still));

    // A frame past the size cap ends the walk; the frames before it stay.
    GifSpec far = base;
    far.frames.push_back(GifSolidFrame(kMaxGifSide - 1, 0, 2, 1, 1));
    auto cut = Load(far);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->FrameCount(), 1);

    // The screen grows to hold every frame.
    GifSpec grown = base;
    grown.frames.push_back(GifSolidFrame(3, 1, 2, 4, 1));
    auto big = Load(grown);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->Width(), 5);
    EXPECT_EQ(big->Height(), 5);
    EXPECT_EQ(big->Composite().Width(), 5);
}

TEST_F(GifTest, FramesBeyondTheCapAreIgnored)
{
    GifSpec spec = GifScreen(1, 1, 2);
    for (int i = 0; i < kMaxGifFrames + 1; ++i)
        spec.frames.push_back(GifSolidFrame(0, 0, 1, 1, std::uint8_t(i & 1)));
    auto gif = Load(spec);
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->FrameCount(), kMaxGifFrames);
}

TEST_F(GifTest, PixelBudgetEndsTheWalk)
{
    // Each frame claims the whole screen with almost no data: a truncated
    // frame is still a frame, so the budget has to stop them.
    GifSpec spec = GifScreen(kMaxGifSide, kMaxGifSide, 2);
    std::string bytes = WriteGif(spec);
    bytes.pop_back();  // the trailer
    for (int i = 0; i < 4; ++i) {
        bytes += ',';
        bytes += std::string("\0\0\0\0\0\x10\0\x10\0", 9);
        bytes += std::string("\x02\x01\x04\0", 4);  // a clear code, nothing more
    }
    bool still = true;
    auto gif = Load(bytes, still);
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->FrameCount(), int(kMaxGifPixels / (kMaxGifSide * kMaxGifSide)));
    EXPECT_FALSE(still);
}

TEST_F(GifTest, CommentsAndLoopCountAreRead)
{
    GifSpec spec = GifScreen(1, 1, 2);
    spec.loopCount = 3;
    spec.frames = {GifSolidFrame(0, 0, 1, 1, 1)};
    std::string bytes = WriteGif(spec);
    const size_t frameAt = bytes.find(',', 13 + 6 + 19);
    bytes.insert(frameAt, std::string("!\xFE\x02hi\x01!\0", 8));
    bool still = false;
    auto gif = Load(bytes, still);
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->LoopCount(), 3);
    EXPECT_EQ(gif->Frame(1).Comment, "hi!");
}

// --- animation -----------------------------------------------------------------------

GifSpec Animation(int loopCount, std::vector<int> delaysCs)
{
    GifSpec spec = GifScreen(1, 1, 8);
    spec.loopCount = loopCount;
    for (size_t i = 0; i < delaysCs.size(); ++i) {
        GifFrameSpec f = GifSolidFrame(0, 0, 1, 1, std::uint8_t(i + 1));
        f.graphicControl = true;
        f.delayCs = delaysCs[i];
        spec.frames.push_back(f);
    }
    return spec;
}

TEST_F(GifTest, AnimationStepsOnTheInjectedClock)
{
    auto gif = Load(Animation(-1, {10, 20, 0}));
    ASSERT_TRUE(gif);
    gif->SetRunning(true);
    EXPECT_EQ(gif->StepInterval(), 100u);
    struct Step {
        std::uint32_t at;
        bool stepped;
        int frame;
        std::uint32_t interval;
    };
    // The first due step only lets the first frame stand; a delay of 0 is
    // shown 100 ms; without a NETSCAPE block the GIF plays once.
    const Step steps[] = {
        {1099, false, 1, 100}, {1100, false, 1, 100}, {1199, false, 1, 100}, {1200, true, 2, 200},
        {1400, true, 3, kZeroDelayMs}, {1500, false, 3, kZeroDelayMs},
    };
    for (const Step& s : steps) {
        now = s.at;
        EXPECT_EQ(gif->StepIfDue(nullptr), s.stepped) << s.at;
        EXPECT_EQ(gif->FrameIndex(), s.frame) << s.at;
        EXPECT_EQ(gif->StepInterval(), s.interval) << s.at;
        EXPECT_EQ(At(gif->Composite(), 0, 0), Pal(s.frame)) << s.at;
    }
    EXPECT_FALSE(gif->Running());
}

TEST_F(GifTest, LoopCountDecidesHowOftenItPlays)
{
    struct Case {
        int loopCount;
        int steps;  // steps to run, 10 ms apart
        bool running;
    };
    // Two frames of 10 ms: one pass takes two steps after the first.
    const Case cases[] = {{-1, 20, false}, {0, 50, true}, {3, 20, false}, {3, 5, true}};
    for (const Case& c : cases) {
        now = 1000;
        auto gif = Load(Animation(c.loopCount, {1, 1}));
        ASSERT_TRUE(gif);
        gif->SetRunning(true);
        int passesEnded = 0;
        for (int i = 0; i < c.steps; ++i) {
            now += 10;
            const int before = gif->FrameIndex();
            gif->StepIfDue(nullptr);
            if (before == 2 && gif->FrameIndex() == 1)
                ++passesEnded;
        }
        EXPECT_EQ(gif->Running(), c.running) << c.loopCount << " " << c.steps;
        if (!c.running) {
            EXPECT_EQ(gif->FrameIndex(), 2) << "stops on its last frame";
            EXPECT_EQ(passesEnded + 1, c.loopCount < 0 ? 1 : c.loopCount) << c.loopCount;
        }
    }
}

TEST_F(GifTest, SpeedAndClockWrap)
{
    auto gif = Load(Animation(0, {10, 10}));
    ASSERT_TRUE(gif);
    gif->SetSpeedPercent(200);
    now = 0xFFFFFFF0u;
    gif->SetRunning(true);
    EXPECT_EQ(gif->StepInterval(), 50u);
    now += 50;  // past the wrap of the clock
    EXPECT_FALSE(gif->StepIfDue(nullptr));  // the skipped first step
    now += 49;
    EXPECT_FALSE(gif->StepIfDue(nullptr));
    now += 1;
    EXPECT_TRUE(gif->StepIfDue(nullptr));
    EXPECT_EQ(gif->FrameIndex(), 2);

    // A speed of 0 or less holds the animation, rather than stepping it
    // every millisecond.
    for (int speed : {0, -50}) {
        gif->SetSpeedPercent(speed);
        for (int i = 0; i < 5; ++i) {
            now += 1000;
            EXPECT_FALSE(gif->StepIfDue(nullptr)) << speed;
        }
        EXPECT_EQ(gif->FrameIndex(), 2) << speed;
    }
    gif->SetSpeedPercent(100);
    now += 1000;
    EXPECT_TRUE(gif->StepIfDue(nullptr)) << "a speed again, and it goes on";
}

TEST_F(GifTest, DuplicatesAnimateOnTheirOwn)
{
    auto gif = Load(Animation(0, {1, 1, 1}));
    ASSERT_TRUE(gif);
    auto copy = gif->Duplicate();
    EXPECT_TRUE(copy->Copied());
    EXPECT_EQ(copy->Frame(2).Bitmap, gif->Frame(2).Bitmap) << "the pictures are shared";
    copy->GoToFrame(3);
    EXPECT_EQ(At(copy->Composite(), 0, 0), Pal(3));
    EXPECT_EQ(At(gif->Composite(), 0, 0), Pal(1));
    EXPECT_EQ(gif->FrameIndex(), 1);
    copy->GoToFrame(4);
    EXPECT_EQ(copy->FrameIndex(), 1) << "past the last frame comes the first";
    copy->GoToFrame(0);
    EXPECT_EQ(copy->FrameIndex(), 3);
}

// --- painting ------------------------------------------------------------------------

GifSpec TransparentPair()
{
    GifSpec spec = GifScreen(2, 1, 4);
    GifFrameSpec f = GifSolidFrame(0, 0, 2, 1, 0);
    f.indices = {1, 0};
    f.transparentIndex = 0;
    spec.frames = {f};
    return spec;
}

TEST_F(GifTest, DrawsThroughItsMaskOntoThePage)
{
    auto gif = Load(TransparentPair());
    ASSERT_TRUE(gif);
    EXPECT_FALSE(gif->Shown()) << "the image object shows it when it paints it";
    gif->SetShown(true);
    TBitmap page(8, 4);
    page.Canvas()->Brush()->SetColor(clRed);
    page.Canvas()->FillRect(Rect(0, 0, 8, 4));
    gif->Draw(page.Canvas(), 2, 1, 4, 2);  // stretched twice
    EXPECT_EQ(gif->DrawRect(), Bounds(2, 1, 4, 2));
    const TColor opaque = RGB(int(Pal(1) >> 16 & 255), int(Pal(1) >> 8 & 255), int(Pal(1) & 255));
    EXPECT_EQ(page.GetPixel(2, 1), opaque);
    EXPECT_EQ(page.GetPixel(3, 2), opaque);
    EXPECT_EQ(page.GetPixel(4, 1), clRed);
    EXPECT_EQ(page.GetPixel(5, 2), clRed);
    EXPECT_EQ(page.GetPixel(1, 1), clRed);

    // Over a given background it is composed off-screen and copied once.
    TBitmap tile(2, 2);
    tile.Canvas()->Brush()->SetColor(clLime);
    tile.Canvas()->FillRect(Rect(0, 0, 2, 2));
    TImageBackground background;
    background.Tile = &tile;
    gif->Draw(page.Canvas(), 2, 1, 4, 2, &background);
    EXPECT_EQ(page.GetPixel(2, 1), opaque);
    EXPECT_EQ(page.GetPixel(5, 2), clLime);

    TFixedCanvas fixed;
    gif->Draw(&fixed, 0, 0, 4, 2, &background);
    ASSERT_EQ(fixed.OpsOf(TCanvasOp::Bitmap).size(), 1u) << "one copy onto the page";
    fixed.Clear();
    gif->Draw(&fixed, 0, 0, 4, 2);
    ASSERT_EQ(fixed.OpsOf(TCanvasOp::Bitmap).size(), 1u);
    EXPECT_TRUE(fixed.OpsOf(TCanvasOp::Bitmap)[0].masked);

    gif->SetShown(false);
    fixed.Clear();
    gif->Draw(&fixed, 0, 0, 4, 2);
    EXPECT_TRUE(fixed.Ops().empty());
}

// An opaque animation shows the page wherever no frame has drawn yet (a
// first frame smaller than the screen) or a frame was taken away again
// (disposal 2), as browsers show it: not black.
TEST_F(GifTest, AnOpaqueAnimationShowsThePageWhereNothingIsDrawn)
{
    const TColor first = RGB(int(Pal(1) >> 16 & 255), int(Pal(1) >> 8 & 255), int(Pal(1) & 255));
    const TColor second = RGB(int(Pal(2) >> 16 & 255), int(Pal(2) >> 8 & 255), int(Pal(2) & 255));
    // The page at (x, 0) after painting the 4 x 1 animation at frame index.
    const auto paint = [](TGIFImage& gif, int index) {
        gif.GoToFrame(index);
        gif.SetShown(true);
        TBitmap page(4, 1);
        page.Canvas()->Brush()->SetColor(clRed);
        page.Canvas()->FillRect(Rect(0, 0, 4, 1));
        gif.Draw(page.Canvas(), 0, 0, 4, 1);
        std::vector<TColor> row;
        for (int x = 0; x < 4; ++x)
            row.push_back(page.GetPixel(x, 0));
        return row;
    };

    GifSpec small = GifScreen(4, 1, 4);
    small.frames = {GifSolidFrame(0, 0, 2, 1, 1), GifSolidFrame(2, 0, 1, 1, 2)};
    auto gif = Load(small);
    ASSERT_TRUE(gif);
    EXPECT_EQ(paint(*gif, 1), (std::vector<TColor>{first, first, clRed, clRed}));
    EXPECT_EQ(paint(*gif, 2), (std::vector<TColor>{first, first, second, clRed}));

    GifSpec disposed = GifScreen(4, 1, 4);
    GifFrameSpec whole = GifSolidFrame(0, 0, 4, 1, 1);
    whole.disposal = 2;
    disposed.frames = {whole, GifSolidFrame(1, 0, 2, 1, 2)};
    gif = Load(disposed);
    ASSERT_TRUE(gif);
    EXPECT_EQ(paint(*gif, 1), (std::vector<TColor>{first, first, first, first}));
    EXPECT_EQ(paint(*gif, 2), (std::vector<TColor>{clRed, second, second, clRed}));

    // An opaque animation that covers its screen and keeps it needs no mask.
    GifSpec covered = GifScreen(4, 1, 4);
    covered.frames = {GifSolidFrame(0, 0, 4, 1, 1), GifSolidFrame(1, 0, 2, 1, 2)};
    gif = Load(covered);
    ASSERT_TRUE(gif);
    EXPECT_FALSE(gif->CompositeMask());
    EXPECT_EQ(paint(*gif, 2), (std::vector<TColor>{first, second, second, first}));
}

TEST(GifBackground, TilesLineUpWithThePage)
{
    TBitmap tile(10, 10);
    TImageBackground background;
    background.Tile = &tile;
    background.PageOrigin = {3, -4};
    TFixedCanvas canvas;
    PaintImageBackground(&canvas, Rect(25, 0, 40, 8), background);
    std::vector<TPoint> corners;
    for (const TCanvasOp& op : canvas.OpsOf(TCanvasOp::Bitmap))
        corners.push_back(op.rect.TopLeft());
    EXPECT_EQ(corners, (std::vector<TPoint>{{23, -4}, {33, -4}, {23, 6}, {33, 6}}));

    background.Tile = nullptr;
    background.Color = clYellow;
    canvas.Clear();
    PaintImageBackground(&canvas, Rect(0, 0, 5, 5), background);
    ASSERT_EQ(canvas.OpsOf(TCanvasOp::Fill).size(), 1u);
    EXPECT_EQ(canvas.OpsOf(TCanvasOp::Fill)[0].brushColor, PaletteRelative(clYellow));
}

}  // namespace
