// The small "please wait" window of the long loops (the engine load and the
// submission list build): two value labels and a progress gauge; and the
// pacing with which such loops let pending messages through.
#pragma once

#include <string_view>

#include "classlib/Forms.h"

class TGauge;
class TLabel;

// Long loops on the GUI thread (the engine load, the type filter and the
// count, the submission list build) hand over to pending messages (paints,
// clicks, timers) once every this many milliseconds of their own work:
// often enough that the windows repaint well within the 33 ms in which a
// person sees a stall, seldom enough that a loop over 100,000 rows spends
// its time on the rows rather than on asking for messages.
inline constexpr unsigned LoopPumpMs = 16;

class TLoopPump {
public:
    // True on the first call, and once LoopPumpMs have passed since the last pump ended.
    bool Due() const;
    // Processes the pending messages now. Whatever they run may change what
    // the loop walks: the caller looks at its state again afterwards.
    void Pump();
    // Pumps when due; true when it did.
    bool Step();

private:
    bool FPumped = false;
    unsigned FLastPump = 0;
};

class TWaitWindow : public TForm {
public:
    // Shown at once, centred on the screen, with the owner's caption bar icon.
    TWaitWindow(TComponent* AOwner, const CodePageString& caption);
    ~TWaitWindow() override;

    TLabel* EngineLabel;  // "Engine: "
    TLabel* EngineValue;
    TLabel* CountLabel;   // "Count "
    TLabel* CountValue;
    TGauge* Gauge;

    // The number of items the loop walks: the gauge's maximum.
    void SetItemCount(int count);
    // Item index (from 0) named name is being worked on. When the loop is
    // due to let messages through (TLoopPump), the window shows this item
    // and the pending messages are processed, so that it repaints; true then.
    bool Progress(std::string_view name, int index);
    // Shows the last item given, and lets the window paint it.
    void Finish();

private:
    void Show(int index);
    TLoopPump FPump;
    CodePageString FLastName;
    int FLastIndex = -1;
    bool FLastShown = true;
};
