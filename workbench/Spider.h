// The spider window: starts, counts and stops a crawl of a site, which runs
// in the main window.
#pragma once

#include "classlib/Forms.h"

class TLabel;
class TLedLabel;
class TImgBtn;
class TSkinForm;
class TStatusBar;
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
    TImgBtn* Button1;  // Start
    TImgBtn* Button2;  // Stop
    TStatusBar* StatusBar1;
    TSkinForm* SkinForm1;

    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);
    void FormCloseQuery(TObject* Sender, bool& CanClose);
    void FormShow(TObject* Sender);

    // The status panel's text.
    CodePageString Status() const;
    void SetStatus(const CodePageString& text);
};

extern TSpider* Spider;
