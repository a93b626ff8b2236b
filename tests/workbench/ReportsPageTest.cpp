// The "Reports" page of the real main window: the submission report written
// for a project, its preview, the [Reports] settings and the saved reports.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "MainFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/Dates.h"
#include "classlib/Dialogs.h"
#include "classlib/FileListBox.h"
#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/TabbedNotebook.h"
#include "controls/Btchkbox.h"
#include "controls/ExListV.h"
#include "controls/ImgBtn.h"
#include "workbench/SubmitMain.h"

namespace fs = std::filesystem;

namespace {

struct TEngineRow {
    const char* name;
    const char* url;
    const char* result;
    const char* date;
    const char* type;
    bool checked;
};

// Replaces the engine list with these rows.
void SetEngineRows(std::initializer_list<TEngineRow> rows)
{
    TListItems* items = SubmitMain->ExListView2->Items();
    items->Clear();
    for (const TEngineRow& r : rows) {
        TListItem* row = items->Add();
        row->SetCaption(r.name);
        for (const char* cell : {r.url, r.result, r.date, r.type})
            row->SubItems()->Add(cell);
        row->SetChecked(r.checked);
    }
}

std::vector<std::string> ListedFiles()
{
    std::vector<std::string> names;
    TStrings* items = SubmitMain->FileListBox1->Items();
    for (int i = 0; i < items->Count(); ++i)
        names.push_back(items->Strings(i));
    return names;
}

void SelectFile(const std::string& name)
{
    TStrings* items = SubmitMain->FileListBox1->Items();
    SubmitMain->FileListBox1->SetItemIndex(items->IndexOf(name));
}

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

const std::string TableHead = Lines(ReportTableHead());

class ReportsPage : public ::testing::Test {
protected:
    ReportsPage()
    {
        // The defaults of a settings file without [Reports]; the installed
        // one carries settings of its own (see InstalledSettings below).
        TIniFile(folder.File("wkt.ini")).EraseSection("Reports");
        program.emplace(folder);
        FormatSettings().ShortDateFormat = "m/d/yyyy";
        FormatSettings().DateSeparator = '/';
        GetHooks().now = [] { return EncodeDate(2026, 12, 9) + 0.5; };
        GetHooks().shellOpen = [this](const ShellOpenCall& call) {
            opened.push_back(call);
            return true;
        };
    }
    ~ReportsPage() override
    {
        FileDialogHook() = nullptr;
        ResetFormatSettings();
    }

