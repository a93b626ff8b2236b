// The custom engine wizard: adds engines of the user's own to the engine
// database and lists, loads and deletes them.
#pragma once

#include "classlib/Forms.h"

class TBitCheckBox;
class TEdit;
class TImgBtn;
class TLabel;
class TListBox;
class TMainMenu;
class TMenuItem;
class TPanel;
class TSkinForm;
class TTranPanel;

class TCustomDatabase : public TForm {
public:
    explicit TCustomDatabase(TComponent* AOwner);
    ~TCustomDatabase() override;

    TTranPanel* TranPanel2;
    TListBox* KeyList;  // the custom engines by name, in the custom engine file's order
    TLabel* Label2;
    TBitCheckBox* SearchCk;
    TBitCheckBox* FFACK;
    TBitCheckBox* ClassCk;
    TLabel* Label1;
    TEdit* CustomUrl;
    TImgBtn* Button1;  // Import
    TImgBtn* Button2;  // Stop
    TImgBtn* Button3;  // Close
    TLabel* StatusLabel;
    TMainMenu* MainMenu1;
    TMenuItem* File1;
    TMenuItem* Delete1;
    TSkinForm* SkinForm1;

    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    // Deletes the custom engine selected in KeyList from the engine list, its
    // row and the custom engine file; the main window's Delete Engine
    // selects the engine here and calls this.
    void Delete1Click(TObject* Sender);

    // Writes the custom engine file from KeyList: for each name, the first
    // custom engine line of that name (letter case ignored).
    void SaveCustomEngineFile();
};

extern TCustomDatabase* CustomDatabase;
