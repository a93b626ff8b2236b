// The main window's "Reports" page: the submission report writer, its
// preview, the [Reports] settings and the saved reports.
#include "workbench/SubmitMain.h"

#include <exception>

#include "classlib/BasicControls.h"
#include "classlib/Dates.h"
#include "classlib/Dialogs.h"
#include "classlib/FileListBox.h"
#include "classlib/Files.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "platform/Hooks.h"
#include "platform/Shell.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/ReportData.h"

namespace {

constexpr const char* PreviewFileName = "sample2.htm";
constexpr const char* ReportPartTitle = "Header Document";  // both browse buttons say so
constexpr const char* ReportPartFilter = "Html Document|*.htm;*.html|*.htm *.html|*.htm;*.html";

constexpr const char* ReportsOnText =
    "Reports are automaticaly generated each time a submission has completed. Changes to the Header,Footer and "
    "Title will take affect on the next submitted Project.";
constexpr const char* ReportsOffText = "Reporting feature is disabled";

struct TReportPart {
    const char* Missing;
    const char* Caption;
};
constexpr TReportPart HeaderPart{"Could not find header, Please Reload header", "No header Found!"};
constexpr TReportPart FooterPart{"Could not find Footer, Please Reload Footer", "No Footer Found!"};

// The lines of a header or footer file as they stand; a file that cannot be
// read is told once and the report goes on without it.
std::optional<std::vector<CodePageString>> ReadReportPart(const CodePageString& fileName, const TReportPart& part)
{
    try {
        TStringList lines;
        lines.LoadFromFile(fileName);
        std::vector<CodePageString> out;
        out.reserve(lines.Count());
        for (int i = 0; i < lines.Count(); ++i)
            out.push_back(lines.Strings(i));
        return out;
    } catch (const std::exception&) {
        ShowMessageBox(part.Missing, part.Caption, MB_OK | MB_ICONEXCLAMATION);
        return std::nullopt;
    }
}

CodePageString Cell(TListItem& row, int index)
{
    TStrings* cells = row.SubItems();
    return index < cells->Count() ? cells->Strings(index) : CodePageString();
}

// A report name is made of a project name and a date; it must stay a plain
// name inside the reports folder whatever the name or the date format holds.
bool IsPlainFileName(const CodePageString& name)
{
    return !name.empty() && name.find_first_of("/\\") == CodePageString::npos && name != "." && name != "..";
}

}  // namespace

void TSubmitMain::BuildReportsPage(TWinControl* page)
{
    GenReportCk = PlaceBitCheck(this, page, "GenReportCk", "Generate Reports", 8, 8, 150, true);

    GroupBox1 = Place<TGroupBox>(this, page, "GroupBox1", 8, 32, 592, 176);
    GroupBox1->SetCaption("Settings");
    HeaderCk = PlaceBitCheck(this, GroupBox1, "HeaderCk", "Header", 10, 24, 80, true);
    Header = Place<TEdit>(this, GroupBox1, "Header", 96, 22, 440, 21);
    SpeedButton1 = Place<TButton>(this, GroupBox1, "SpeedButton1", 542, 22, 30, 21);
    SpeedButton1->SetCaption("...");
    FooterCk = PlaceBitCheck(this, GroupBox1, "FooterCk", "Footer", 10, 52, 80, true);
    Footer = Place<TEdit>(this, GroupBox1, "Footer", 96, 50, 440, 21);
    SpeedButton2 = Place<TButton>(this, GroupBox1, "SpeedButton2", 542, 50, 30, 21);
    SpeedButton2->SetCaption("...");
    TitleRepCk = PlaceBitCheck(this, GroupBox1, "TitleRepCk", "Title", 10, 80, 80, true);
    TitleRep = Place<TEdit>(this, GroupBox1, "TitleRep", 96, 78, 476, 21);
    TitleRep->SetText("Submission Results");
    Label12 = PlaceLabel(this, GroupBox1, "Label12",
                         "Reports are automaticaly generated each time a submission has completed. Changes to the "
                         "Header,Footer and Title will take affect on the next submitted Project.",
                         10, 110);
    Label12->SetAutoSize(false);
    Label12->SetWordWrap(true);
    Label12->SetBounds(10, 110, 380, 56);
    Button14 = PlaceButton(this, GroupBox1, "Button14", "Apply", 404, 140);
    Button13 = PlaceButton(this, GroupBox1, "Button13", "Preview", 492, 140);

    GroupBox2 = Place<TGroupBox>(this, page, "GroupBox2", 8, 216, 592, 302);
    GroupBox2->SetCaption("Saved Reports");
    FileListBox1 = Place<TFileListBox>(this, GroupBox2, "FileListBox1", 10, 20, 572, 272);
    FileListBox1->SetMask("*.htm");
    FileListBox1->SetPopupMenu(PopupMenu2);
}

