#include "controls/Tranpanl.h"

TTranPanel::TTranPanel(TComponent* AOwner) : TCustomControl(AOwner)
{
    SetControlStyle(TransparentContainerStyle(ControlStyle()));
    SetBounds(Left(), Top(), 185, 41);
}

void TTranPanel::SetBorder(bool value)
{
    if (value == FBorder)
        return;
    FBorder = value;
    Invalidate();
}

void TTranPanel::Paint()
{
    if (!FBorder)
        return;
    TCanvas* canvas = Canvas();
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(clBtnShadow);
    canvas->FrameRect(ClientRect());
}
