// Speed buttons: flat tool buttons with a glyph and/or a caption.
#pragma once

#include <memory>

#include "classlib/Controls.h"
#include "classlib/Graphics.h"

class TSpeedButton : public TGraphicControl {
public:
    explicit TSpeedButton(TComponent* AOwner);
    ~TSpeedButton() override;

    // The picture; a bitmap as wide as NumGlyphs images uses the first one.
    TBitmap* Glyph() const { return FGlyph.get(); }
    void SetGlyph(const TBitmap* glyph);
    int NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(int n);
    bool Flat() const { return FFlat; }
    void SetFlat(bool v);
    // Buttons with the same GroupIndex (> 0) in one window stay down one at a time.
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int v);
    bool Down() const { return FDown; }
    void SetDown(bool v);
    bool AllowAllUp() const { return FAllowAllUp; }
    void SetAllowAllUp(bool v) { FAllowAllUp = v; }
    void Click() override;

    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::PushButton; }

protected:
    void ApplyText() override;
    bool ClicksOnMouseUp() const override { return false; }

private:
    void ApplyGlyph();
    std::unique_ptr<TBitmap> FGlyph;
    int FNumGlyphs = 1;
    bool FFlat = false;
    int FGroupIndex = 0;
    bool FDown = false;
    bool FAllowAllUp = false;
};
