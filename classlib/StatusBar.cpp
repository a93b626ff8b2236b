#include "classlib/StatusBar.h"

#include <algorithm>

#include "classlib/Graphics.h"
#include "classlib/Panels.h"

void TStatusPanel::SetText(const CodePageString& text)
{
    if (text == FText)
        return;
    FText = text;
    FBar.Changed();
}

void TStatusPanel::SetWidth(int width)
{
    FWidth = std::max(0, width);
    FBar.Changed();
}

TStatusPanel* TStatusPanels::Add()
{
    FPanels.push_back(std::unique_ptr<TStatusPanel>(new TStatusPanel(FBar)));
    FBar.Changed();
    return FPanels.back().get();
}

TStatusPanel* TStatusPanels::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + IntToStr(index) + ")");
    return FPanels[static_cast<std::size_t>(index)].get();
}

void TStatusPanels::Clear()
{
    FPanels.clear();
    FBar.Changed();
}

TStatusBar::TStatusBar(TComponent* AOwner) : TCustomControl(AOwner)
{
    SetBounds(0, 0, 200, 19);
    SetAlign(alBottom);
}

void TStatusBar::SetSimplePanel(bool simple)
{
    FSimplePanel = simple;
    Changed();
}

void TStatusBar::SetSimpleText(const CodePageString& text)
{
    FSimpleText = text;
    Changed();
}

void TStatusBar::Changed()
{
    Invalidate();
    AccessibleChanged(TAccessibleChange::Name);
}

std::vector<TRect> TStatusBar::PanelRects() const
{
    std::vector<TRect> rects;
    const TRect client = ClientRect();
    if (FSimplePanel) {
        rects.push_back(client);
        return rects;
    }
    int left = client.Left;
    for (int i = 0; i < FPanels.Count(); ++i) {
        const bool last = i == FPanels.Count() - 1;
        const int right = last ? client.Right : std::min(client.Right, left + FPanels.Items(i)->Width());
        rects.push_back(TRect{left, client.Top, std::max(left, right), client.Bottom});
        left = std::min(client.Right, right + 2);
    }
    return rects;
}

CodePageString TStatusBar::AccessibleName() const
{
    if (FSimplePanel)
        return FSimpleText;
    CodePageString name;
    for (int i = 0; i < FPanels.Count(); ++i) {
        if (i > 0)
            name += " | ";
        name += FPanels.Items(i)->Text();
    }
    return name;
}

void TStatusBar::Paint()
{
    TCanvas* canvas = Canvas();
    canvas->Brush()->SetColor(Color());
    canvas->FillRect(ClientRect());
    canvas->SetFont(Font());
    const std::vector<TRect> rects = PanelRects();
    for (std::size_t i = 0; i < rects.size(); ++i) {
        TRect rect = rects[i];
        Frame3D(canvas, rect, clBtnShadow, clBtnHighlight, 1);
        const CodePageString& text = FSimplePanel ? FSimpleText : FPanels.Items(static_cast<int>(i))->Text();
        if (text.empty())
            continue;
        canvas->Brush()->SetStyle(bsClear);
        rect.Left += 2;
        canvas->DrawText(text, rect, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS | DT_NOPREFIX);
    }
}
