// The main window's "Projects" page and its "Project Information" sheet:
// building them, saving, clearing, deleting and loading projects, the project
// list beside the notebook, and the length counters with their mirrors on the
// other pages.
#include <exception>
#include <iterator>
#include <stdexcept>

#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/Dialogs.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "classlib/Graphics.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/Timer.h"
#include "controls/Btchkbox.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/ProjectData.h"
#include "workbench/SpiderData.h"
#include "workbench/SubmitMain.h"

namespace {

// The project categories, in the order the combo box offers them
// ("Miscellaneous" is offered twice, first and in its alphabetical place).
constexpr const char* Categories[] = {
    "Miscellaneous", "Automotive",    "Business",      "Communications", "Community",  "Computers",
    "Consumer",      "Education",     "Employment",    "Entertainment",  "Finance",    "Government",
    "Health",        "Internet",      "Manufacturing", "Media",          "Medical",    "Miscellaneous",
    "News",          "Opportunities", "Personal",      "Politics",       "Publishing", "Recreation",
    "Reference",     "Religion",      "Sci-Tech",      "Services",       "Transportation", "Travel",
    "Web_Stuff",
};

// The page's control of that name. Every name comes from the tables of
// ProjectData, so a missing one is a mistake in the window's construction.
TControl& NamedControl(const TSubmitMain& form, const char* name)
{
    auto* control = dynamic_cast<TControl*>(form.FindComponent(name));
    if (!control)
        throw std::logic_error(std::string("the main window has no control ") + name);
    return *control;
}

void PaintLengthCounter(TLedLabel& led, const LengthCounter& counter, int value)
{
    led.SetText(IntToStr(value));
    led.SetSegmentBorderColor(value <= counter.limit ? clAqua : clRed);
    led.SetOffColor(clMaroon);
}

}  // namespace

void TSubmitMain::BuildProjectPanel()
{
    ProjectPanel = Place<TPanel>(this, this, "ProjectPanel", 4, 4, 176, 552);
    ProjectPanel->SetBevelOuter(bvLowered);
    Label1 = PlaceLabel(this, ProjectPanel, "Label1", "Projects", 8, 8);
    Label1->Font()->SetStyle(TFontStyles{fsBold});
    SesList = Place<TCheckListBox>(this, ProjectPanel, "SesList", 6, 26, 164, 474);
    Label1->SetFocusControl(SesList);
    LedLabel1 = PlaceLed(this, ProjectPanel, "LedLabel1", 100, 514, 4);
    Label3 = PlaceLabel(this, ProjectPanel, "Label3", "Projects saved", 8, 520);
}

