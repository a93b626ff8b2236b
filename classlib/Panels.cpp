#include "classlib/Panels.h"

#include <algorithm>

void Frame3D(TCanvas* canvas, TRect& rect, TColor topColor, TColor bottomColor, int width)
{
    canvas->Pen()->SetWidth(1);
    canvas->Pen()->SetStyle(psSolid);
    rect.Bottom -= 1;
    rect.Right -= 1;
    for (int i = 0; i < width; ++i) {
        canvas->Pen()->SetColor(topColor);
        const TPoint top[] = {{rect.Left, rect.Bottom}, {rect.Left, rect.Top}, {rect.Right, rect.Top}};
        canvas->Polyline(top, 3);
        canvas->Pen()->SetColor(bottomColor);
        const TPoint bottom[] = {{rect.Right, rect.Top}, {rect.Right, rect.Bottom}, {rect.Left - 1, rect.Bottom}};
        canvas->Polyline(bottom, 3);
        rect = InflateRect(rect, -1, -1);
    }
    rect.Bottom += 1;
    rect.Right += 1;
}

// --- TPanel ------------------------------------------------------------------------------------------

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner)
{
    SetControlStyle(ControlStyle() | csAcceptsControls);
    SetBounds(0, 0, 185, 41);
}

void TPanel::SetBevelInner(TBevelCut v)
{
    FBevelInner = v;
    Realign();
    Invalidate();
}

void TPanel::SetBevelOuter(TBevelCut v)
{
    FBevelOuter = v;
    Realign();
    Invalidate();
}

void TPanel::SetBevelWidth(int v)
{
    FBevelWidth = std::max(1, v);
    Realign();
    Invalidate();
}

void TPanel::SetBorderWidth(int v)
{
    FBorderWidth = std::max(0, v);
    Realign();
    Invalidate();
}

void TPanel::SetBorderStyle(TBorderStyle v)
{
    FBorderStyle = v;
    Realign();
    Invalidate();
}

void TPanel::SetAlignment(TAlignment v)
{
    FAlignment = v;
    Invalidate();
}

TRect TPanel::AdjustedClientRect() const
{
    TRect r = ClientRect();
    int inset = FBorderWidth;
    if (FBevelOuter != bvNone)
        inset += FBevelWidth;
    if (FBevelInner != bvNone)
        inset += FBevelWidth;
    if (FBorderStyle == bsSingle)
        inset += 1;
    return InflateRect(r, -inset, -inset);
}

void TPanel::Paint()
{
    TCanvas* canvas = Canvas();
    TRect rect = ClientRect();
    auto colors = [](TBevelCut cut, TColor& top, TColor& bottom) {
        top = cut == bvLowered ? clBtnShadow : clBtnHighlight;
        bottom = cut == bvLowered ? clBtnHighlight : clBtnShadow;
    };
    if (FBorderStyle == bsSingle)
        Frame3D(canvas, rect, clWindowFrame, clWindowFrame, 1);
    TColor top, bottom;
    if (FBevelOuter != bvNone) {
        colors(FBevelOuter, top, bottom);
        Frame3D(canvas, rect, top, bottom, FBevelWidth);
    }
    Frame3D(canvas, rect, Color(), Color(), FBorderWidth);
    if (FBevelInner != bvNone) {
        colors(FBevelInner, top, bottom);
        Frame3D(canvas, rect, top, bottom, FBevelWidth);
    }
    canvas->Brush()->SetColor(Color());
    canvas->FillRect(rect);
    const CodePageString caption = Caption();
    if (!caption.empty()) {
        canvas->Brush()->SetStyle(bsClear);
        canvas->SetFont(Font());
        unsigned flags = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS;
        flags |= FAlignment == taCenter ? DT_CENTER : FAlignment == taRightJustify ? DT_RIGHT : DT_LEFT;
        canvas->DrawText(caption, rect, flags);
    }
}

// --- TImage ------------------------------------------------------------------------------------------

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), FPicture(std::make_unique<TPicture>())
{
    FPicture->OnChange = [this](TObject*) { PictureChanged(); };
    SetBounds(0, 0, 105, 105);
}

TImage::~TImage()
{
    FPicture->OnChange = nullptr;
}

void TImage::PictureChanged()
{
    if (FAutoSize && FPicture->Width() > 0 && FPicture->Height() > 0)
        SetBounds(Left(), Top(), FPicture->Width(), FPicture->Height());
    Invalidate();
}

