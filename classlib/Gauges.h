// The gauge: a bar (or pie) that shows progress with its percentage.
#pragma once

#include "classlib/Controls.h"

enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };

class TGauge : public TGraphicControl {
public:
    explicit TGauge(TComponent* AOwner);

    TGaugeKind Kind() const { return FKind; }
    void SetKind(TGaugeKind kind);
    int MinValue() const { return FMinValue; }
    void SetMinValue(int v);
    int MaxValue() const { return FMaxValue; }
    void SetMaxValue(int v);
    int Progress() const { return FProgress; }
    void SetProgress(int v);  // kept within MinValue..MaxValue
    void AddProgress(int delta) { SetProgress(FProgress + delta); }
    int PercentDone() const;
    TColor ForeColor() const { return FForeColor; }
    void SetForeColor(TColor c);
    TColor BackColor() const { return FBackColor; }
    void SetBackColor(TColor c);
    bool ShowText() const { return FShowText; }
    void SetShowText(bool v);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle s);

    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::ProgressBar; }
    CodePageString AccessibleValue() const override { return IntToStr(PercentDone()) + "%"; }

protected:
    void Paint() override;

private:
    void Changed();
    TGaugeKind FKind = gkHorizontalBar;
    int FMinValue = 0;
    int FMaxValue = 100;
    int FProgress = 0;
    TColor FForeColor = clBlack;
    TColor FBackColor = clWhite;
    bool FShowText = true;
    TBorderStyle FBorderStyle = bsSingle;
};
