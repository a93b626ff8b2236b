#include "workbench/CustomDatabase.h"

#include "classlib/Menus.h"
#include "classlib/Skin.h"
#include "classlib/StdCtrls.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "controls/Tranpanl.h"
#include "platform/Hooks.h"
#include "workbench/EngineData.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/SubmitMain.h"

TCustomDatabase* CustomDatabase = nullptr;

namespace {

// The index of the first custom engine line named name, letter case ignored;
// -1 when none. A database engine may have the same name and is never taken.
int FindEngineLine(const TStrings& list, const AnsiString& name)
{
    for (int i = 0; i < list.Count(); ++i) {
        const EngineLine engine = SplitEngineLine(list.Strings(i));
        if (IsCustomType(engine.type) && SameText(engine.name, name))
            return i;
    }
    return -1;
}

}  // namespace

TCustomDatabase::TCustomDatabase(TComponent* AOwner) : TForm(AOwner)
{
    Name = "CustomDatabase";
    SetCaption("Custom Database Wizard");
    SetBorderStyle(bsToolWindow);
    SetPosition(poScreenCenter);

    MainMenu1 = NewComponent<TMainMenu>(this, "MainMenu1");
    File1 = NewComponent<TMenuItem>(this, "File1");
    File1->SetCaption("File");
    Delete1 = NewComponent<TMenuItem>(this, "Delete1");
    Delete1->SetCaption("Delete Engine");
    Delete1->OnClick = [this](TObject* sender) { Delete1Click(sender); };
    File1->Add(Delete1);
    MainMenu1->Items()->Add(File1);
    SetMenu(MainMenu1);

    SetClientWidth(539);
    SetClientHeight(155);

    TranPanel2 = PlaceClient<TTranPanel>(this, this, "TranPanel2", 539, 155);
    KeyList = Place<TListBox>(this, TranPanel2, "KeyList", 6, 6, 160, 124);

    Label2 = PlaceLabel(this, TranPanel2, "Label2",
                        "To add a new engine, classified or FFA, Site to your custom database simply select "
                        "what type of engine you would like to add, provide the url to the submit page and "
                        "Click the Import Button.",
                        176, 6);
    Label2->SetAutoSize(false);
    Label2->SetWordWrap(true);
    Label2->SetBounds(176, 6, 356, 42);

    SearchCk = Place<TBitCheckBox>(this, TranPanel2, "SearchCk", 176, 52, 130, 18);
    SearchCk->SetCaption("Search Engine");
    FFACK = Place<TBitCheckBox>(this, TranPanel2, "FFACK", 310, 52, 130, 18);
    FFACK->SetCaption("FFA/Classified's");
    ClassCk = Place<TBitCheckBox>(this, TranPanel2, "ClassCk", 444, 52, 90, 18);
    ClassCk->SetCaption("Classified");
    ClassCk->SetVisible(false);

    CustomUrl = Place<TEdit>(this, TranPanel2, "CustomUrl", 206, 76, 326, 21);
    CustomUrl->SetText("http://");
    Label1 = PlaceLabel(this, TranPanel2, "Label1", "URL:", 176, 79, CustomUrl);

    Button1 = PlaceButton(this, TranPanel2, "Button1", "Import", 276, 104);
    Button2 = PlaceButton(this, TranPanel2, "Button2", "Stop", 364, 104);
    Button2->SetEnabled(false);
    Button3 = PlaceButton(this, TranPanel2, "Button3", "Close", 452, 104);
    StatusLabel = PlaceLabel(this, TranPanel2, "StatusLabel", "", 6, 136);

    SkinForm1 = NewComponent<TSkinForm>(this, "SkinForm1");
    OnCreate = [this](TObject* sender) { FormCreate(sender); };
    OnShow = [this](TObject* sender) { FormShow(sender); };
}

TCustomDatabase::~TCustomDatabase()
{
    DestroyComponents();
    if (CustomDatabase == this)
        CustomDatabase = nullptr;
}

void TCustomDatabase::FormCreate(TObject*)
{
    if (!SubmitMain)
        return;
    TListItems* rows = SubmitMain->ExListView2->Items();
    KeyList->Items()->BeginUpdate();
    for (int i = 0; i < rows->Count(); ++i) {
        TListItem* row = rows->Item(i);
        if (row->SubItems()->Strings(3).find("Custom") != AnsiString::npos)
            KeyList->Items()->Add(row->Caption());
    }
    KeyList->Items()->EndUpdate();
}

void TCustomDatabase::FormShow(TObject*)
{
    ApplyDefaultSkin(*SkinForm1, MainAppFolder());
}

void TCustomDatabase::Delete1Click(TObject*)
{
    const int selected = KeyList->ItemIndex();
    if (selected < 0) {
        Application->MessageBox("You have not selected an item to Delete", "No Item", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // A custom engine file that could not be read holds records the lists
    // never saw; rewriting it from them would lose those records.
    if (!SubmitMain->MayRewriteEngineFile(SubmitMain->CustomEngineFileLoaded, CustomEngineFileName))
        return;

    const AnsiString name = KeyList->Items()->Strings(selected);
    const int next = selected == KeyList->Items()->Count() - 1 ? selected - 1 : selected;

    TStringList* engines = SubmitMain->EngineList.get();
    const int line = FindEngineLine(*engines, name);
    if (line >= 0)
        engines->Delete(line);
    engines->SetSorted(true);

    TListItems* rows = SubmitMain->ExListView2->Items();
    for (int i = 0; i < rows->Count(); ++i)
        if (rows->Item(i)->Caption() == name && IsCustomType(rows->Item(i)->SubItemRef(3))) {
            rows->Delete(i);
            break;
        }

    KeyList->Items()->Delete(selected);
    KeyList->SetItemIndex(next);
    SaveCustomEngineFile();
    SubmitMain->CountEngineTypes();
}

void TCustomDatabase::SaveCustomEngineFile()
{
    TStringList lines;
    const TStringList& engines = *SubmitMain->EngineList;
    for (int i = 0; i < KeyList->Items()->Count(); ++i) {
        const int line = FindEngineLine(engines, KeyList->Items()->Strings(i));
        if (line >= 0)
            lines.Add(engines.Strings(line));
    }
    SaveScrambledStrings(lines, AppPath(SubmitMain->AppFolder, CustomEngineFileName), EngineCipherStart);
}
