// The progress bar, over the toolkit's progress bar.
#include "classlib/ProgressBar.h"

#include <QProgressBar>

#include "classlib/QtBridge.h"

// --- progress bar ----------------------------------------------------------------------------------------

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner)
{
    auto* bar = new QProgressBar;
    bar->setTextVisible(false);
    AttachWidget(bar);
    SetBounds(0, 0, 150, 16);
    Sync();
}

void TProgressBar::Sync()
{
    auto* bar = static_cast<QProgressBar*>(OwnWidget());
    bar->setRange(FMin, std::max(FMin, FMax));
    bar->setValue(FPosition);
    AccessibleChanged(TAccessibleChange::Value);
}

void TProgressBar::SetMin(int v)
{
    FMin = v;
    FPosition = std::clamp(FPosition, FMin, std::max(FMin, FMax));
    Sync();
}

void TProgressBar::SetMax(int v)
{
    FMax = v;
    FPosition = std::clamp(FPosition, FMin, std::max(FMin, FMax));
    Sync();
}

void TProgressBar::SetPosition(int v)
{
    FPosition = std::clamp(v, FMin, std::max(FMin, FMax));
    Sync();
}
