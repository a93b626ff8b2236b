// The custom engine wizard: learns a new engine from its submit page and
// adds it to the engine catalog; lists, loads and deletes the user's own
// engines. The catalog and the flashing belong to the main window; the
// wizard reaches them through Attach, never through the main window's
// controls.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "classlib/Forms.h"
#include "transport/HttpProt.h"
#include "workbench/EngineFetch.h"

class TBitCheckBox;
class TComboBox;
class TEdit;
class TEngineCatalog;
class TFlashSwitch;
class TImgBtn;
class TLabel;
class TListBox;
class TMainMenu;
class TMemo;
class TMemoryStream;
class TMenuItem;
class TPanel;
class TSkinButton;
class TSkinForm;
class TStatusBar;
class TTranPanel;
class TWinControl;
struct TSubmitForm;

class TCustomDatabase : public TForm {
public:
    explicit TCustomDatabase(TComponent* AOwner);
    ~TCustomDatabase() override;

    TTranPanel* TranPanel2;
    TListBox* KeyList;  // shows the catalog's CustomNames
    TLabel* Label2;
    TBitCheckBox* SearchCk;
    TBitCheckBox* FFACK;
    TBitCheckBox* ClassCk;
    TLabel* Label1;
    TEdit* CustomUrl;
    TImgBtn* Button1;  // Import
    TImgBtn* Button2;  // Stop
    TImgBtn* Button3;  // Close
    TStatusBar* StatusBar1;
    TMainMenu* MainMenu1;
    TMenuItem* File1;
    TMenuItem* Delete1;
    TSkinForm* SkinForm1;
    TSkinButton* SkinButton1;
    THttpCli* Http1;  // fetches submit pages; the proxy settings reach it by its name

    // Never shown: one edit per record field, and the buttons that write
    // and clear them.
    TTranPanel* TranPanel1;
    TEdit* Session_Name;
    TEdit* urllist;
    TEdit* cgiurl;
    TEdit* title2;
    TEdit* url;
    TEdit* email;
    TEdit* Description;
    TEdit* category;
    TComboBox* cattype;
    TEdit* name;
    TEdit* hidden;
    TEdit* LastN;
    TEdit* Company;
    TEdit* Address1;
    TEdit* Address2;
    TEdit* City;
    TEdit* State;
    TEdit* Zip;
    TEdit* Phone;
    TEdit* Fax;
    TComboBox* method;
    TEdit* Key1;
    TEdit* Country;
    TImgBtn* Button5;  // Add to base
    TImgBtn* Button4;  // Clear
    TListBox* NameList;   // the field map: form field names...
    TListBox* ValueList;  // ...and the wizard fields they fill
    TMemo* Memo2;         // the option texts of the last analysed form

    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    // The type boxes are exclusive: each clears the other two.
    void SearchCkClick(TObject* Sender);
    void FFACKClick(TObject* Sender);
    void ClassCkClick(TObject* Sender);
    void Button1Click(TObject* Sender);  // Import
    void Button2Click(TObject* Sender);  // Stop
    void Button3Click(TObject* Sender);  // Close
    void Http1Command(TObject* Sender, CodePageString& S);
    void Http1DocBegin(TObject* Sender);
    void Http1DocData(TObject* Sender, const char* Buffer, int Len);
    void Http1RequestDone(TObject* Sender, THttpRequest RqType, std::uint16_t Error);
    void Button4Click(TObject* Sender);  // Clear
    void Button5Click(TObject* Sender);  // Add to base
    void KeyListDblClick(TObject* Sender);
    void Session_NameChange(TObject* Sender);
    // Deletes the custom engine selected in KeyList from the catalog, which
    // takes its row and rewrites the custom engine file.
    void Delete1Click(TObject* Sender);

    // The catalog the wizard adds to and deletes from, and the flashing it
    // asks for while it fetches; either may be null (a wizard on its own).
    // KeyList shows the catalog's custom engines from here on. The main
    // window's are attached when the wizard is created.
    void Attach(TEngineCatalog* engines, TFlashSwitch* flash);
    TEngineCatalog* AttachedEngines() const { return FEngines; }

    // Empties every record field's edit, the combo boxes included.
    void ClearEngineFields();
    // Writes a custom engine from the edit fields into the catalog, under
    // the name as the record stores it. A custom engine of that name is
    // replaced. False, with the reason shown, when nothing was written.
    bool SaveCustomEngine();

    // Analyses every form of a fetched page that takes a URL, asking for
    // each usable one whether to add it; a page's first twenty such forms at
    // most, false when it held more. pageUrl is where the page came from.
    bool FindSubmitForms(std::string_view page, const CodePageString& pageUrl);
    // Shows one analysed form in the edits and, when it is usable and the
    // user agrees, adds it. False when the user stopped the analysis.
    bool AnalyseSubmitForm(TSubmitForm& form);

    // Idle, fetching a page, or analysing the fetched page (the questions
    // included). Import is refused unless idle.
    using TImportState = TEngineFetchState;
    TImportState ImportState() const { return FFetch.State(); }

private:
    // The record fields that have an edit, by field number.
    struct TRecordEdit {
        int Field;
        TWinControl* Control;
    };
    std::vector<TRecordEdit> RecordEdits() const;
    // Back to idle: Import enabled, Stop disabled, the flashing hint off.
    void EndImport(const CodePageString& status);
    void SetStatus(const CodePageString& text);
    CodePageString CheckedType() const;

    std::unique_ptr<TMemoryStream> PageStream;  // the page being fetched
    TEngineFetch FFetch;
    TEngineCatalog* FEngines = nullptr;
    TFlashSwitch* FFlash = nullptr;
};

extern TCustomDatabase* CustomDatabase;
