// Panels, images, bevels and paint boxes; the timer comes from Timer.h.
#pragma once

#include <memory>

#include "classlib/Controls.h"
#include "classlib/Graphics.h"
#include "classlib/Timer.h"

// Draws a 3-D frame of the given width inside rect and shrinks rect by it.
void Frame3D(TCanvas* canvas, TRect& rect, TColor topColor, TColor bottomColor, int width);

// A container with bevels and a centred caption, drawn by the class library.
class TPanel : public TCustomControl {
public:
    explicit TPanel(TComponent* AOwner);

    TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut v);
    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut v);
    int BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int v);
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int v);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle v);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment v);

    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::Pane; }

protected:
    void Paint() override;
    TRect AdjustedClientRect() const override;

private:
    TBevelCut FBevelInner = bvNone;
    TBevelCut FBevelOuter = bvRaised;
    int FBevelWidth = 1;
    int FBorderWidth = 0;
    TBorderStyle FBorderStyle = bsNone;
    TAlignment FAlignment = taCenter;
};

// Shows a picture: at the top-left corner, centred, or stretched.
class TImage : public TGraphicControl {
public:
    explicit TImage(TComponent* AOwner);
    ~TImage() override;

    TPicture* Picture() const { return FPicture.get(); }
    void SetPicture(const TPicture* picture) { FPicture->Assign(picture); }
    bool Stretch() const { return FStretch; }
    void SetStretch(bool v);
    bool Center() const { return FCenter; }
    void SetCenter(bool v);
    bool Proportional() const { return FProportional; }
    void SetProportional(bool v);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool v);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool v);
    // The picture's bitmap canvas (an empty picture becomes a bitmap of the
    // control's size), for drawing into the picture.
    TCanvas* PictureCanvas();
    // Where the picture is drawn, in client coordinates.
    TRect DestRect() const;

    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::Graphic; }

protected:
    void Paint() override;
    virtual void PictureChanged();

private:
    std::unique_ptr<TPicture> FPicture;
    bool FStretch = false;
    bool FCenter = false;
    bool FProportional = false;
    bool FTransparent = false;
    bool FAutoSize = false;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };

class TBevel : public TGraphicControl {
public:
    explicit TBevel(TComponent* AOwner);
    TBevelShape Shape() const { return FShape; }
    void SetShape(TBevelShape v);
    TBevelStyle Style() const { return FStyle; }
    void SetStyle(TBevelStyle v);
    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::Graphic; }

protected:
    void Paint() override;

private:
    TBevelShape FShape = bsBox;
    TBevelStyle FStyle = bsLowered;
};

// A surface that its owner draws in OnPaint.
class TPaintBox : public TGraphicControl {
public:
    explicit TPaintBox(TComponent* AOwner);
    TNotifyEvent OnPaint;

protected:
    void Paint() override;
};
