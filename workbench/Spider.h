// The spider window: starts, counts and stops a crawl of a site, which runs
// in the main window.
#pragma once

#include "classlib/Forms.h"

class TLabel;
class TLedLabel;
class TImgBtn;
class TSkinForm;
class TTranPanel;

class TSpider : public TForm {
public:
    explicit TSpider(TComponent* AOwner);
    ~TSpider() override;

    TTranPanel* TranPanel1;
    TLedLabel* LedImp1;  // URL's found
    TLedLabel* LedImp2;  // URL's spidered
    TLabel* Label1;
    TLabel* Label2;
    TLabel* Label3;  // the note about the project information
    TLabel* StatusLabel;
    TImgBtn* Button1;  // Start
    TImgBtn* Button2;  // Stop
    TSkinForm* SkinForm1;

    void FormShow(TObject* Sender);
};

extern TSpider* Spider;
