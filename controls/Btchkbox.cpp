#include "controls/Btchkbox.h"

#include <algorithm>

#include "controls/Tranpanl.h"

TCheckBoxState NextCheckBoxState(TCheckBoxState state, bool allowGrayed)
{
    switch (state) {
    case cbUnchecked:
        return allowGrayed ? cbGrayed : cbChecked;
    case cbChecked:
        return cbUnchecked;
    case cbGrayed:
        return cbChecked;
    }
    return cbUnchecked;
}

int ClampNumGlyphs(int value) { return std::clamp(value, 1, 2); }

int NumGlyphsFor(int width, int height, int current)
{
    if (height != 0 && width % height == 0)
        return ClampNumGlyphs(width / height);
    return current;
}

namespace {

// Left out when drawn; it fills the corners, bottom-left included.
constexpr TColor GlyphBackground = clOlive;

// The program's glyph pictures, by state.
constexpr const char* GlyphResource[] = {"UNCHECKED", "CHECKED", "GRAYED"};

}  // namespace

TBitmap DefaultCheckGlyph(TCheckBoxState role)
{
    TBitmap glyph;
    glyph.LoadFromResourceName(GlyphResource[role]);
    glyph.SetTransparentColor(GlyphBackground);
    return glyph;
}

char AcceleratorOf(const CodePageString& caption)
{
    for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&')
            continue;
        if (caption[i + 1] != '&')
            return caption[i + 1];
        ++i;  // "&&" is a plain "&"
    }
    return 0;
}

TRect BitCheckBoxCaptionRect(const TRect& client, TLeftRight alignment, int cellWidth, int textWidth,
                             int textHeight)
{
    const int left = alignment == taRightJustify ? cellWidth + 4 : 1;
    const int top = (client.Height() - textHeight) / 2 - 2;
    return IntersectRect(Bounds(left, top, textWidth, textHeight + 3), client);
}

TBitCheckBox::TBitCheckBox(TComponent* AOwner) : TCustomControl(AOwner)
{
    // Click events and a caption are the control's own; the parent shows
    // through where nothing is drawn.
    SetControlStyle(TransparentContainerStyle(ControlStyle()) | csClickEvents | csSetCaption);
    SetBounds(Left(), Top(), 97, 17);
    SetTabStop(true);
    for (TCheckBoxState role : {cbUnchecked, cbChecked, cbGrayed})
        FGlyphs[role] = std::make_unique<TBitmap>(DefaultCheckGlyph(role));
}

TBitCheckBox::~TBitCheckBox() = default;

void TBitCheckBox::SetAlignment(TLeftRight value)
{
    if (value == FAlignment)
        return;
    FAlignment = value;
    Invalidate();
}

void TBitCheckBox::SetState(TCheckBoxState value)
{
    if (value == FState)
        return;
    FState = value;
    Invalidate();
    AccessibleChanged(TAccessibleChange::State);
}

void TBitCheckBox::SetGlyph(TCheckBoxState role, const TBitmap* value)
{
    if (value)
        FGlyphs[role]->Assign(*value);
    else
        FGlyphs[role]->Assign(DefaultCheckGlyph(role));
    const TBitmap& glyph = *FGlyphs[role];
    FNumGlyphs[role] = NumGlyphsFor(glyph.Width(), glyph.Height(), FNumGlyphs[role]);
    Invalidate();
}

void TBitCheckBox::SetNumGlyphs(TCheckBoxState role, int value)
{
    FNumGlyphs[role] = ClampNumGlyphs(value);
    Invalidate();
}

void TBitCheckBox::SetCtl3D(bool value)
{
    FCtl3D = value;
    FParentCtl3D = false;
    Invalidate();
}

void TBitCheckBox::Toggle() { SetState(NextCheckBoxState(FState, FAllowGrayed)); }

void TBitCheckBox::Click()
{
    Toggle();
    TCustomControl::Click();
    if (CanFocus())
        SetFocus();
}

void TBitCheckBox::KeyPress(char& key)
{
    TCustomControl::KeyPress(key);
    if (key == ' ')
        Click();
}

bool TBitCheckBox::DialogChar(char key)
{
    const char accel = AcceleratorOf(Caption());
    if (accel != 0 && UpperCase(CodePageString(1, accel)) == UpperCase(CodePageString(1, key)) && Enabled() &&
        CanFocus()) {
        SetFocus();
        // Only the state changes on this road; OnClick does not fire.
        if (Focused())
            Toggle();
        return true;
    }
    return TCustomControl::DialogChar(key);
}

void TBitCheckBox::DoEnter()
{
    TCustomControl::DoEnter();
    Invalidate();
}

void TBitCheckBox::DoExit()
{
    TCustomControl::DoExit();
    Invalidate();
}

void TBitCheckBox::Paint()
{
    TCanvas* canvas = Canvas();
    const TRect client = ClientRect();
    // No background of its own: the parent's shows through (the control is
    // not opaque), so the box blends into whatever page it sits on.
    canvas->Brush()->SetStyle(bsClear);

    const TBitmap& glyph = *FGlyphs[FState];
    const int numGlyphs = FNumGlyphs[FState];
    const int cellWidth = glyph.Width() / numGlyphs;

    const CodePageString caption = Caption();
    int textWidth = canvas->TextWidth(caption);
    if (caption.find('&') != CodePageString::npos)
        textWidth -= canvas->TextWidth("&");
    const TRect captionRect =
        BitCheckBoxCaptionRect(client, FAlignment, cellWidth, textWidth, canvas->TextHeight(caption));

    const unsigned format = DT_SINGLELINE | DT_VCENTER;  // the accelerator is underlined
    TFont* font = canvas->Font();
    const TColor fontColor = font->Color();
    TRect r = captionRect;
    if (Enabled()) {
        canvas->DrawText(caption, r, format);
    } else {
        if (FCtl3D) {
            TRect raised = OffsetRect(captionRect, 1, 1);
            font->SetColor(clBtnHighlight);
            canvas->DrawText(caption, raised, format);
        }
        font->SetColor(clGrayText);
        canvas->DrawText(caption, r, format);
    }
    font->SetColor(fontColor);
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(Color());

    if (Focused())
        canvas->DrawFocusRect(captionRect);

    if (cellWidth <= 0 || glyph.Height() <= 0)
        return;
    const int x = FAlignment == taRightJustify ? 0 : ClientWidth() - cellWidth;
    const int y = (ClientHeight() - glyph.Height()) / 2;
    const int sourceLeft = !Enabled() && numGlyphs == 2 ? cellWidth : 0;
    canvas->BrushCopy(Bounds(x, y, cellWidth, glyph.Height()), glyph,
                      Bounds(sourceLeft, 0, cellWidth, glyph.Height()), glyph.TransparentColor());
}

TAccessibleState TBitCheckBox::AccessibleState() const
{
    TAccessibleState state;
    state.Checkable = true;
    state.Checked = FState == cbChecked;
    state.Mixed = FState == cbGrayed;
    state.Focusable = true;
    return state;
}

std::vector<CodePageString> TBitCheckBox::AccessibleActions() const { return {AccessibleToggleAction}; }

void TBitCheckBox::DoAccessibleAction(const CodePageString& action)
{
    if (action == AccessibleToggleAction || action == AccessiblePressAction)
        Click();
}