void TSubmitMain::BuildProjectsPage(TWinControl* page)
{
    PageControl1 = PlaceClient<TPageControl>(this, page, "PageControl1", page->ClientWidth(), page->ClientHeight());

    TabSheet1 = NewComponent<TTabSheet>(this, "TabSheet1");
    TabSheet1->SetCaption("Project Information");
    TabSheet1->SetPageControl(PageControl1);
    TWinControl* sheet = TabSheet1;
    constexpr int field = 100;
    constexpr int wide = 380;
    constexpr int led = 490;

    Session_Name = Place<TEdit>(this, sheet, "Session_Name", field, 8, 200, 21);
    PlaceLabel(this, sheet, "Label4", "Project Name", 8, 11, Session_Name);
    urllist = Place<TEdit>(this, sheet, "urllist", field, 34, wide, 21);
    urllist->SetText("http://");
    PlaceLabel(this, sheet, "Label5", "URL", 8, 37, urllist);
    title = Place<TEdit>(this, sheet, "title", field, 60, wide, 21);
    PlaceLabel(this, sheet, "Label6", "Title", 8, 63, title);
    CLED2 = PlaceLed(this, sheet, "CLED2", led, 58, 3);
    Description = Place<TMemo>(this, sheet, "Description", field, 86, wide, 54);
    PlaceLabel(this, sheet, "Label7", "Description", 8, 89, Description);
    CLED3 = PlaceLed(this, sheet, "CLED3", led, 88, 3);
    Key1 = Place<TMemo>(this, sheet, "Key1", field, 146, wide, 40);
    PlaceLabel(this, sheet, "Label8", "Keywords", 8, 149, Key1);
    CLED4 = PlaceLed(this, sheet, "CLED4", led, 146, 3);
    catagory = Place<TComboBox>(this, sheet, "catagory", field, 192, 200, 21);
    // Editable, so that a stored or imported category that is not one of the
    // items is shown and saved back as it is, never dropped.
    catagory->SetStyle(csDropDown);
    for (const char* category : Categories)
        catagory->Items()->Add(category);
    catagory->SetItemIndex(-1);
    PlaceLabel(this, sheet, "Label9", "Category", 8, 195, catagory);
    email = Place<TEdit>(this, sheet, "email", field, 218, wide, 21);
    PlaceLabel(this, sheet, "Label10", "E-mail", 8, 221, email);

    ContactBox = Place<TGroupBox>(this, sheet, "ContactBox", 8, 250, 588, 172);
    ContactBox->SetCaption("Contact");
    // Two columns: the name and the address on the left, the place and the
    // numbers on the right.
    TContactLayout contact;
    contact.Order = {cfName, cfLastName, cfCompany, cfAddress1, cfAddress2, cfCity,
                     cfState, cfZip, cfCountry, cfPhone, cfFax};
    contact.Labelled = true;
    contact.Cell = [](TContactField field) {
        const bool left = field <= cfAddress2;
        const int row = left ? field - cfName : field - cfCity;
        return left ? TContactCell{Bounds(70, row * 24, 190, 21), 0}
                    : TContactCell{Bounds(352, row * 24, 214, 21), 288};
    };
    PlaceContactBlock(this, ContactBox, {10, 20}, contact, ContactMembersOf(*this));

    ImgBtn1 = PlaceButton(this, sheet, "ImgBtn1", "New", 412, 468);
    ImgBtn2 = PlaceButton(this, sheet, "ImgBtn2", "Save", 500, 468);

    BuildImportSheet();

    PageControl1->SetActivePage(TabSheet1);
}

void TSubmitMain::WireProjectPage()
{
    SiteAdd->OnClick = Calls(&TSubmitMain::SiteAddClick);
    ImgBtn2->OnClick = Calls(&TSubmitMain::SiteAddClick);
    SiteClear->OnClick = Calls(&TSubmitMain::SiteClearClick);
    ImgBtn1->OnClick = Calls(&TSubmitMain::SiteClearClick);
    SiteDel->OnClick = Calls(&TSubmitMain::SiteDelClick);
    SesList->OnClick = Calls(&TSubmitMain::SesListClick);

    for (const LengthCounter& counter : ProjectCounters) {
        const TCounterControls controls = CounterControls(counter);
        auto changed = [this, controls](TObject*) { LengthCounterChange(controls); };
        if (auto* edit = dynamic_cast<TEdit*>(controls.field))
            edit->OnChange = changed;
        else if (auto* memo = dynamic_cast<TMemo*>(controls.field))
            memo->OnChange = changed;
        else
            throw std::logic_error(std::string("no edit control ") + counter.field);
        // The counters start in the colours of their empty fields.
        if (controls.led)
            PaintLengthCounter(*controls.led, counter, CounterValue(counter, controls.field->Text()));
    }
    FProjectFieldControls.clear();
    for (const ProjectField& field : ProjectFileFields)
        FProjectFieldControls.push_back(&NamedControl(*this, field.control));
    name->OnChange = Calls(&TSubmitMain::nameChange);
    LastN->OnChange = Calls(&TSubmitMain::nameChange);
    Company->OnChange = Calls(&TSubmitMain::CompanyChange);
    urllist->OnChange = Calls(&TSubmitMain::urllistChange);

    OpenDialog1 = NewComponent<TOpenDialog>(this, "OpenDialog1");
    OpenDialog1->Filter = "Web Pages and Projects|*.htm;*.html;*.zro;*.sav|All Files|*.*";
}

// --- the page's fields ---------------------------------------------------------------------------

ProjectRecord TSubmitMain::PageProject() const
{
    ProjectRecord project;
    project.SessionName = Session_Name->Text();
    for (std::size_t i = 0; i < std::size(ProjectFileFields); ++i)
        project.*ProjectFileFields[i].member = FProjectFieldControls.at(i)->Text();
    return project;
}

