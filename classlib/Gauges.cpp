#include "classlib/Gauges.h"

#include <algorithm>
#include <cmath>

TGauge::TGauge(TComponent* AOwner) : TGraphicControl(AOwner)
{
    SetControlStyle(ControlStyle() | csOpaque);
    SetBounds(0, 0, 100, 100);
}

void TGauge::Changed()
{
    Invalidate();
    AccessibleChanged(TAccessibleChange::Value);
}

void TGauge::SetKind(TGaugeKind kind)
{
    FKind = kind;
    Changed();
}

void TGauge::SetMinValue(int v)
{
    FMinValue = v;
    if (FMaxValue < v)
        FMaxValue = v;
    FProgress = std::clamp(FProgress, FMinValue, FMaxValue);
    Changed();
}

void TGauge::SetMaxValue(int v)
{
    FMaxValue = v;
    if (FMinValue > v)
        FMinValue = v;
    FProgress = std::clamp(FProgress, FMinValue, FMaxValue);
    Changed();
}

void TGauge::SetProgress(int v)
{
    v = std::clamp(v, FMinValue, FMaxValue);
    if (v == FProgress)
        return;
    FProgress = v;
    Changed();
}

int TGauge::PercentDone() const
{
    const long long range = (long long)FMaxValue - FMinValue;
    if (range <= 0)
        return 0;
    return int(((long long)FProgress - FMinValue) * 100 / range);
}

void TGauge::SetForeColor(TColor c)
{
    FForeColor = c;
    Changed();
}

void TGauge::SetBackColor(TColor c)
{
    FBackColor = c;
    Changed();
}

void TGauge::SetShowText(bool v)
{
    FShowText = v;
    Changed();
}

void TGauge::SetBorderStyle(TBorderStyle s)
{
    FBorderStyle = s;
    Changed();
}

void TGauge::Paint()
{
    TCanvas* canvas = Canvas();
    TRect r = ClientRect();
    if (FBorderStyle == bsSingle) {
        canvas->Brush()->SetColor(clBlack);
        canvas->FrameRect(r);
        r = InflateRect(r, -1, -1);
    }
    canvas->Brush()->SetColor(FBackColor);
    canvas->FillRect(r);
    const int percent = PercentDone();
    TRect bar = r;
    switch (FKind) {
    case gkHorizontalBar:
        bar.Right = r.Left + int((long long)r.Width() * percent / 100);
        break;
    case gkVerticalBar:
        bar.Top = r.Bottom - int((long long)r.Height() * percent / 100);
        break;
    case gkPie:
    case gkNeedle: {
        // A filled wedge from twelve o'clock, clockwise.
        const double cx = (r.Left + r.Right) / 2.0, cy = (r.Top + r.Bottom) / 2.0;
        const double rx = r.Width() / 2.0, ry = r.Height() / 2.0;
        std::vector<TPoint> pts{{int(cx), int(cy)}};
        const int steps = std::max(1, percent);
        for (int i = 0; i <= steps; ++i) {
            const double a = -3.14159265358979 / 2 + 2 * 3.14159265358979 * percent / 100.0 * i / steps;
            pts.push_back({int(cx + rx * std::cos(a)), int(cy + ry * std::sin(a))});
        }
        canvas->Brush()->SetColor(FForeColor);
        canvas->Pen()->SetColor(FForeColor);
        if (percent > 0)
            canvas->Polygon(pts);
        bar = {};
        break;
    }
    case gkText:
        bar = {};
        break;
    }
    if (!bar.IsEmpty()) {
        canvas->Brush()->SetColor(FForeColor);
        canvas->FillRect(bar);
    }
    if (!FShowText)
        return;
    const CodePageString text = IntToStr(percent) + "%";
    const int x = r.Left + (r.Width() - canvas->TextWidth(text)) / 2;
    const int y = r.Top + (r.Height() - canvas->TextHeight(text)) / 2;
    canvas->Brush()->SetStyle(bsClear);
    // The text reads in the back colour over the bar and in the fore colour
    // beside it.
    canvas->Font()->SetColor(FForeColor);
    TRect rest = r;
    if (!bar.IsEmpty() && FKind == gkHorizontalBar)
        rest.Left = bar.Right;
    else if (!bar.IsEmpty() && FKind == gkVerticalBar)
        rest.Bottom = bar.Top;
    canvas->TextRect(rest, x, y, text);
    if (!bar.IsEmpty()) {
        canvas->Font()->SetColor(FBackColor);
        canvas->TextRect(bar, x, y, text);
    }
}