void TSubmitMain::WireReportsPage()
{
    GenReportCk->OnClick = Calls(&TSubmitMain::GenReportCkClick);
    SpeedButton1->OnClick = Calls(&TSubmitMain::SpeedButton1Click);
    SpeedButton2->OnClick = Calls(&TSubmitMain::SpeedButton2Click);
    Button14->OnClick = Calls(&TSubmitMain::Button14Click);
    Apply1->OnClick = Calls(&TSubmitMain::Button14Click);
    Button13->OnClick = Calls(&TSubmitMain::Button13Click);
    Preview1->OnClick = Calls(&TSubmitMain::Button13Click);
    FileListBox1->OnDblClick = Calls(&TSubmitMain::FileListBox1DblClick);
    ViewReport1->OnClick = Calls(&TSubmitMain::ViewReport1Click);
    DeleteReport1->OnClick = Calls(&TSubmitMain::DeleteReport1Click);
}

// --- the settings ------------------------------------------------------------------------------

ReportSettings TSubmitMain::ReportControls() const
{
    ReportSettings s;
    s.genReport = GenReportCk->Checked();
    s.header = HeaderCk->Checked();
    s.footer = FooterCk->Checked();
    s.title = TitleRepCk->Checked();
    s.headerPath = Header->Text();
    s.footerPath = Footer->Text();
    s.titleText = TitleRep->Text();
    return s;
}

void TSubmitMain::ShowReportSettings(const ReportSettings& s)
{
    GenReportCk->SetChecked(s.genReport);
    HeaderCk->SetChecked(s.header);
    FooterCk->SetChecked(s.footer);
    TitleRepCk->SetChecked(s.title);
    Header->SetText(s.headerPath);
    Footer->SetText(s.footerPath);
    TitleRep->SetText(s.titleText);
    // Setting the check box fires nothing; the explanation follows it here.
    GenReportCkClick(GenReportCk);
}

void TSubmitMain::LoadReportSettings(const TIniFile& settings)
{
    ShowReportSettings(ReadReportSettings(settings));
}

void TSubmitMain::Button14Click(TObject*)
{
    ShowPage(pgReports);
    TIniFile settings(AppPath(AppFolder, SettingsFileName));
    WriteReportSettings(settings, ReportControls());
}

void TSubmitMain::GenReportCkClick(TObject*)
{
    Label12->SetCaption(GenReportCk->Checked() ? ReportsOnText : ReportsOffText);
}

void TSubmitMain::ChooseReportPart(TEdit& field)
{
    TOpenDialog dialog(nullptr);
    dialog.InitialDir = AppFolder;
    dialog.Title = ReportPartTitle;
    dialog.Filter = ReportPartFilter;
    if (dialog.Execute())
        field.SetText(dialog.FileName);
}

void TSubmitMain::SpeedButton1Click(TObject*)
{
    ChooseReportPart(*Header);
}

void TSubmitMain::SpeedButton2Click(TObject*)
{
    ChooseReportPart(*Footer);
}

// --- the report --------------------------------------------------------------------------------

std::vector<CodePageString> TSubmitMain::SubmissionReport()
{
    ReportInput input;
    input.settings = ReportControls();
    if (input.settings.header)
        input.headerLines = ReadReportPart(input.settings.headerPath, HeaderPart);
    if (input.settings.title)
        input.homeLocation = HomeLocation;
    input.projectUrl = SubmitRecord.url;
    input.projectName = CurrentProject;
    TListItems* rows = ExListView2->Items();
    for (int i = 0; i < rows->Count(); ++i) {
        TListItem& row = *rows->Item(i);
        if (row.Checked())
            input.rows.push_back({row.Caption(), Cell(row, 0), Cell(row, 1), Cell(row, 2), Cell(row, 3)});
    }
    if (input.settings.footer)
        input.footerLines = ReadReportPart(input.settings.footerPath, FooterPart);
    return SubmissionReportLines(input);
}

void TSubmitMain::Button13Click(TObject* Sender)
{
    const bool projectReport = Sender == Button6;
    if (Sender == Button13)
        ShowPage(pgReports);
    TStringList report;
    for (const CodePageString& line : SubmissionReport())
        report.Add(line);
    if (projectReport) {
        const CodePageString name = ReportFileName(CurrentProject, Now());
        if (!IsPlainFileName(name))
            throw EFCreateError("Cannot create file \"" + name + "\". Invalid filename");
        report.SaveToFile(AppPath(AppFolder, CodePageString(ReportsFolderName) + "\\" + name));
        FileListBox1->Update();
    } else {
        const CodePageString preview = AppPath(GetCurrentDir(), PreviewFileName);
        report.SaveToFile(preview);
        ShellExecute(0, "open", preview, "", "", SW_SHOWNORMAL);
    }
}

void TSubmitMain::WriteSubmissionReport()
{
    if (!GenReportCk->Checked())
        return;
    // A report that cannot be written is shown, and the run goes on.
    try {
        Button13Click(Button6);
    } catch (const std::exception& e) {
        Application->ShowException(&e);
    }
}

// --- the saved reports -------------------------------------------------------------------------

void TSubmitMain::FileListBox1DblClick(TObject*)
{
    const CodePageString report = FileListBox1->FileName();
    if (!report.empty())
        ShellExecute(0, "open", report, "", "", SW_SHOWNORMAL);
}

void TSubmitMain::ViewReport1Click(TObject* Sender)
{
    FileListBox1DblClick(Sender);
}

void TSubmitMain::DeleteReport1Click(TObject*)
{
    const CodePageString report = FileListBox1->FileName();
    if (!report.empty() && DeleteFile(report))
        FileListBox1->Update();
}
