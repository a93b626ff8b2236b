#include "workbench/UpdateBox.h"

#include "classlib/BasicControls.h"
#include "classlib/ListView.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/Skin.h"
#include "controls/ImgBtn.h"
#include "controls/Tranpanl.h"
#include "transport/HttpProt.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/SubmitMain.h"

TUpdateBox* UpdateBox = nullptr;

TUpdateBox::TUpdateBox(TComponent* AOwner) : TForm(AOwner)
{
    Name = "UpdateBox";
    SetCaption("Database Update");
    SetBorderStyle(bsSizeToolWin);
    SetFormStyle(fsStayOnTop);
    SetPosition(poScreenCenter);
    SetWidth(434);
    SetHeight(62);

    TranPanel1 = PlaceClient<TTranPanel>(this, this, "TranPanel1", ClientWidth(), ClientHeight());
    InfoLabel = PlaceLabel(this, TranPanel1, "InfoLabel", "Status:", 8, 4);
    UpdateBar1 = Place<TProgressBar>(this, TranPanel1, "UpdateBar1", 8, 20, 320, 14);
    UpdateBar1->SetMin(0);
    UpdateBar1->SetMax(100);
    UpdateBar1->SetVisible(false);
    UpdateAbort = PlaceButton(this, TranPanel1, "UpdateAbort", "Abort", 336, 8);
    UpdateAbort->SetEnabled(false);
    UpdateAbort->OnClick = [this](TObject* sender) { UpdateAbortClick(sender); };

    SkinForm1 = NewComponent<TSkinForm>(this, "SkinForm1");
    OnShow = [this](TObject* sender) { FormShow(sender); };
}

TUpdateBox::~TUpdateBox()
{
    DestroyComponents();
    if (UpdateBox == this)
        UpdateBox = nullptr;
}

void TUpdateBox::FormShow(TObject*)
{
    ApplyDefaultSkin(*SkinForm1, MainAppFolder());
}

void TUpdateBox::UpdateAbortClick(TObject*)
{
    if (SubmitMain)
        SubmitMain->HttpCli2->Abort();
}