void TSubmitMain::ShowProject(const ProjectRecord& project)
{
    Session_Name->SetText(project.SessionName);
    for (std::size_t i = 0; i < std::size(ProjectFileFields); ++i)
        FProjectFieldControls.at(i)->SetText(project.*ProjectFileFields[i].member);
}

std::vector<CodePageString> TSubmitMain::ProjectNames() const
{
    std::vector<CodePageString> names;
    const TStrings* lines = SesList->Items();
    names.reserve(static_cast<std::size_t>(lines->Count()));
    for (int i = 0; i < lines->Count(); ++i)
        names.push_back(lines->Strings(i));
    return names;
}

bool TSubmitMain::ProjectListed(const CodePageString& name)
{
    const TStrings* lines = SesList->Items();
    if (!FListedValid || lines->ChangeCount() != FListedChange) {
        FListedNames.clear();
        for (int i = 0; i < lines->Count(); ++i)
            FListedNames.insert(lines->Strings(i));
        FListedChange = lines->ChangeCount();
        FListedValid = true;
    }
    return FListedNames.count(name) > 0;
}

long long TSubmitMain::FreeProjectNumber(const CodePageString& word)
{
    const TStrings* lines = SesList->Items();
    if (!FNameNumbers || lines->ChangeCount() != FNumbersChange || FNameNumbers->Word() != word) {
        auto numbers = std::make_unique<TNameNumbers>(word);
        for (int i = 0; i < lines->Count(); ++i)
            numbers->Take(lines->Strings(i));
        FNameNumbers = std::move(numbers);
        FNumbersChange = lines->ChangeCount();
    }
    return FNameNumbers->FirstFree();
}

void TSubmitMain::NoteProjectAdded(const CodePageString& name, std::uint64_t changeBefore)
{
    // Anything else that changed the lines meanwhile makes the next question gather again.
    const std::uint64_t after = SesList->Items()->ChangeCount();
    if (FListedValid && FListedChange == changeBefore) {
        FListedNames.insert(name);
        FListedChange = after;
    }
    if (FNameNumbers && FNumbersChange == changeBefore) {
        FNameNumbers->Take(name);
        FNumbersChange = after;
    }
}

// --- the project list ----------------------------------------------------------------------------

void TSubmitMain::LoadSesList()
{
    // Read whole before the list is touched: a list that can't be read
    // leaves SesList as it was.
    SesList->Items()->AddStrings(::LoadProjectList(AppFolder));
}

void TSubmitMain::SiteAddClick(TObject*)
{
    // The spider saves every page it crawls through here and keeps its own page showing.
    if (!SpiderCK->Checked())
        ShowPage(pgProjects, PageControl1, TabSheet1);

    const ProjectRecord project = PageProject();
    // The name becomes a file name and a section name: a reserved, empty or
    // unsafe one is refused whoever saves (an empty name from the image
    // button would otherwise give a file named ".zro" and an empty list line).
    if (const auto refusal = ValidateProjectName(project.SessionName)) {
        ShowProjectMessage(refusal->id);
        return;
    }

    const bool exists = ProjectListed(project.SessionName);
    if (exists && ShowProjectMessage(ProjectMessageId::ModifySessionName) != IDYES)
        return;
    try {
        // The file first: a project in the list always has one. A crawl's new
        // projects are synced with their group; a project saved over keeps
        // its sync at once, so its old file is never given up for a group.
        const bool grouped = !exists && GroupingSaves();
        WriteProjectFile(AppFolder, project, grouped ? TWriteSync::Later : TWriteSync::Now);
        if (grouped)
            FPendingFiles.push_back(ProjectFilePath(AppFolder, project.SessionName));
        if (!exists) {
            const std::uint64_t before = SesList->Items()->ChangeCount();
            SesList->Items()->Add(project.SessionName);
            NoteProjectAdded(project.SessionName, before);
        }
        if (!grouped)
            SaveSesList();
        else if (!FSavesPending) {
            FSavesPending = true;
            FSaveTimer->SetEnabled(true);
        }
    } catch (const std::exception& e) {
        Application->ShowException(&e);
    }
    LedLabel1->SetText(IntToStr(SesList->Items()->Count()));
}

