#include "workbench/CustomDatabase.h"

#include "classlib/BasicControls.h"
#include "classlib/Menus.h"
#include "classlib/Skin.h"
#include "classlib/StatusBar.h"
#include "controls/Btchkbox.h"
#include "controls/ImgBtn.h"
#include "controls/Tranpanl.h"
#include "platform/Hooks.h"
#include "workbench/EngineCatalog.h"
#include "workbench/EngineData.h"
#include "workbench/FlashHint.h"
#include "workbench/FormAnalysis.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/SubmitMain.h"

TCustomDatabase* CustomDatabase = nullptr;

namespace {

const char* const InvalidUrlText = "Invalid Url.";

// A submit page is some kilobytes; a reply far beyond that is no submit page
// (or one that never ends), and is not kept whole in memory.
constexpr std::int64_t MaxSubmitPageBytes = 8 << 20;

// Each form of a page asks its own question, and the boxes hold the window
// until answered: a page of endless forms would hold it for good.
constexpr int MaxFormsOffered = 20;

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
    KeyList->OnDblClick = [this](TObject* sender) { KeyListDblClick(sender); };

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
    SearchCk->OnClick = [this](TObject* sender) { SearchCkClick(sender); };
    FFACK = Place<TBitCheckBox>(this, TranPanel2, "FFACK", 310, 52, 130, 18);
    FFACK->SetCaption("FFA/Classified's");
    FFACK->OnClick = [this](TObject* sender) { FFACKClick(sender); };
    ClassCk = Place<TBitCheckBox>(this, TranPanel2, "ClassCk", 444, 52, 90, 18);
    ClassCk->SetCaption("Classified");
    ClassCk->SetVisible(false);
    ClassCk->OnClick = [this](TObject* sender) { ClassCkClick(sender); };

    CustomUrl = Place<TEdit>(this, TranPanel2, "CustomUrl", 206, 76, 326, 21);
    CustomUrl->SetText("http://");
    Label1 = PlaceLabel(this, TranPanel2, "Label1", "URL:", 176, 79, CustomUrl);

    Button1 = PlaceButton(this, TranPanel2, "Button1", "Import", 276, 104);
    Button1->OnClick = [this](TObject* sender) { Button1Click(sender); };
    Button2 = PlaceButton(this, TranPanel2, "Button2", "Stop", 364, 104);
    Button2->SetEnabled(false);
    Button2->OnClick = [this](TObject* sender) { Button2Click(sender); };
    Button3 = PlaceButton(this, TranPanel2, "Button3", "Close", 452, 104);
    Button3->OnClick = [this](TObject* sender) { Button3Click(sender); };

    StatusBar1 = NewComponent<TStatusBar>(this, "StatusBar1");
    StatusBar1->SetParent(this);
    StatusBar1->Panels()->Add()->SetWidth(50);

