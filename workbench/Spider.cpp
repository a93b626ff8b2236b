#include "workbench/Spider.h"

#include "classlib/BasicControls.h"
#include "classlib/Graphics.h"
#include "classlib/Skin.h"
#include "classlib/StatusBar.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "controls/Tranpanl.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/SubmitMain.h"

TSpider* Spider = nullptr;

TSpider::TSpider(TComponent* AOwner) : TForm(AOwner)
{
    MakeToolWindow(*this, "Spider", "Spider", 300, 150);
    SetFormStyle(fsStayOnTop);

    StatusBar1 = Place<TStatusBar>(this, this, "StatusBar1", 0, 131, 300, 19);
    StatusBar1->Panels()->Add()->SetText("Idle");
    TranPanel1 = PlaceClient<TTranPanel>(this, this, "TranPanel1", 300, 131);

    // Lit segments bright red, unlit ones dim, as the main window's counters.
    auto placeLed = [this](const char* name, int left) {
        TLedLabel* led = Place<TLedLabel>(this, TranPanel1, name, left, 30, 90, 28);
        led->SetSegmentThickness(0);
        led->SetNumChars(5);
        led->SetOnColor(clRed);
        led->SetOffColor(RGB(64, 0, 0));
        led->SetSegmentBorderColor(clRed);
        led->SetText("0");
        return led;
    };
    LedImp1 = placeLed("LedImp1", 12);
    Label1 = PlaceLabel(this, TranPanel1, "Label1", "URL's Found", 12, 12);
    LedImp2 = placeLed("LedImp2", 120);
    Label2 = PlaceLabel(this, TranPanel1, "Label2", "URL's Spidered", 120, 12);

    Button1 = PlaceButton(this, TranPanel1, "Button1", "Start", 218, 12);
    Button2 = PlaceButton(this, TranPanel1, "Button2", "Stop", 218, 40);
    Button2->SetEnabled(false);
    Button1->OnClick = [this](TObject* sender) { Button1Click(sender); };
    Button2->OnClick = [this](TObject* sender) { Button2Click(sender); };

    Label3 = PlaceLabel(this, TranPanel1, "Label3",
                        "Fill in all of the project information first: the spider uses the contact "
                        "information as the default for each spidered URL.",
                        12, 72);
    Label3->SetAutoSize(false);
    Label3->SetWordWrap(true);
    Label3->SetBounds(12, 72, 276, 42);

    SkinForm1 = NewComponent<TSkinForm>(this, "SkinForm1");
    OnShow = [this](TObject* sender) { FormShow(sender); };
    OnCloseQuery = [this](TObject* sender, bool& canClose) { FormCloseQuery(sender, canClose); };
}

TSpider::~TSpider()
{
    DestroyComponents();
    if (Spider == this)
        Spider = nullptr;
}

CodePageString TSpider::Status() const
{
    return StatusBar1->Panels()->Items(0)->Text();
}

void TSpider::SetStatus(const CodePageString& text)
{
    StatusBar1->Panels()->Items(0)->SetText(text);
}

// The crawl runs in the main window; the buttons start and stop it there.
void TSpider::Button1Click(TObject*)
{
    if (SubmitMain)
        SubmitMain->StartCrawl();
}

// Closing the window stops the crawl (FormCloseQuery).
void TSpider::Button2Click(TObject*)
{
    Close();
}

void TSpider::FormCloseQuery(TObject*, bool& CanClose)
{
    if (SubmitMain)
        SubmitMain->StopCrawl();
    CanClose = true;
}

void TSpider::FormShow(TObject*)
{
    ApplyDefaultSkin(*SkinForm1, MainAppFolder());
}