    TInstallFolder folder;
    TBoxRecorder boxes;
    std::optional<TRunningProgram> program;
    std::vector<ShellOpenCall> opened;
};

TEST_F(ReportsPage, ProjectReportByteForByte)
{
    folder.Write("parts/header.htm", "<html><body>\r\n<p>Top & tail</p>\n");
    folder.Write("parts/footer.htm", "</body></html>");
    SubmitMain->Header->SetText(folder.File("parts/header.htm"));
    SubmitMain->Footer->SetText(folder.File("parts/footer.htm"));
    SubmitMain->TitleRep->SetText("Results & <more>");
    SubmitMain->CurrentProject = "Shop";
    // An imported project's URL may hold markup; so may what engines and servers send.
    SubmitMain->SubmitRecord.url = "http://shop.example/?a=1&b=2\"><script>alert(1)</script>";
    SetEngineRows({
        {"Alpha", "http://a.example/add", "OK", "12/9/2026", "Search Engines", true},
        {"Beta", "http://b.example/", "Not Found", "12/9/2026", "FFA", false},
        {"Gamma & Co", "http://g.example/x?y=1&z", "<b>Bad</b> \"reply\" & more", "12/9/2026", "Classifieds", true},
        {"Delta", "http://d.example/", "", "", "Batch Sites", true},  // still running
        {"Echo <i>", "http://e.example/\"><script>x()</script>", "OK", "12/9/2026", "FFA<br>", true},
    });

    SubmitMain->WriteSubmissionReport();

    const std::string expected =
        "<html><body>\r\n<p>Top & tail</p>\r\n" +
        Lines({
            "<BLOCKQUOTE><P ALIGN=\"center\"><B><FONT SIZE=\"5\" COLOR=\"#00779E\">",
            "Results &amp; &lt;more&gt;",
            "</FONT><FONT COLOR=\"#2400AA\" SIZE=\"5\"><BR>",
            "<A HREF=\"http://www.example.com/tenvarel\" TARGET=\"_top\"></A><BR>",
            "</FONT></B><FONT SIZE=\"3\" COLOR=\"#00639D\"></FONT></P> </BLOCKQUOTE>",
            "<center><b><FONT SIZE=\"5\" COLOR=\"#00779E\">"
            "http://shop.example/?a=1&amp;b=2&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt; (Shop)</font></b></center><br>",
        }) +
        TableHead +
        Lines({
            "<tr><td>Alpha&nbsp;</td>",
            "<td><A HREF=\"http://a.example/add\">http://a.example/add</A>&nbsp;</td>",
            "<td>OK&nbsp;</td>",
            "<td>12/9/2026&nbsp;</td>",
            "<td>Search Engines&nbsp;</td></tr>",
            "<tr><td>Gamma &amp; Co&nbsp;</td>",
            "<td><A HREF=\"http://g.example/x?y=1&amp;z\">http://g.example/x?y=1&amp;z</A>&nbsp;</td>",
            "<td>&lt;b&gt;Bad&lt;/b&gt; &quot;reply&quot; &amp; more&nbsp;</td>",
            "<td>12/9/2026&nbsp;</td>",
            "<td>Classifieds&nbsp;</td></tr>",
            "<tr><td>Delta&nbsp;</td>",
            "<td><A HREF=\"http://d.example/\">http://d.example/</A>&nbsp;</td>",
            "<td>&nbsp;</td>",
            "<td>&nbsp;</td>",
            "<td>Batch Sites&nbsp;</td></tr>",
            "<tr><td>Echo &lt;i&gt;&nbsp;</td>",
            "<td><A HREF=\"http://e.example/&quot;&gt;&lt;script&gt;x()&lt;/script&gt;\">"
            "http://e.example/&quot;&gt;&lt;script&gt;x()&lt;/script&gt;</A>&nbsp;</td>",
            "<td>OK&nbsp;</td>",
            "<td>12/9/2026&nbsp;</td>",
            "<td>FFA&lt;br&gt;&nbsp;</td></tr>",
            "</table>",
            "</body></html>",
        });
    EXPECT_EQ(folder.Read("reports/Shop12-9-2026.htm"), expected);
    EXPECT_EQ(ListedFiles(), std::vector<std::string>{"Shop12-9-2026.htm"});
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_TRUE(opened.empty());

    // A second report on the same day replaces the first.
    SubmitMain->TitleRepCk->SetChecked(false);
    SubmitMain->HeaderCk->SetChecked(false);
    SubmitMain->FooterCk->SetChecked(false);
    SetEngineRows({});
    SubmitMain->SubmitRecord.url = "http://shop.example/";
    SubmitMain->WriteSubmissionReport();
    EXPECT_EQ(folder.Read("reports/Shop12-9-2026.htm"),
              Lines({"<center><b><FONT SIZE=\"5\" COLOR=\"#00779E\">http://shop.example/ (Shop)</font></b>"
                     "</center><br>"}) +
                  TableHead + Lines({"</table>"}));
    EXPECT_EQ(ListedFiles(), std::vector<std::string>{"Shop12-9-2026.htm"});

    // Reports off: nothing is written.
    SubmitMain->GenReportCk->SetChecked(false);
    SubmitMain->CurrentProject = "Other";
    SubmitMain->WriteSubmissionReport();
    EXPECT_FALSE(fs::exists(folder.File("reports/Other12-9-2026.htm")));
}

TEST_F(ReportsPage, MissingHeaderAndFooterAreToldOncePerReport)
{
    const MessageBoxCall noHeader{"Could not find header, Please Reload header", "No header Found!",
                                  MB_OK | MB_ICONEXCLAMATION};
    const MessageBoxCall noFooter{"Could not find Footer, Please Reload Footer", "No Footer Found!",
                                  MB_OK | MB_ICONEXCLAMATION};
    folder.Write("parts/part.htm", "<hr>");
    const std::string part = folder.File("parts/part.htm");
    const std::string folderAsFile = folder.File("parts");  // exists, but is no file
    struct Case {
        const char* name;
        bool headerCk;
        std::string header;
        bool footerCk;
        std::string footer;
        std::vector<MessageBoxCall> boxes;
        const char* first;  // the report's first line
        const char* last;   // and its last
    } cases[] = {
        {"never set", true, "error", true, "error", {noHeader, noFooter},
         "<BLOCKQUOTE><P ALIGN=\"center\"><B><FONT SIZE=\"5\" COLOR=\"#00779E\">", "</table>"},
        {"header missing", true, "error", true, part, {noHeader},
         "<BLOCKQUOTE><P ALIGN=\"center\"><B><FONT SIZE=\"5\" COLOR=\"#00779E\">", "<hr>"},
        {"footer is a folder", true, part, true, folderAsFile, {noFooter}, "<hr>", "</table>"},
        {"both off", false, "error", false, "error", {},
         "<BLOCKQUOTE><P ALIGN=\"center\"><B><FONT SIZE=\"5\" COLOR=\"#00779E\">", "</table>"},
    };
    SubmitMain->CurrentProject = "Shop";
    SetEngineRows({{"Alpha", "http://a.example/", "OK", "12/9/2026", "FFA", true}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.Boxes.clear();
        SubmitMain->HeaderCk->SetChecked(c.headerCk);
        SubmitMain->Header->SetText(c.header);
        SubmitMain->FooterCk->SetChecked(c.footerCk);
        SubmitMain->Footer->SetText(c.footer);

        SubmitMain->WriteSubmissionReport();

        EXPECT_EQ(boxes.Boxes, c.boxes);
        TStringList report;
        report.LoadFromFile(folder.File("reports/Shop12-9-2026.htm"));
        ASSERT_GT(report.Count(), 0);
        EXPECT_EQ(report.Strings(0), c.first);
        EXPECT_EQ(report.Strings(report.Count() - 1), c.last);
        EXPECT_NE(report.IndexOf("<tr><td>Alpha&nbsp;</td>"), -1);
    }
    EXPECT_TRUE(boxes.Errors.empty());
}

TEST_F(ReportsPage, ReportThatCannotBeWrittenIsShownAndTheRunGoesOn)
{
    SubmitMain->HeaderCk->SetChecked(false);
    SubmitMain->FooterCk->SetChecked(false);
    // A name that would leave the reports folder is refused; so is a
    // reports folder that has gone.
    SubmitMain->CurrentProject = "../Shop";
    EXPECT_NO_THROW(SubmitMain->WriteSubmissionReport());
    EXPECT_EQ(boxes.Errors.size(), 1u);
    EXPECT_FALSE(fs::exists(folder.File("Shop12-9-2026.htm")));

    SubmitMain->CurrentProject = "Shop";
    fs::remove_all(folder.File("reports"));
    EXPECT_NO_THROW(SubmitMain->WriteSubmissionReport());
    EXPECT_EQ(boxes.Errors.size(), 2u);
}

TEST_F(ReportsPage, PreviewWritesSampleAndOpensIt)
{
    SubmitMain->HeaderCk->SetChecked(false);
    SubmitMain->FooterCk->SetChecked(false);
    SubmitMain->TitleRepCk->SetChecked(false);
    SubmitMain->CurrentProject = "Shop";
    SubmitMain->SubmitRecord.url = "http://shop.example/";
    SetEngineRows({{"Alpha", "http://a.example/", "", "", "FFA", false}});
    // The start-up showed the reports folder, which made it the current directory.
    const std::string sample = folder.File("reports/sample2.htm");
    ASSERT_EQ(fs::path(GetCurrentDir()), fs::path(folder.File("reports")));

    struct Case {
        const char* name;
        TObject* sender;
        int page;  // the notebook's page afterwards
    } cases[] = {
        {"button", SubmitMain->Button13, pgReports},
        {"menu item", SubmitMain->Preview1, pgAbout},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        opened.clear();
        fs::remove(sample);
        SubmitMain->TabbedNotebook1->SetPageIndex(pgAbout);

        SubmitMain->Button13Click(c.sender);

        // No checked row: the table holds its header row only.
        EXPECT_EQ(folder.Read("reports/sample2.htm"),
                  Lines({"<center><b><FONT SIZE=\"5\" COLOR=\"#00779E\">http://shop.example/ (Shop)</font></b>"
                         "</center><br>"}) +
                      TableHead + Lines({"</table>"}));
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened[0].verb, "open");
        EXPECT_EQ(fs::path(opened[0].file), fs::path(sample));
        EXPECT_EQ(opened[0].show, SW_SHOWNORMAL);
        EXPECT_EQ(SubmitMain->TabbedNotebook1->PageIndex(), c.page);
    }
    EXPECT_FALSE(fs::exists(folder.File("reports/Shop12-9-2026.htm")));
}

TEST_F(ReportsPage, ApplyStoresTheSettingsAndTheNextStartReadsThem)
{
    // A fresh settings file: the defaults.
    EXPECT_TRUE(SubmitMain->GenReportCk->Checked());
    EXPECT_TRUE(SubmitMain->HeaderCk->Checked());
    EXPECT_EQ(SubmitMain->Header->Text(), "error");
    EXPECT_EQ(SubmitMain->TitleRep->Text(), "error");

    SubmitMain->GenReportCk->Click();  // off
    EXPECT_EQ(SubmitMain->Label12->Caption(), "Reporting feature is disabled");
    SubmitMain->HeaderCk->SetChecked(false);
    SubmitMain->Header->SetText("/tmp/top.htm");
    SubmitMain->Footer->SetText("bottom.html");
    SubmitMain->TitleRep->SetText("My  Results");
    SubmitMain->TabbedNotebook1->SetPageIndex(pgAbout);
    SubmitMain->Apply1->Click();

    EXPECT_EQ(SubmitMain->TabbedNotebook1->PageIndex(), pgReports);
    TStringList stored;
    TIniFile(folder.File("wkt.ini")).ReadSectionValues("Reports", stored);
    EXPECT_EQ(stored.Text(), Lines({"GenReport=0", "HeaderCK=0", "FooterCk=1", "TitleCk=1",
                                    "HeaderPath=/tmp/top.htm", "FooterPath=bottom.html", "TitleTxt=My  Results"}));

    program.reset();
    program.emplace(folder);
    {
        EXPECT_FALSE(SubmitMain->GenReportCk->Checked());
        EXPECT_FALSE(SubmitMain->HeaderCk->Checked());
        EXPECT_TRUE(SubmitMain->FooterCk->Checked());
        EXPECT_EQ(SubmitMain->Header->Text(), "/tmp/top.htm");
        EXPECT_EQ(SubmitMain->Footer->Text(), "bottom.html");
        EXPECT_EQ(SubmitMain->TitleRep->Text(), "My  Results");
        EXPECT_EQ(SubmitMain->Label12->Caption(), "Reporting feature is disabled");
        SubmitMain->GenReportCk->Click();  // on
        EXPECT_EQ(SubmitMain->Label12->Caption(),
                  "Reports are automaticaly generated each time a submission has completed. Changes to the "
                  "Header,Footer and Title will take affect on the next submitted Project.");
    }
}

TEST_F(ReportsPage, BrowseButtonsFillTheirField)
{
    struct TShown {
        std::string initialDir, title, filter;
        bool save;
    };
    std::vector<TShown> shown;
    std::string answer;
    FileDialogHook() = [&](TOpenDialog& dialog) {
        shown.push_back({dialog.InitialDir, dialog.Title, dialog.Filter, dialog.Save});
        dialog.FileName = answer;
        return !answer.empty();
    };
    struct Case {
        const char* name;
        TButton* button;
        TEdit* field;
    } cases[] = {
        {"header", SubmitMain->SpeedButton1, SubmitMain->Header},
        {"footer", SubmitMain->SpeedButton2, SubmitMain->Footer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        shown.clear();
        answer = folder.File(std::string(c.name) + ".html");
        c.button->Click();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].initialDir, folder.Path());
        EXPECT_EQ(shown[0].title, "Header Document");
        EXPECT_EQ(shown[0].filter, "Html Document|*.htm;*.html|*.htm *.html|*.htm;*.html");
        EXPECT_FALSE(shown[0].save);
        EXPECT_EQ(c.field->Text(), answer);

        answer.clear();  // cancelled
        c.button->Click();
        EXPECT_EQ(c.field->Text(), folder.File(std::string(c.name) + ".html"));
    }
}

