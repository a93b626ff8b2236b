#include "workbench/Glyphs.h"

#include <map>
#include <tuple>

#include "controls/ImgBtn.h"
#include "workbench/FormBuild.h"

namespace {

struct TLookColours {
    TColor top, bottom, border, text;
};

// Face colours per look, top of the gradient to its bottom.
constexpr TLookColours LookColours[] = {
    /* Normal */ {RGB(236, 241, 248), RGB(196, 209, 228), RGB(92, 112, 148), RGB(20, 36, 72)},
    /* Hover  */ {RGB(248, 251, 255), RGB(214, 228, 246), RGB(60, 96, 160), RGB(16, 40, 96)},
    /* Down   */ {RGB(180, 196, 220), RGB(214, 224, 240), RGB(48, 72, 120), RGB(16, 32, 64)},
    /* Flash  */ {RGB(255, 236, 170), RGB(250, 190, 70), RGB(176, 104, 16), RGB(80, 40, 0)},
};

int Mix(int a, int b, int num, int den)
{
    return a + (b - a) * num / (den > 0 ? den : 1);
}

TBitmap DrawButtonGlyph(const CodePageString& caption, TButtonLook look, int width, int height)
{
    const TLookColours& colours = LookColours[static_cast<int>(look)];
    TBitmap bitmap(width, height);
    TCanvas* canvas = bitmap.Canvas();
    for (int y = 0; y < height; ++y) {
        canvas->Pen()->SetColor(RGB(Mix(GetRValue(colours.top), GetRValue(colours.bottom), y, height - 1),
                                    Mix(GetGValue(colours.top), GetGValue(colours.bottom), y, height - 1),
                                    Mix(GetBValue(colours.top), GetBValue(colours.bottom), y, height - 1)));
        canvas->MoveTo(0, y);
        canvas->LineTo(width, y);
    }
    canvas->Brush()->SetColor(colours.border);
    canvas->FrameRect(Rect(0, 0, width, height));

    canvas->Brush()->SetStyle(bsClear);
    canvas->Font()->SetName("Arial");
    canvas->Font()->SetSize(9);
    canvas->Font()->SetStyle(TFontStyles{fsBold});
    canvas->Font()->SetColor(colours.text);
    const TSize extent = canvas->TextExtent(caption);
    const int shift = look == TButtonLook::Down ? 1 : 0;
    canvas->TextOut((width - extent.cx) / 2 + shift, (height - extent.cy) / 2 + shift, caption);
    return bitmap;
}

}  // namespace

TBitmap MakeButtonGlyph(const CodePageString& caption, TButtonLook look, int width, int height)
{
    // The windows show many buttons of one caption ("Stop", "Save", "Close"),
    // each with three faces: a face is drawn once and its pixels shared.
    using TKey = std::tuple<CodePageString, TButtonLook, int, int>;
    static std::map<TKey, TBitmap> drawn;
    TKey key{caption, look, width, height};
    auto found = drawn.find(key);
    if (found == drawn.end()) {
        // The copy kept holds the pixels only, not the canvas that drew them.
        const TBitmap face = DrawButtonGlyph(caption, look, width, height);
        found = drawn.emplace(std::move(key), face).first;
    }
    return found->second;
}

void FillFlashGlyphs(TImageList& list)
{
    list.SetWidth(ButtonGlyphWidth);
    list.SetHeight(ButtonGlyphHeight);
    list.SetMasked(false);
    for (const char* caption : {"Import", "Start", "Start", "Submit"}) {
        const TBitmap rest = MakeButtonGlyph(caption, TButtonLook::Normal);
        const TBitmap bright = MakeButtonGlyph(caption, TButtonLook::Flash);
        list.Add(&rest, nullptr);
        list.Add(&bright, nullptr);
    }
}

void FillRowImages(TImageList& list)
{
    list.SetWidth(16);
    list.SetHeight(16);
    // Failed, running, succeeded, timed out: a dot of the colour a reader
    // expects for each, on a transparent ground.
    for (TColor colour : {RGB(204, 32, 32), RGB(40, 96, 208), RGB(32, 160, 48), RGB(232, 140, 0)}) {
        TBitmap bitmap(16, 16);
        TCanvas* canvas = bitmap.Canvas();
        canvas->Brush()->SetColor(clFuchsia);
        canvas->FillRect(Rect(0, 0, 16, 16));
        canvas->Brush()->SetColor(colour);
        canvas->Pen()->SetColor(RGB(GetRValue(colour) / 2, GetGValue(colour) / 2, GetBValue(colour) / 2));
        canvas->Ellipse(2, 2, 14, 14);
        list.AddMasked(&bitmap, clFuchsia);
    }
}

void DressImageButton(TImgBtn& button, const CodePageString& caption, int width, int height)
{
    button.SetWidth(width);
    button.SetHeight(height);
    button.SetCaption(caption);
    button.SetHint(caption);
    TPicture picture;
    const TBitmap normal = MakeButtonGlyph(caption, TButtonLook::Normal, width, height);
    picture.SetGraphic(&normal);
    button.SetPic(&picture);
    const TBitmap hover = MakeButtonGlyph(caption, TButtonLook::Hover, width, height);
    picture.SetGraphic(&hover);
    button.SetPicUp(&picture);
    const TBitmap down = MakeButtonGlyph(caption, TButtonLook::Down, width, height);
    picture.SetGraphic(&down);
    button.SetPicDown(&picture);
}

void ShowButtonGlyph(TImgBtn& button, const TImageList& list, int index)
{
    const TBitmap* glyph = list.Image(index);
    if (!glyph)
        return;
    TPicture picture;
    picture.SetGraphic(glyph);
    button.Picture()->Assign(&picture);
    button.SetPic(&picture);
    button.Repaint();
}

TImgBtn* PlaceButton(TComponent* owner, TWinControl* parent, const char* name, const CodePageString& caption, int left,
                     int top, int width)
{
    TImgBtn* button = Place<TImgBtn>(owner, parent, name, left, top, width, ButtonGlyphHeight);
    DressImageButton(*button, caption, width);
    return button;
}
