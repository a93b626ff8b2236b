// The main window's "Import Wizard" sheet on the "Projects" page: building
// it, and the import of project files into the project page.
#include "workbench/SubmitMain.h"

#include <exception>

#include "classlib/ComCtrls.h"
#include "classlib/Dialogs.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"
#include "controls/Btchkbox.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "transport/HttpUtil.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/ProjectData.h"

namespace {

AnsiString UrlHost(const AnsiString& url)
{
    AnsiString proto, user, password, host, port, path;
    SplitURL(url, proto, user, password, host, port, path);
    return host;
}

}  // namespace

void TSubmitMain::BuildImportSheet()
{
    TabSheet6 = NewComponent<TTabSheet>(this, "TabSheet6");
    TabSheet6->SetCaption("Import Wizard");
    TabSheet6->SetPageControl(PageControl1);
    TWinControl* sheet = TabSheet6;
    constexpr int field = 100;
    constexpr int wide = 380;
    constexpr int led = 490;
    FromUrl = Place<TRadioButton>(this, sheet, "FromUrl", field, 8, 100, 18);
    FromUrl->SetCaption("From URL");
    FromFile = Place<TRadioButton>(this, sheet, "FromFile", field + 110, 8, 100, 18);
    FromFile->SetCaption("From File");
    FromUrl->SetChecked(true);
    UrlImp = Place<TEdit>(this, sheet, "UrlImp", field, 34, wide, 21);
    UrlImp->SetText("http://");
    PlaceLabel(this, sheet, "Label11", "URL", 8, 37, UrlImp);
    TitleImpCk = PlaceBitCheck(this, sheet, "TitleImpCk", "Title", 8, 63, 90, true);
    TitleImp = Place<TEdit>(this, sheet, "TitleImp", field, 60, wide, 21);
    CLED2Imp = PlaceLed(this, sheet, "CLED2Imp", led, 58, 3);
    DescriptionImpCk = PlaceBitCheck(this, sheet, "DescriptionImpCk", "Description", 8, 89, 90, true);
    DescriptionImp = Place<TMemo>(this, sheet, "DescriptionImp", field, 86, wide, 60);
    CLED3Imp = PlaceLed(this, sheet, "CLED3Imp", led, 88, 3);
    Key1ImpCk = PlaceBitCheck(this, sheet, "Key1ImpCk", "Keywords", 8, 155, 90, true);
    Key1Imp = Place<TMemo>(this, sheet, "Key1Imp", field, 152, wide, 48);
    CLED4Imp = PlaceLed(this, sheet, "CLED4Imp", led, 152, 3);
    SpiderCK = PlaceBitCheck(this, sheet, "SpiderCK", "Spider URL", field, 210, 120, false);
    Button3 = PlaceButton(this, sheet, "Button3", "Import", field, 240);
    Button4 = PlaceButton(this, sheet, "Button4", "Abort", field + 88, 240);
    Button4->SetEnabled(false);
    Button5 = PlaceButton(this, sheet, "Button5", "Apply", field + 176, 240);
    Label13 = PlaceLabel(this, sheet, "Label13", "", field, 272);
    SiteToCr = PlaceHiddenList(this, sheet, "SiteToCr");
    SiteList = PlaceHiddenList(this, sheet, "SiteList");
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
