// The main window's "Doorway Pages" page: the doorway page of the selected
// project, previewed in the Doorway viewer and saved with "Save As".
#include "workbench/SubmitMain.h"

#include <exception>

#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/Dialogs.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/TabbedNotebook.h"
#include "controls/LedLbl.h"
#include "htmlview/HtmlPane.h"
#include "platform/Hooks.h"
#include "workbench/DoorwayData.h"
#include "workbench/FormBuild.h"

namespace {

void Fill(TStringList& list, const std::vector<CodePageString>& lines)
{
    for (const CodePageString& line : lines)
        list.Add(line);
}

}  // namespace

void TSubmitMain::BuildDoorwayViewer(TWinControl* page)
{
    Doorway = NewComponent<THtmlPane>(this, "Doorway");
    Doorway->SetParent(page);
    Doorway->SetAlign(alClient);
    Doorway->SetCursor(2);
    Doorway->SetViewImages(false);
    Doorway->SetDefBackground(clWhite);
    Doorway->SetBorderStyle(htFocused);
    Doorway->SetHistoryMaxCount(0);
    Doorway->SetDefFontName("Times New Roman");
    Doorway->SetDefPreFontName("Courier New");
    Doorway->SetDefFontColor(clBlack);
    Doorway->SetNoSelect(false);
    Doorway->SetCharSet(DEFAULT_CHARSET);
    SaveDialog1 = NewComponent<TSaveDialog>(this, "SaveDialog1");
}

void TSubmitMain::WireDoorway()
{
    Save1->OnClick = Calls(&TSubmitMain::Save1Click);
    TabbedNotebook1->OnClick = Calls(&TSubmitMain::TabbedNotebook1Click);
}

void TSubmitMain::BuildDoorwayPage(TObject* Sender)
{
    DoorwayProject project;
    project.Title = title->Text();
    project.Description = Description->Text();
    project.Keywords = Key1->Text();
    project.Url = urllist->Text();
    project.AppName = AppName;
    project.SingleKeyword = CLED4->Text() == "1";
    TStringList lines;
    Fill(lines, DoorwayPageLines(project));

    const std::vector<CodePageString> keywords = DoorwayKeywords(project.Keywords, project.SingleKeyword);
    ComboBox1->Items()->Clear();
    for (const CodePageString& keyword : keywords)
        ComboBox1->Items()->Add(keyword);
    ComboBox1->SetText(keywords.front());

    // Whatever the user typed, the preview shows what it could read; a
    // comment left open is told once, after the page is saved.
    std::exception_ptr previewError;
    try {
        Doorway->LoadStrings(lines);
    } catch (...) {
        previewError = std::current_exception();
    }
    if (Sender == Save1) {
        try {
            WriteUserFile(SaveDialog1->FileName, lines.Text());
        } catch (const std::exception& e) {
            Application->ShowException(&e);
        }
    }
    if (previewError)
        std::rethrow_exception(previewError);
}

void TSubmitMain::Save1Click(TObject*)
{
    ShowPage(pgDoorwayPages);
    const int selected = SesList->ItemIndex();
    if (selected < 0) {
        Application->MessageBox("Opps there is no project selected", "Select a Project to save!", MB_OK);
        return;
    }
    SaveDialog1->InitialDir = AppPath(AppFolder, "\\doorways");
    SaveDialog1->Title = "Doorway Page";
    SaveDialog1->Filter = "Html Document|*.htm;*.html|*.htm *.html|*.htm;*.html";
    SaveDialog1->DefaultExt = ".htm";
    SaveDialog1->FileName = SesList->Items()->Strings(selected) + ".htm";
    if (SaveDialog1->Execute())
        BuildDoorwayPage(Save1);
}

void TSubmitMain::TabbedNotebook1Click(TObject*)
{
    if (TabbedNotebook1->PageIndex() != pgDoorwayPages)
        return;
    TStringList help;
    Fill(help, DoorwayHelpLines());
    Doorway->LoadStrings(help);
}