    // The record's fields, on a panel that is never shown.
    TranPanel1 = Place<TTranPanel>(this, this, "TranPanel1", 0, 160, 539, 200);
    TranPanel1->SetVisible(false);
    int slot = 0;
    // Fields fill a grid four wide, in the order they are placed.
    const auto nextCell = [&slot] {
        const TPoint cell{4 + (slot % 4) * 134, 4 + (slot / 4) * 24};
        ++slot;
        return cell;
    };
    const auto placeEdit = [&](const char* editName) {
        const TPoint cell = nextCell();
        return Place<TEdit>(this, TranPanel1, editName, cell.x, cell.y, 130, 21);
    };
    const auto placeCombo = [&](const char* comboName, std::initializer_list<const char*> items) {
        const TPoint cell = nextCell();
        TComboBox* combo = PlaceCombo(this, TranPanel1, comboName, cell.x, cell.y, 130, items, "");
        combo->SetItemIndex(-1);
        combo->SetText("");
        return combo;
    };
    Session_Name = placeEdit("Session_Name");
    Session_Name->OnChange = [this](TObject* sender) { Session_NameChange(sender); };
    urllist = placeEdit("urllist");
    cgiurl = placeEdit("cgiurl");
    title2 = placeEdit("title2");
    url = placeEdit("url");
    email = placeEdit("email");
    Description = placeEdit("Description");
    category = placeEdit("category");
    cattype = placeCombo("cattype", {"Cat1", "Cat2", "Cat3", "Cat4"});
    // The contact fields take the grid's next cells in the record's order,
    // its own fields between them.
    TContactLayout contact;
    contact.Order = {cfName, cfLastName, cfCompany, cfAddress1, cfAddress2, cfCity,
                     cfState, cfZip, cfPhone, cfFax, cfCountry};
    contact.Cell = [&](TContactField) {
        const TPoint cell = nextCell();
        return TContactCell{Bounds(cell.x, cell.y, 130, 21)};
    };
    contact.Before = [&](TContactField field) {
        if (field == cfLastName) {
            hidden = placeEdit("hidden");
        } else if (field == cfCountry) {
            method = placeCombo("method", {"GET", "POST"});
            Key1 = placeEdit("Key1");
        }
    };
    PlaceContactBlock(this, TranPanel1, {0, 0}, contact, ContactMembersOf(*this));
    Button5 = PlaceButton(this, TranPanel1, "Button5", "Add to base", 4, 150);
    Button5->OnClick = [this](TObject* sender) { Button5Click(sender); };
    Button4 = PlaceButton(this, TranPanel1, "Button4", "Clear", 88, 150);
    Button4->OnClick = [this](TObject* sender) { Button4Click(sender); };
    NameList = Place<TListBox>(this, TranPanel1, "NameList", 172, 150, 60, 40);
    ValueList = Place<TListBox>(this, TranPanel1, "ValueList", 236, 150, 60, 40);
    for (const TFieldMapRow& row : FieldMapping) {
        NameList->Items()->Add(row.FormName);
        ValueList->Items()->Add(row.Key);
    }
    NameList->SetVisible(false);
    ValueList->SetVisible(false);
    Memo2 = Place<TMemo>(this, TranPanel1, "Memo2", 300, 150, 120, 40);
    Memo2->SetVisible(false);

    Http1 = NewComponent<THttpCli>(this, "Http1");
    Http1->LocalAddr = "0.0.0.0";
    Http1->ProxyPort = "80";
    Http1->Agent = "Mozilla/3.0 (compatible)";
    Http1->Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    Http1->NoCache = true;
    Http1->ContentTypePost = "application/x-www-form-urlencoded";
    Http1->OnCommand = [this](TObject* sender, CodePageString& s) { Http1Command(sender, s); };
    Http1->OnDocBegin = [this](TObject* sender) { Http1DocBegin(sender); };
    Http1->OnDocData = [this](TObject* sender, const char* buffer, int len) { Http1DocData(sender, buffer, len); };
    Http1->OnRequestDone = [this](TObject* sender, THttpRequest kind, std::uint16_t error) {
        Http1RequestDone(sender, kind, error);
    };

    SkinForm1 = NewComponent<TSkinForm>(this, "SkinForm1");
    SkinButton1 = NewComponent<TSkinButton>(this, "SkinButton1");
    OnCreate = [this](TObject* sender) { FormCreate(sender); };
    OnShow = [this](TObject* sender) { FormShow(sender); };
    OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
}

TCustomDatabase::~TCustomDatabase()
{
    // A request still running ends with the client; nothing is left to tell.
    Http1->OnRequestDone = nullptr;
    Http1->ReceiveStream = nullptr;
    // A main window that goes first detaches its catalog itself.
    if (FEngines)
        FEngines->NameView = {};
    DestroyComponents();
    if (CustomDatabase == this)
        CustomDatabase = nullptr;
}

std::vector<TCustomDatabase::TRecordEdit> TCustomDatabase::RecordEdits() const
{
    return {
        {efSubmitPage, urllist}, {efFormAction, cgiurl}, {efTitle, title2},     {efUrl, url},
        {efEmail, email},        {efDescription, Description}, {efCategory, category}, {efCategoryType, cattype},
        {efName, name},          {efExtra, hidden},       {efLastName, LastN},   {efCompany, Company},
        {efAddress1, Address1},  {efAddress2, Address2},  {efCity, City},        {efState, State},
        {efZip, Zip},            {efPhone, Phone},        {efFax, Fax},          {efMethod, method},
        {efKeywords, Key1},      {efCountry, Country},
    };
}