bool TSubmitMain::GroupingSaves() const
{
    const TImportState state = ImportState();
    return state == TImportState::Crawling || state == TImportState::Stopping;
}

void TSubmitMain::SaveSesList()
{
    // Files saved for a group are made durable before a list names them, and
    // stay pending until the list naming them is written.
    if (FSavesPending)
        SyncFiles(ProjectFolder(AppFolder), FPendingFiles);
    SaveProjectList(AppFolder, ProjectNames());
    FSavesPending = false;
    FPendingFiles.clear();
    FSaveTimer->SetEnabled(false);
}

void TSubmitMain::CommitProjectSaves(bool retry)
{
    if (!FSavesPending)
        return;
    try {
        SaveSesList();
        FCommitFailureShown = false;
    } catch (const std::exception& e) {
        // The saves stay pending and the timer keeps trying each second, so
        // the list on disk catches up once the cause is gone.
        if (!(retry && FCommitFailureShown))
            Application->ShowException(&e);
        FCommitFailureShown = true;
    }
}

void TSubmitMain::SiteClearClick(TObject* Sender)
{
    urllist->SetText("");
    EmptyPageTexts();
    // Only "New" of the menu forgets the owner: the image button and a delete
    // keep the contact details for the next site of the same owner.
    if (Sender == SiteClear) {
        for (TControl* contact : std::initializer_list<TControl*>{email, name, LastN, Company, Address1, Address2,
                                                                  City, State, Phone, Fax, Zip, Country, catagory})
            contact->SetText("");
        ShowPage(pgProjects, PageControl1, TabSheet1);
    }
    Session_Name->SetText("");
}

void TSubmitMain::SiteDelClick(TObject*)
{
    const int selected = SesList->ItemIndex();
    if (selected < 0) {
        ShowProjectMessage(ProjectMessageId::NoItem);
        return;
    }
    const int count = SesList->Items()->Count();
    const int reselect = selected == count - 1 ? selected - 1 : selected;
    const CodePageString projectName = SesList->Items()->Strings(selected);

    // A file already gone still lets the project leave the list.
    DeleteProjectFile(AppFolder, projectName);
    SesList->Items()->Delete(selected);
    const bool remain = SesList->Items()->Count() > 0;
    if (remain)
        SesList->SetItemIndex(reselect);
    try {
        SaveSesList();
    } catch (const std::exception& e) {
        Application->ShowException(&e);
    }
    SiteClearClick(this);
    if (remain)
        SesListClick(this);
    ShowPage(pgProjects, PageControl1, TabSheet1);
    LedLabel1->SetText(IntToStr(SesList->Items()->Count()));
}

void TSubmitMain::SesListClick(TObject*)
{
    // A click ends the flashing hint on the project list.
    Timer1->SetEnabled(false);
    SesList->Font()->SetColor(clBlack);
    const int selected = SesList->ItemIndex();
    if (selected < 0)
        return;
    ShowProject(LoadProjectFile(AppFolder, SesList->Items()->Strings(selected)));
    BuildDoorwayPage(SesList);
}

// --- counters and mirrors ------------------------------------------------------------------------

TSubmitMain::TCounterControls TSubmitMain::CounterControls(const LengthCounter& counter) const
{
    return {&counter, &NamedControl(*this, counter.field), dynamic_cast<TLedLabel*>(&NamedControl(*this, counter.counter)),
            counter.mirror ? &NamedControl(*this, counter.mirror) : nullptr};
}

void TSubmitMain::LengthCounterChange(const TCounterControls& controls)
{
    const CodePageString text = controls.field->Text();
    if (controls.led)
        PaintLengthCounter(*controls.led, *controls.counter, CounterValue(*controls.counter, text));
    if (controls.mirror)
        controls.mirror->SetText(text);
}

void TSubmitMain::nameChange(TObject*)
{
    Author->SetText(name->Text() + " " + LastN->Text());
}

void TSubmitMain::CompanyChange(TObject*)
{
    CopyRight->SetText(Company->Text());
}

void TSubmitMain::urllistChange(TObject*)
{
    UrlImp->SetText(urllist->Text());
    RankUrl->SetText(urllist->Text());
}
