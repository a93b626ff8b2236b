#include "controls/ImgBtn.h"

#include <cstdint>

TImgBtnShow ImgBtnStep(TImgBtnState& state, TImgBtnInput input)
{
    switch (input) {
    case TImgBtnInput::MouseEnter:
        state.Hovered = true;
        return state.Pressed ? TImgBtnShow::PicDown : TImgBtnShow::PicUp;
    case TImgBtnInput::MouseLeave:
        state.Hovered = false;
        return TImgBtnShow::Pic;
    case TImgBtnInput::LeftDown:
        state.Pressed = true;
        return state.Hovered ? TImgBtnShow::PicDown : TImgBtnShow::Unchanged;
    case TImgBtnInput::LeftUp:
        state.Pressed = false;
        return state.Hovered ? TImgBtnShow::PicUp : TImgBtnShow::Unchanged;
    }
    return TImgBtnShow::Unchanged;
}

TBitmap GreyedImage(const TBitmap& picture)
{
    TBitmap greyed(picture);
    if (greyed.Empty())
        return greyed;
    const bool keepKey = picture.Transparent();
    const TColor keyColor = ColorToRGB(picture.TransparentColor());
    const std::uint32_t key = std::uint32_t(GetRValue(keyColor)) << 16 | std::uint32_t(GetGValue(keyColor)) << 8 |
                              std::uint32_t(GetBValue(keyColor));
    for (int y = 0; y < greyed.Height(); ++y) {
        std::uint32_t* row = greyed.ScanLine(y);
        if (!row)
            continue;
        for (int x = 0; x < greyed.Width(); ++x) {
            const std::uint32_t pixel = row[x];
            if (keepKey && (pixel & 0xFFFFFFu) == key)
                continue;
            const std::uint32_t r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
            const std::uint32_t luma = (299 * r + 587 * g + 114 * b + 500) / 1000;
            std::uint32_t v = 128 + luma / 2;
            std::uint32_t grey = v << 16 | v << 8 | v;
            if (keepKey && grey == key) {
                --v;
                grey = v << 16 | v << 8 | v;
            }
            row[x] = (pixel & 0xFF000000u) | grey;
        }
    }
    if (picture.TransparentMode() == tmFixed)
        greyed.SetTransparentColor(picture.TransparentColor());
    return greyed;
}

TImgBtn::TImgBtn(TComponent* AOwner)
    : TImage(AOwner),
      FPic(std::make_unique<TPicture>()),
      FPicDown(std::make_unique<TPicture>()),
      FPicUp(std::make_unique<TPicture>())
{
}

TImgBtn::~TImgBtn() = default;

void TImgBtn::SetPic(const TPicture* value)
{
    Picture()->Assign(value);
    FPic->Assign(value);
}

namespace {

TWMMouse MouseMessage(unsigned msg, TShiftState shift, int x, int y)
{
    TWMMouse record;
    record.Msg = msg;
    record.XPos = x;
    record.YPos = y;
    if (shift.Contains(ssLeft))
        record.Keys |= MK_LBUTTON;
    if (shift.Contains(ssRight))
        record.Keys |= MK_RBUTTON;
    if (shift.Contains(ssMiddle))
        record.Keys |= MK_MBUTTON;
    if (shift.Contains(ssShift))
        record.Keys |= MK_SHIFT;
    if (shift.Contains(ssCtrl))
        record.Keys |= MK_CONTROL;
    return record;
}

}  // namespace

void TImgBtn::Step(TImgBtnInput input, unsigned msgId, TShiftState shift, int x, int y, const TOnMouseEvent& event)
{
    if (!FSupported)
        return;
    TWMMouse msg = MouseMessage(msgId, shift, x, y);
    switch (ImgBtnStep(FState, input)) {
    case TImgBtnShow::Unchanged:
        break;
    case TImgBtnShow::Pic:
        Picture()->Assign(FPic.get());
        break;
    case TImgBtnShow::PicUp:
        Picture()->Assign(FPicUp.get());
        break;
    case TImgBtnShow::PicDown:
        Picture()->Assign(FPicDown.get());
        break;
    }
    if (event)
        event(msg);
}

void TImgBtn::Paint()
{
    if (Enabled()) {
        TImage::Paint();
        return;
    }
    TGraphic* graphic = Picture()->Graphic();
    if (!graphic || graphic->Empty())
        return;
    TBitmap shown;
    if (const auto* bitmap = dynamic_cast<const TBitmap*>(graphic)) {
        shown = *bitmap;
    } else if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(graphic)) {
        shown = jpeg->Bitmap();
    } else {
        shown.SetSize(graphic->Width(), graphic->Height());
        graphic->Draw(shown.Canvas(), Bounds(0, 0, graphic->Width(), graphic->Height()));
    }
    shown.SetTransparent(Transparent());
    TBitmap greyed = GreyedImage(shown);
    Canvas()->StretchDraw(DestRect(), &greyed);
}

void TImgBtn::EnabledChanged()
{
    TImage::EnabledChanged();
    if (!Enabled() && FSupported && (FState.Hovered || FState.Pressed)) {
        FState = {};
        Picture()->Assign(FPic.get());
    }
    Invalidate();
}

void TImgBtn::MouseEnter()
{
    TImage::MouseEnter();
    Step(TImgBtnInput::MouseEnter, CM_MOUSEENTER, {}, 0, 0, OnMouseEnter);
}

void TImgBtn::MouseLeave()
{
    TImage::MouseLeave();
    Step(TImgBtnInput::MouseLeave, CM_MOUSELEAVE, {}, 0, 0, OnMouseLeave);
}

void TImgBtn::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    TImage::MouseDown(button, shift, x, y);
    if (button == mbLeft)
        Step(TImgBtnInput::LeftDown, WM_LBUTTONDOWN, shift, x, y, OnMouseDown);
}

void TImgBtn::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    TImage::MouseUp(button, shift, x, y);
    if (button == mbLeft)
        Step(TImgBtnInput::LeftUp, WM_LBUTTONUP, shift, x, y, OnMouseUp);
}

CodePageString TImgBtn::AccessibleName() const
{
    const CodePageString caption = Caption();
    return caption.empty() ? Hint() : caption;
}

TAccessibleState TImgBtn::AccessibleState() const
{
    TAccessibleState state;
    state.Pressed = FState.Pressed;
    return state;
}

void TImgBtn::DoAccessibleAction(const CodePageString& action)
{
    if (action == AccessiblePressAction && Enabled())
        Click();
}