void TCustomDatabase::FormCreate(TObject*)
{
    if (SubmitMain)
        Attach(&SubmitMain->Engines, SubmitMain);
}

void TCustomDatabase::Attach(TEngineCatalog* engines, TFlashSwitch* flash)
{
    if (FEngines)
        FEngines->NameView = {};
    FEngines = engines;
    FFlash = flash;
    KeyList->Items()->Clear();
    if (!FEngines)
        return;
    FEngines->ListCustomEngines();
    // At once: a large database may hold thousands of custom engines.
    KeyList->Items()->AddStrings(std::vector<CodePageString>(FEngines->CustomNames()));
    TEngineCatalog::TNameView& names = FEngines->NameView;
    names.Added = [this](int place) { KeyList->Items()->Add(FEngines->CustomNames()[std::size_t(place)]); };
    names.Renamed = [this](int place) {
        KeyList->Items()->SetStrings(place, FEngines->CustomNames()[std::size_t(place)]);
    };
    // The one after it is selected next, or the one before it at the end.
    names.Removed = [this](int place) {
        const int next = place == KeyList->Items()->Count() - 1 ? place - 1 : place;
        KeyList->Items()->Delete(place);
        KeyList->SetItemIndex(next);
    };
}

void TCustomDatabase::FormShow(TObject*)
{
    // The skin control holds no skin of its own until it is given the
    // installation's; the main window stays hidden while the wizard is open.
    if (SkinForm1->SkinSource.empty()) {
        ApplyDefaultSkin(*SkinForm1, MainAppFolder());
        SkinButton1->SkinPath = SkinForm1->SkinPath;
        if (SubmitMain)
            SubmitMain->Hide();
    }
}

void TCustomDatabase::FormClose(TObject*, TCloseAction&)
{
    if (SubmitMain)
        SubmitMain->Show();
}

void TCustomDatabase::SearchCkClick(TObject*)
{
    FFACK->SetChecked(false);
    ClassCk->SetChecked(false);
}

void TCustomDatabase::FFACKClick(TObject*)
{
    SearchCk->SetChecked(false);
    ClassCk->SetChecked(false);
}

void TCustomDatabase::ClassCkClick(TObject*)
{
    SearchCk->SetChecked(false);
    FFACK->SetChecked(false);
}

// --- import -------------------------------------------------------------------------------------

void TCustomDatabase::SetStatus(const CodePageString& text)
{
    StatusBar1->Panels()->Items(0)->SetText(text);
}

