// The status bar: a row of panels along the bottom of a form, each showing a
// text, drawn by the class library. Assistive technology reads the panels'
// texts as the bar's name.
#pragma once

#include <memory>
#include <vector>

#include "classlib/Controls.h"

class TStatusBar;

class TStatusPanel {
public:
    const CodePageString& Text() const { return FText; }
    void SetText(const CodePageString& text);
    int Width() const { return FWidth; }
    void SetWidth(int width);

private:
    friend class TStatusPanels;
    explicit TStatusPanel(TStatusBar& bar) : FBar(bar) {}
    TStatusBar& FBar;
    CodePageString FText;
    int FWidth = 50;
};

class TStatusPanels {
public:
    TStatusPanel* Add();
    int Count() const { return static_cast<int>(FPanels.size()); }
    // EListError for an index out of range.
    TStatusPanel* Items(int index) const;
    void Clear();

private:
    friend class TStatusBar;
    explicit TStatusPanels(TStatusBar& bar) : FBar(bar) {}
    TStatusBar& FBar;
    std::vector<std::unique_ptr<TStatusPanel>> FPanels;
};

class TStatusBar : public TCustomControl {
public:
    // Aligned to the bottom of its parent, as tall as a line of the dialog font.
    explicit TStatusBar(TComponent* AOwner);

    TStatusPanels* Panels() { return &FPanels; }
    const TStatusPanels* Panels() const { return &FPanels; }
    // With SimplePanel the bar shows SimpleText alone, over its whole width.
    bool SimplePanel() const { return FSimplePanel; }
    void SetSimplePanel(bool simple);
    const CodePageString& SimpleText() const { return FSimpleText; }
    void SetSimpleText(const CodePageString& text);

    // The panel rectangles in client coordinates; the last panel reaches the
    // right edge, whatever its width.
    std::vector<TRect> PanelRects() const;

    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::StatusBar; }
    // The texts shown: the simple text, or the panels' texts joined by " | ".
    CodePageString AccessibleName() const override;

protected:
    void Paint() override;

private:
    friend class TStatusPanel;
    friend class TStatusPanels;
    void Changed();
    TStatusPanels FPanels{*this};
    bool FSimplePanel = false;
    CodePageString FSimpleText;
};
