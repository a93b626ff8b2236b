// The small "please wait" window of the long loops (the engine load and the
// submission list build): two value labels and a progress gauge.
#pragma once

#include "classlib/Forms.h"

class TGauge;
class TLabel;

class TWaitWindow : public TForm {
public:
    // Shown at once, centred on the screen, with the owner's caption bar icon.
    TWaitWindow(TComponent* AOwner, const AnsiString& caption);
    ~TWaitWindow() override;

    TLabel* EngineLabel;  // "Engine: "
    TLabel* EngineValue;
    TLabel* CountLabel;   // "Count "
    TLabel* CountValue;
    TGauge* Gauge;

    // The number of items the loop walks: the gauge's maximum.
    void SetItemCount(int count);
    // Item index (from 0) named name is being worked on. What is shown is
    // brought up to date at most about 30 times a second, which is all a
    // person can follow; Finish shows the last item.
    void Progress(const AnsiString& name, int index);
    void Finish();

private:
    void Show(const AnsiString& name, int index);
    unsigned FLastShown = 0;
    bool FShownOnce = false;
    AnsiString FPendingName;
    int FPendingIndex = -1;
};

// Milliseconds between two updates of the wait window (about 30 a second).
inline constexpr unsigned WaitWindowRepaintMs = 33;
