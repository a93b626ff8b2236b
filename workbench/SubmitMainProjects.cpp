// The main window's project page: saving, clearing, deleting and loading
// projects, the project list beside the notebook, the length counters with
// their mirrors on the other pages, and the import of project files.
#include <exception>
#include <stdexcept>

#include "classlib/CheckLst.h"
#include "classlib/ComCtrls.h"
#include "classlib/Dialogs.h"
#include "classlib/Forms.h"
#include "classlib/Graphics.h"
#include "classlib/Menus.h"
#include "classlib/StdCtrls.h"
#include "classlib/Timer.h"
#include "controls/Btchkbox.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "transport/HttpUtil.h"
#include "workbench/FormBuild.h"
#include "workbench/ProjectData.h"
#include "workbench/SubmitMain.h"

namespace {

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

AnsiString UrlHost(const AnsiString& url)
{
    AnsiString proto, user, password, host, port, path;
    SplitURL(url, proto, user, password, host, port, path);
    return host;
}

}  // namespace

void TSubmitMain::WireProjectPage()
{
    SiteAdd->OnClick = Calls(&TSubmitMain::SiteAddClick);
    ImgBtn2->OnClick = Calls(&TSubmitMain::SiteAddClick);
    SiteClear->OnClick = Calls(&TSubmitMain::SiteClearClick);
    ImgBtn1->OnClick = Calls(&TSubmitMain::SiteClearClick);
    SiteDel->OnClick = Calls(&TSubmitMain::SiteDelClick);
    SesList->OnClick = Calls(&TSubmitMain::SesListClick);

    for (const LengthCounter& counter : ProjectCounters) {
        auto changed = [this, &counter](TObject*) { LengthCounterChange(counter); };
        TControl& field = NamedControl(*this, counter.field);
        if (auto* edit = dynamic_cast<TEdit*>(&field))
            edit->OnChange = changed;
        else if (auto* memo = dynamic_cast<TMemo*>(&field))
            memo->OnChange = changed;
        else
            throw std::logic_error(std::string("no edit control ") + counter.field);
        // The counters start in the colours of their empty fields.
        if (auto* led = dynamic_cast<TLedLabel*>(&NamedControl(*this, counter.counter)))
            PaintLengthCounter(*led, counter, CounterValue(counter, field.Text()));
    }
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
    for (const ProjectField& field : ProjectFileFields)
        project.*field.member = NamedControl(*this, field.control).Text();
    return project;
}

void TSubmitMain::ShowProject(const ProjectRecord& project)
{
    Session_Name->SetText(project.SessionName);
    for (const ProjectField& field : ProjectFileFields)
        NamedControl(*this, field.control).SetText(project.*field.member);
}

std::vector<AnsiString> TSubmitMain::ProjectNames() const
{
    std::vector<AnsiString> names;
    const TStrings* lines = SesList->Items();
    names.reserve(static_cast<std::size_t>(lines->Count()));
    for (int i = 0; i < lines->Count(); ++i)
        names.push_back(lines->Strings(i));
    return names;
}

// --- the project list ----------------------------------------------------------------------------

void TSubmitMain::LoadSesList()
{
    // Read whole before the list is touched: a list that can't be read
    // leaves SesList as it was.
    const std::vector<AnsiString> names = ::LoadProjectList(AppFolder);
    TStrings* lines = SesList->Items();
    lines->BeginUpdate();
    for (const AnsiString& projectName : names)
        lines->Add(projectName);
    lines->EndUpdate();
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

    const bool exists = FindProjectName(ProjectNames(), project.SessionName) >= 0;
    if (exists && ShowProjectMessage(ProjectMessageId::ModifySessionName) != IDYES)
        return;
    try {
        // The file first: a project in the list always has one.
        WriteProjectFile(AppFolder, project);
        if (!exists)
            SesList->Items()->Add(project.SessionName);
        SaveProjectList(AppFolder, ProjectNames());
    } catch (const std::exception& e) {
        Application->ShowException(&e);
    }
    LedLabel1->SetText(IntToStr(SesList->Items()->Count()));
}

void TSubmitMain::SiteClearClick(TObject* Sender)
{
    urllist->SetText("");
    title->SetText("");
    Description->SetText("");
    // Only "New" of the menu forgets the owner: the image button and a delete
    // keep the contact details for the next site of the same owner.
    if (Sender == SiteClear) {
        for (TControl* contact : std::initializer_list<TControl*>{email, name, LastN, Company, Address1, Address2,
                                                                  City, State, Phone, Fax, Zip, Country, catagory})
            contact->SetText("");
        ShowPage(pgProjects, PageControl1, TabSheet1);
    }
    Key1->SetText("");
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
    const AnsiString projectName = SesList->Items()->Strings(selected);

    // A file already gone still lets the project leave the list.
    DeleteProjectFile(AppFolder, projectName);
    SesList->Items()->Delete(selected);
    const bool remain = SesList->Items()->Count() > 0;
    if (remain)
        SesList->SetItemIndex(reselect);
    try {
        SaveProjectList(AppFolder, ProjectNames());
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
    // (The doorway page is rebuilt from the project here.)
}

// --- counters and mirrors ------------------------------------------------------------------------

void TSubmitMain::LengthCounterChange(const LengthCounter& counter)
{
    const AnsiString text = NamedControl(*this, counter.field).Text();
    if (auto* led = dynamic_cast<TLedLabel*>(&NamedControl(*this, counter.counter)))
        PaintLengthCounter(*led, counter, CounterValue(counter, text));
    if (counter.mirror)
        NamedControl(*this, counter.mirror).SetText(text);
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

// --- imports -------------------------------------------------------------------------------------

TSubmitMain::TFileImport TSubmitMain::ImportFromFile(AnsiString& FileName)
{
    if (!OpenDialog1->Execute())
        return TFileImport::Cancelled;
    FileName = OpenDialog1->FileName;
    // Substring tests, as the program always made them: "site.sav.txt" is a ".sav" file.
    if (Pos(".sav", FileName) > 0) {
        ImportSavFile(FileName);
        return TFileImport::Project;
    }
    if (Pos(".zro", FileName) > 0) {
        ImportProjectFile(FileName);
        return TFileImport::Project;
    }
    return TFileImport::Page;
}

bool TSubmitMain::ShowImport(const std::function<ProjectImport()>& read)
{
    ProjectImport imported;
    try {
        imported = read();
    } catch (const std::exception& e) {
        Application->ShowException(&e);
        return false;
    }
    ShowProject(imported.record);
    PageControl1->SetActivePage(TabSheet1);
    if (imported.refusedName)
        ShowProjectMessage(imported.refusedName->id);
    return true;
}

void TSubmitMain::ImportSavFile(const AnsiString& FileName)
{
    if (ShowImport([&] { return ::ImportSavFile(FileName, PageProject(), ProjectNames(), UrlHost); }))
        ShowProjectMessage(ProjectMessageId::SelectCategory);
}

void TSubmitMain::ImportProjectFile(const AnsiString& FileName)
{
    // A file without a section fails here, before any field changes.
    ShowImport([&] { return ImportZroFile(FileName); });
}
