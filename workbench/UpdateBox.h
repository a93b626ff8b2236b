// The progress window of the database and software update.
#pragma once

#include "classlib/Forms.h"

class TImgBtn;
class TLabel;
class TProgressBar;
class TSkinForm;
class TTranPanel;

class TUpdateBox : public TForm {
public:
    explicit TUpdateBox(TComponent* AOwner);
    ~TUpdateBox() override;

    TTranPanel* TranPanel1;
    TLabel* InfoLabel;
    TProgressBar* UpdateBar1;
    TImgBtn* UpdateAbort;
    TSkinForm* SkinForm1;

    void FormShow(TObject* Sender);
    // Aborts the main window's running download.
    void UpdateAbortClick(TObject* Sender);
};

extern TUpdateBox* UpdateBox;
