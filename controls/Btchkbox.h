// A check box whose box is drawn from bitmaps.
#pragma once

#include <memory>

#include "classlib/Controls.h"
#include "classlib/Graphics.h"
#include "classlib/BasicControls.h"  // TCheckBoxState

// --- state and glyph logic, as free functions -------------------------------------

// One click: unchecked -> grayed (only when allowed) -> checked -> unchecked.
TCheckBoxState NextCheckBoxState(TCheckBoxState state, bool allowGrayed);
// A glyph holds one or two images: the enabled look and the disabled one.
int ClampNumGlyphs(int value);
// The number of images a glyph of that size holds side by side, when its
// width is a whole multiple of its height; otherwise current stays.
int NumGlyphsFor(int width, int height, int current);
// The built-in glyph of a state, the program's picture of its name
// ("UNCHECKED", "CHECKED", "GRAYED": 19 by 14 pixels, an empty, a ticked and
// a greyed box); the corner pixel's colour is transparent.
TBitmap DefaultCheckGlyph(TCheckBoxState role);
// The caption's accelerator character (after a single "&"), 0 when none.
char AcceleratorOf(const CodePageString& caption);

// Where Paint puts the caption: right of the glyph cell with taRightJustify,
// at the left edge (the glyph at the right edge) with taLeftJustify.
TRect BitCheckBoxCaptionRect(const TRect& client, TLeftRight alignment, int cellWidth, int textWidth,
                             int textHeight);

// --- the control ----------------------------------------------------------------------

class TBitCheckBox : public TCustomControl {
public:
    explicit TBitCheckBox(TComponent* AOwner);
    ~TBitCheckBox() override;

    TLeftRight Alignment() const { return FAlignment; }
    void SetAlignment(TLeftRight value);
    bool AllowGrayed() const { return FAllowGrayed; }
    void SetAllowGrayed(bool value) { FAllowGrayed = value; }
    // Checked reads State == cbChecked; setting it sets cbChecked or cbUnchecked.
    bool Checked() const { return FState == cbChecked; }
    void SetChecked(bool value) { SetState(value ? cbChecked : cbUnchecked); }
    TCheckBoxState State() const { return FState; }
    void SetState(TCheckBoxState value);

    // The glyphs are owned; a setter copies the bitmap in (nullptr puts the
    // built-in one back) and takes the image count from its shape.
    TBitmap* CheckedGlyph() const { return FGlyphs[cbChecked].get(); }
    void SetCheckedGlyph(const TBitmap* value) { SetGlyph(cbChecked, value); }
    TBitmap* GrayedGlyph() const { return FGlyphs[cbGrayed].get(); }
    void SetGrayedGlyph(const TBitmap* value) { SetGlyph(cbGrayed, value); }
    TBitmap* UncheckedGlyph() const { return FGlyphs[cbUnchecked].get(); }
    void SetUncheckedGlyph(const TBitmap* value) { SetGlyph(cbUnchecked, value); }
    // 1 or 2; other values are clamped.
    int CheckedNumGlyphs() const { return FNumGlyphs[cbChecked]; }
    void SetCheckedNumGlyphs(int value) { SetNumGlyphs(cbChecked, value); }
    int GrayedNumGlyphs() const { return FNumGlyphs[cbGrayed]; }
    void SetGrayedNumGlyphs(int value) { SetNumGlyphs(cbGrayed, value); }
    int UncheckedNumGlyphs() const { return FNumGlyphs[cbUnchecked]; }
    void SetUncheckedNumGlyphs(int value) { SetNumGlyphs(cbUnchecked, value); }

    bool Ctl3D() const { return FCtl3D; }
    void SetCtl3D(bool value);
    bool ParentCtl3D() const { return FParentCtl3D; }
    void SetParentCtl3D(bool value) { FParentCtl3D = value; }

    // A click toggles, fires OnClick and takes the focus.
    void Click() override;
    virtual void Toggle();

    bool DialogChar(char key) override;

    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::CheckBox; }
    TAccessibleState AccessibleState() const override;
    std::vector<CodePageString> AccessibleActions() const override;
    void DoAccessibleAction(const CodePageString& action) override;

protected:
    void Paint() override;
    void KeyPress(char& key) override;
    // Text, font and enabled changes repaint by themselves; focus changes
    // repaint for the focus rectangle.
    void DoEnter() override;
    void DoExit() override;

private:
    void SetGlyph(TCheckBoxState role, const TBitmap* value);
    void SetNumGlyphs(TCheckBoxState role, int value);

    TLeftRight FAlignment = taRightJustify;
    bool FAllowGrayed = false;
    TCheckBoxState FState = cbUnchecked;
    bool FCtl3D = true;
    bool FParentCtl3D = true;
    std::unique_ptr<TBitmap> FGlyphs[3];  // by TCheckBoxState
    int FNumGlyphs[3] = {1, 1, 1};
};
