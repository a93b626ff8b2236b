#include "workbench/Spider.h"

#include "classlib/Skin.h"
#include "classlib/StdCtrls.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "controls/Tranpanl.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"

TSpider* Spider = nullptr;

TSpider::TSpider(TComponent* AOwner) : TForm(AOwner)
{
    MakeToolWindow(*this, "Spider", "Spider", 300, 150);
    SetFormStyle(fsStayOnTop);

    TranPanel1 = PlaceClient<TTranPanel>(this, this, "TranPanel1", 300, 150);

    LedImp1 = Place<TLedLabel>(this, TranPanel1, "LedImp1", 12, 30, 90, 28);
    LedImp1->SetSegmentThickness(0);
    LedImp1->SetNumChars(5);
    LedImp1->SetText("0");
    Label1 = PlaceLabel(this, TranPanel1, "Label1", "URL's Found", 12, 12);
    LedImp2 = Place<TLedLabel>(this, TranPanel1, "LedImp2", 120, 30, 90, 28);
    LedImp2->SetSegmentThickness(0);
    LedImp2->SetNumChars(5);
    LedImp2->SetText("0");
    Label2 = PlaceLabel(this, TranPanel1, "Label2", "URL's Spidered", 120, 12);

    Button1 = PlaceButton(this, TranPanel1, "Button1", "Start", 218, 12);
    Button2 = PlaceButton(this, TranPanel1, "Button2", "Stop", 218, 40);
    Button2->SetEnabled(false);

    Label3 = PlaceLabel(this, TranPanel1, "Label3",
                        "Fill in all of the project information first: the spider uses the contact "
                        "information as the default for each spidered URL.",
                        12, 72);
    Label3->SetAutoSize(false);
    Label3->SetWordWrap(true);
    Label3->SetBounds(12, 72, 276, 42);
    StatusLabel = PlaceLabel(this, TranPanel1, "StatusLabel", "Idle", 12, 124);

    SkinForm1 = NewComponent<TSkinForm>(this, "SkinForm1");
    OnShow = [this](TObject* sender) { FormShow(sender); };
}

TSpider::~TSpider()
{
    DestroyComponents();
    if (Spider == this)
        Spider = nullptr;
}

void TSpider::FormShow(TObject*)
{
    ApplyDefaultSkin(*SkinForm1, MainAppFolder());
}