void TImage::SetStretch(bool v)
{
    FStretch = v;
    Invalidate();
}

void TImage::SetCenter(bool v)
{
    FCenter = v;
    Invalidate();
}

void TImage::SetProportional(bool v)
{
    FProportional = v;
    Invalidate();
}

void TImage::SetTransparent(bool v)
{
    FTransparent = v;
    if (FPicture->Graphic())
        FPicture->Graphic()->SetTransparent(v);
    Invalidate();
}

void TImage::SetAutoSize(bool v)
{
    FAutoSize = v;
    PictureChanged();
}

TCanvas* TImage::PictureCanvas()
{
    TBitmap* bitmap = FPicture->Bitmap();
    if (bitmap->Empty())
        bitmap->SetSize(std::max(1, Width()), std::max(1, Height()));
    return bitmap->Canvas();
}

TRect TImage::DestRect() const
{
    const int pw = FPicture->Width(), ph = FPicture->Height();
    const int cw = ClientWidth(), ch = ClientHeight();
    if (pw <= 0 || ph <= 0)
        return {};
    int w = pw, h = ph;
    if (FStretch || (FProportional && (pw > cw || ph > ch))) {
        if (FProportional) {
            if (double(cw) / pw < double(ch) / ph) {
                w = cw;
                h = int(double(ph) * cw / pw);
            } else {
                h = ch;
                w = int(double(pw) * ch / ph);
            }
        } else {
            w = cw;
            h = ch;
        }
    }
    TRect r = Bounds(0, 0, w, h);
    if (FCenter)
        r = OffsetRect(r, (cw - w) / 2, (ch - h) / 2);
    return r;
}

void TImage::Paint()
{
    TGraphic* graphic = FPicture->Graphic();
    if (!graphic || graphic->Empty())
        return;
    if (graphic->Transparent() != FTransparent)
        graphic->SetTransparent(FTransparent);
    TGraphicControl::Canvas()->StretchDraw(DestRect(), graphic);
}

// --- TBevel --------------------------------------------------------------------------------------------

TBevel::TBevel(TComponent* AOwner) : TGraphicControl(AOwner)
{
    SetBounds(0, 0, 50, 50);
}

void TBevel::SetShape(TBevelShape v)
{
    FShape = v;
    Invalidate();
}

void TBevel::SetStyle(TBevelStyle v)
{
    FStyle = v;
    Invalidate();
}

void TBevel::Paint()
{
    TCanvas* canvas = Canvas();
    const TColor c1 = FStyle == bsLowered ? clBtnShadow : clBtnHighlight;
    const TColor c2 = FStyle == bsLowered ? clBtnHighlight : clBtnShadow;
    const int w = Width(), h = Height();
    TRect r = ClientRect();
    auto line = [&](TColor color, int x1, int y1, int x2, int y2) {
        canvas->Pen()->SetColor(color);
        canvas->MoveTo(x1, y1);
        canvas->LineTo(x2, y2);
    };
    switch (FShape) {
    case bsBox:
        Frame3D(canvas, r, c1, c2, 1);
        break;
    case bsFrame: {
        TRect outer = Rect(0, 0, w - 1, h - 1);
        TRect inner = Rect(1, 1, w, h);
        Frame3D(canvas, outer, c1, c1, 1);
        Frame3D(canvas, inner, c2, c2, 1);
        break;
    }
    case bsTopLine:
        line(c1, 0, 0, w, 0);
        line(c2, 0, 1, w, 1);
        break;
    case bsBottomLine:
        line(c1, 0, h - 2, w, h - 2);
        line(c2, 0, h - 1, w, h - 1);
        break;
    case bsLeftLine:
        line(c1, 0, 0, 0, h);
        line(c2, 1, 0, 1, h);
        break;
    case bsRightLine:
        line(c1, w - 2, 0, w - 2, h);
        line(c2, w - 1, 0, w - 1, h);
        break;
    case bsSpacer:
        break;
    }
}

// --- TPaintBox -----------------------------------------------------------------------------------------

TPaintBox::TPaintBox(TComponent* AOwner) : TGraphicControl(AOwner)
{
    SetBounds(0, 0, 105, 105);
}

void TPaintBox::Paint()
{
    FireEvent(OnPaint, this);
}
