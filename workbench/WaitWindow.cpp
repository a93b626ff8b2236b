#include "workbench/WaitWindow.h"

#include "classlib/BasicControls.h"
#include "classlib/Gauges.h"
#include "platform/Hooks.h"
#include "workbench/FormBuild.h"

bool TLoopPump::Due() const
{
    return !FPumped || GetTickCount() - FLastPump >= LoopPumpMs;
}

void TLoopPump::Pump()
{
    Application->ProcessMessages();
    // Counted from the end of the pump: however long the messages took, the
    // loop gets its share of the time before the next one.
    FPumped = true;
    FLastPump = GetTickCount();
}

bool TLoopPump::Step()
{
    if (!Due())
        return false;
    Pump();
    return true;
}

TWaitWindow::TWaitWindow(TComponent* AOwner, const CodePageString& caption) : TForm(AOwner)
{
    Name = "WaitWindow";
    SetCaption(caption);
    SetBorderStyle(bsToolWindow);
    SetPosition(poScreenCenter);
    SetWindowState(wsNormal);
    SetWidth(350);
    SetHeight(85);

    auto label = [this](const char* name, const CodePageString& text, int left, int top) {
        TLabel* l = PlaceLabel(this, this, name, text, left, top);
        l->SetHeight(13);
        return l;
    };
    EngineLabel = label("EngineLabel", "Engine: ", 10, 10);
    EngineValue = label("EngineValue", " ", 110, 10);
    CountLabel = label("CountLabel", "Count ", 10, 25);
    CountValue = label("CountValue", " ", 110, 25);

    Gauge = NewComponent<TGauge>(this, "Gauge");
    Gauge->SetHeight(16);
    Gauge->SetAlign(alBottom);
    Gauge->SetForeColor(clNavy);
    Gauge->SetParent(this);

    TForm::Show();
}

TWaitWindow::~TWaitWindow()
{
    DestroyComponents();
}

void TWaitWindow::SetItemCount(int count)
{
    Gauge->SetMaxValue(count);
}

bool TWaitWindow::Progress(std::string_view name, int index)
{
    // Kept before the messages run: they may free what name points into.
    FLastName.assign(name);
    FLastIndex = index;
    FLastShown = false;
    if (!FPump.Due())
        return false;
    Show(index);
    FPump.Pump();
    return true;
}

void TWaitWindow::Finish()
{
    if (FLastShown)
        return;
    Show(FLastIndex);
    FPump.Pump();
}

void TWaitWindow::Show(int index)
{
    FLastShown = true;
    EngineValue->SetCaption(FLastName);
    CountValue->SetCaption(IntToStr(index));
    Gauge->SetProgress(index + 1);  // the last item fills the gauge
}