void TCustomDatabase::Button1Click(TObject*)
{
    if (FFetch.State() != TImportState::Idle)
        return;
    const CodePageString pageUrl = CustomUrl->Text();
    // A bar or a line break in the address would split the stored record.
    if (pageUrl.empty() || pageUrl.find('.') == CodePageString::npos ||
        pageUrl.find_first_of("|\r\n") != CodePageString::npos) {
        Application->MessageBox(InvalidUrlText, "Invalid Url", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!FFACK->Checked() && !SearchCk->Checked() && !ClassCk->Checked()) {
        Application->MessageBox("You forgot to select an engine type.", "No engine type selected",
                                MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (FEngines && FEngines->HoldsAddress(pageUrl)) {
        Application->MessageBox("This Engine already exists in the database.", "Already Exists",
                                MB_OK | MB_ICONEXCLAMATION);
        return;
    }

    const TFlashSwitch::TState flashWas =
        FFlash ? FFlash->FlashState() : TFlashSwitch::TState{TFlashTarget::None, false};
    Button1->SetEnabled(false);
    Button2->SetEnabled(true);
    if (FFlash)
        FFlash->StartFlashing(TFlashTarget::WizardImport);

    Http1->URL = pageUrl;
    PageStream = std::make_unique<TMemoryStream>();
    Http1->ReceiveStream = PageStream.get();
    FFetch.StopAsked = false;
    FFetch.TooLarge = false;
    FFetch.Step(TImportState::Fetching);
    try {
        Http1->GetAsync();
    } catch (const EHttpException&) {
        // Nothing was started: everything goes back as it was.
        FFetch.Step(TImportState::Idle);
        Http1->ReceiveStream = nullptr;
        PageStream.reset();
        Button1->SetEnabled(true);
        Button2->SetEnabled(false);
        if (FFlash)
            FFlash->RestoreFlashing(flashWas);
        SetStatus("Http Error!!");
    }
}

void TCustomDatabase::Button2Click(TObject*)
{
    FFetch.StopAsked = true;
    if (FFetch.State() == TImportState::Fetching) {
        // The request ends through its request-done event, which ends the import.
        Http1->Abort();
        Button2->SetEnabled(false);
    }
}

void TCustomDatabase::Button3Click(TObject*)
{
    Close();
}

void TCustomDatabase::Http1Command(TObject* Sender, CodePageString&)
{
    if (auto* client = dynamic_cast<THttpCli*>(Sender))
        SetStatus("Connecting: " + client->URL);
}

void TCustomDatabase::Http1DocBegin(TObject*)
{
    SetStatus("Loading");
}

void TCustomDatabase::Http1DocData(TObject*, const char*, int)
{
    SetStatus("Loading: " + IntToStr(static_cast<long long>(Http1->ReceivedBytes())));
    if (FFetch.State() == TImportState::Fetching && !FFetch.TooLarge &&
        Http1->ReceivedBytes() > MaxSubmitPageBytes) {
        FFetch.TooLarge = true;
        Http1->Abort();
    }
}

void TCustomDatabase::Http1RequestDone(TObject*, THttpRequest, std::uint16_t Error)
{
    if (FFetch.State() != TImportState::Fetching)
        return;  // a request the wizard did not start
    Http1->ReceiveStream = nullptr;
    const std::unique_ptr<TMemoryStream> page = std::move(PageStream);

    if (FFetch.StopAsked) {
        // Half a page would offer half a form.
        EndImport("Stopped");
        return;
    }
    if (FFetch.TooLarge) {
        EndImport("Failed");
        Application->MessageBox("The page is larger than a submit page (" + IntToStr(MaxSubmitPageBytes >> 20) +
                                    " MB); it was not analysed.",
                                "Import Failed", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const int status = Http1->HttpStatus();
    if (Error != 0 || status < 200 || status > 299) {
        EndImport("Failed");
        Application->MessageBox("The page could not be fetched: " + IntToStr(status) + " " + Http1->StatusText(),
                                "Import Failed", MB_OK | MB_ICONEXCLAMATION);
        return;
    }

    FFetch.Step(TImportState::Analysing);
    SetStatus("Analysing");
    const CodePageString base = Http1->EffectiveURL().empty() ? Http1->URL : Http1->EffectiveURL();
    bool allForms = true;
    try {
        allForms = FindSubmitForms(page->DataString(), base);
    } catch (...) {
        EndImport("Done");
        throw;
    }
    EndImport(FFetch.StopAsked  ? CodePageString("Stopped")
              : allForms ? CodePageString("Done")
                         : "Done: only the first " + IntToStr(MaxFormsOffered) + " forms of the page were read");
}

void TCustomDatabase::EndImport(const CodePageString& status)
{
    FFetch.Step(TImportState::Idle);
    Button1->SetEnabled(true);
    Button2->SetEnabled(false);
    if (FFlash)
        FFlash->StopFlashing(TFlashTarget::WizardImport);
    SetStatus(status);
}

bool TCustomDatabase::FindSubmitForms(std::string_view page, const CodePageString& pageUrl)
{
    int offered = 0;
    bool allForms = true;
    ::FindSubmitForms(
        page, pageUrl,
        [&](TSubmitForm& form) {
            if (offered == MaxFormsOffered) {
                allForms = false;
                return false;
            }
            ++offered;
            return AnalyseSubmitForm(form);
        },
        [] {
            Application->MessageBox("The Engine Did Did Not Meet The Requirements.", "Engine Failed",
                                    MB_OK | MB_ICONEXCLAMATION);
        },
        // A long page lets the window answer now and then; Stop ends the scan.
        [this] {
            Application->ProcessMessages();
            return !FFetch.StopAsked;
        });
    return allForms;
}

bool TCustomDatabase::AnalyseSubmitForm(TSubmitForm& form)
{
    ClearEngineFields();
    Memo2->Lines()->Clear();
    // In one step: a category list may hold thousands of options.
    Memo2->Lines()->AddStrings(form.OptionTexts);

    const CodePageString pageUrl = Http1->URL;
    const std::vector<CodePageString> names = FEngines ? FEngines->EngineNames() : std::vector<CodePageString>();
    Session_Name->SetText(UniqueEngineName(EngineBaseName(pageUrl), names));

    const bool usable = MeetsRequirements(form);
    const TEngineFields fields = EngineFieldsOfForm(form, pageUrl);
    for (const TRecordEdit& edit : RecordEdits())
        edit.Control->SetText(fields[std::size_t(edit.Field)]);
    if (!usable) {
        Application->MessageBox("The Engine Did Did Not Meet The Requirements.", "Engine Failed",
                                MB_OK | MB_ICONEXCLAMATION);
        return !FFetch.StopAsked;
    }
    const int answer = Application->MessageBox(
        "This Engine Meets The Requirements .\r\nDo You Want To Add it To Your Database  ?", "Add To Database",
        MB_YESNO | MB_ICONQUESTION);
    if (answer == IDYES && !FFetch.StopAsked)
        SaveCustomEngine();
    return !FFetch.StopAsked;
}

// --- the record ---------------------------------------------------------------------------------

void TCustomDatabase::ClearEngineFields()
{
    Session_Name->SetText("");
    cattype->SetItemIndex(-1);
    method->SetItemIndex(-1);
    for (const TRecordEdit& edit : RecordEdits())
        edit.Control->SetText("");
}

void TCustomDatabase::Button4Click(TObject*)
{
    ClearEngineFields();
}

void TCustomDatabase::Button5Click(TObject*)
{
    SaveCustomEngine();
}

void TCustomDatabase::Session_NameChange(TObject*) {}

CodePageString TCustomDatabase::CheckedType() const
{
    CodePageString type;
    if (FFACK->Checked())
        type = "Custom->FFA";
    if (SearchCk->Checked())
        type = "Custom->Engine";
    if (ClassCk->Checked())
        type = "Custom->Classified";
    return type;
}

bool TCustomDatabase::SaveCustomEngine()
{
    if (!FEngines)
        return false;
    const CodePageString type = CheckedType();
    if (type.empty()) {
        Application->MessageBox("You forgot to select an engine type.", "No engine type selected",
                                MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    TEngineFields fields;
    fields[efType] = type;
    for (const TRecordEdit& edit : RecordEdits())
        fields[std::size_t(edit.Field)] = edit.Control->Text();
    switch (FEngines->AddCustomEngine(Session_Name->Text(), fields)) {
    case TEngineCatalog::TAddResult::Added:
        return true;
    case TEngineCatalog::TAddResult::BadName:
        Application->MessageBox("An engine needs a name, without \"=\".", "No Name", MB_OK | MB_ICONEXCLAMATION);
        return false;
    case TEngineCatalog::TAddResult::Refused:
        return false;
    }
    return false;
}

void TCustomDatabase::KeyListDblClick(TObject*)
{
    const int selected = KeyList->ItemIndex();
    if (selected < 0 || !FEngines)
        return;
    const CodePageString engineName = KeyList->Items()->Strings(selected);
    Session_Name->SetText(engineName);
    // The type stays with the type boxes.
    const TEngineFields fields = EngineFieldsOf(FEngines->CustomRecordValue(engineName));
    for (const TRecordEdit& edit : RecordEdits())
        edit.Control->SetText(fields[std::size_t(edit.Field)]);
}

void TCustomDatabase::Delete1Click(TObject*)
{
    const int selected = KeyList->ItemIndex();
    if (selected < 0) {
        Application->MessageBox("You have not selected an item to Delete", "No Item", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (FEngines)
        FEngines->RemoveCustomEngine(selected);
}
