#include "workbench/WaitWindow.h"

#include "classlib/Gauges.h"
#include "classlib/StdCtrls.h"
#include "platform/Hooks.h"
#include "workbench/FormBuild.h"

TWaitWindow::TWaitWindow(TComponent* AOwner, const AnsiString& caption) : TForm(AOwner)
{
    Name = "WaitWindow";
    SetCaption(caption);
    SetBorderStyle(bsToolWindow);
    SetPosition(poScreenCenter);
    SetWindowState(wsNormal);
    SetWidth(350);
    SetHeight(85);

    auto label = [this](const char* name, const AnsiString& text, int left, int top) {
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

void TWaitWindow::Progress(const AnsiString& name, int index)
{
    const unsigned now = GetTickCount();
    if (FShownOnce && now - FLastShown < WaitWindowRepaintMs) {
        FPendingName = name;
        FPendingIndex = index;
        return;
    }
    Show(name, index);
    FLastShown = now;
}

void TWaitWindow::Finish()
{
    if (FPendingIndex >= 0)
        Show(FPendingName, FPendingIndex);
}

void TWaitWindow::Show(const AnsiString& name, int index)
{
    FShownOnce = true;
    FPendingIndex = -1;
    EngineValue->SetCaption(name);
    CountValue->SetCaption(IntToStr(index));
    Gauge->SetProgress(index + 1);  // the last item fills the gauge
}