TEST_F(ReportsPage, SavedReportsViewAndDelete)
{
    folder.Write("reports/Alpha12-9-2026.htm", "a");
    folder.Write("reports/Beta12-9-2026.htm", "b");
    SubmitMain->FileListBox1->Update();
    ASSERT_EQ(ListedFiles(), (std::vector<std::string>{"Alpha12-9-2026.htm", "Beta12-9-2026.htm"}));

    // Nothing selected: nothing is opened or deleted.
    SubmitMain->FileListBox1->SetItemIndex(-1);
    SubmitMain->ViewReport1->Click();
    SubmitMain->DeleteReport1->Click();
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(ListedFiles().size(), 2u);

    SelectFile("Beta12-9-2026.htm");
    SubmitMain->FileListBox1DblClick(SubmitMain->FileListBox1);
    SubmitMain->ViewReport1->Click();
    ASSERT_EQ(opened.size(), 2u);
    for (const ShellOpenCall& call : opened) {
        EXPECT_EQ(call.verb, "open");
        EXPECT_EQ(fs::path(call.file), fs::path(folder.File("reports/Beta12-9-2026.htm")));
        EXPECT_EQ(call.show, SW_SHOWNORMAL);
    }

    SubmitMain->DeleteReport1->Click();
    EXPECT_FALSE(fs::exists(folder.File("reports/Beta12-9-2026.htm")));
    EXPECT_EQ(ListedFiles(), std::vector<std::string>{"Alpha12-9-2026.htm"});

    // A delete that fails leaves the list as it is, and says nothing.
    SelectFile("Alpha12-9-2026.htm");
    folder.Remove("reports/Alpha12-9-2026.htm");
    SubmitMain->DeleteReport1->Click();
    EXPECT_EQ(ListedFiles(), std::vector<std::string>{"Alpha12-9-2026.htm"});
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_TRUE(boxes.Errors.empty());
}

}  // namespace

namespace {

// A new installation writes reports with the title and without a header or
// footer, so the first report asks for no files the user never chose.
TEST(InstalledSettings, ReportWithTitleAndWithoutHeaderOrFooter)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    EXPECT_TRUE(SubmitMain->GenReportCk->Checked());
    EXPECT_FALSE(SubmitMain->HeaderCk->Checked());
    EXPECT_FALSE(SubmitMain->FooterCk->Checked());
    EXPECT_TRUE(SubmitMain->TitleRepCk->Checked());
    EXPECT_EQ(SubmitMain->Header->Text(), "");
    EXPECT_EQ(SubmitMain->TitleRep->Text(), "Submission Results");
    EXPECT_EQ(SubmitMain->Run().Options.Ports, 10);
    EXPECT_EQ(SubmitMain->Run().Options.Timeout, 40);
    EXPECT_TRUE(boxes.Boxes.empty());
}

}  // namespace
