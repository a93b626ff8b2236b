// The doorway page: its lines from a project, and the Doorway Pages page of
// the real main window under the offscreen platform: the preview, the
// ranking keyword box, Save As, the help page and texts that are markup.
#include <gtest/gtest.h>

#include <filesystem>

#include "MainFixture.h"
#include "classlib/Accessibility.h"
#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/Dialogs.h"
#include "classlib/Menus.h"
#include "classlib/TabbedNotebook.h"
#include "htmlview/HtmlPane.h"
#include "support/UserClick.h"
#include "workbench/DoorwayData.h"
#include "workbench/SubmitMain.h"

namespace {

namespace fs = std::filesystem;

TEST(DoorwayData, KeywordsSplitAtCommas)
{
    const struct {
        const char* keywords;
        bool single;
        std::vector<CodePageString> list;
    } cases[] = {
        {"alpha, beta, gamma", false, {"alpha", "beta", "gamma"}},
        {"alpha,beta,gamma", false, {"alpha", "beta", "gamma"}},
        {"only one", true, {"only one"}},
        {"", false, {""}},
        {"one,", false, {"one", ""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DoorwayKeywords(c.keywords, c.single), c.list) << c.keywords;
}

TEST(DoorwayData, ThePageLineByLine)
{
    DoorwayProject p{"T", "D", "k1, k2", "http://u/", "Tenvarel", false};
    const std::vector<CodePageString> lines = DoorwayPageLines(p);
    const std::vector<CodePageString> expected = {
        "<HTML>",
        "<HEAD>",
        "<TITLE>T</TITLE>",
        "<META NAME=\"DESCRIPTION\" CONTENT=\"D\">",
        "<META NAME=\"KEYWORDS\" CONTENT=\"k1, k2\">",
        "<META NAME=\"Creator\" CONTENT=\"Tenvarel Doorway Page Generator\">",
        "<SCRIPT LANGUAGE=\"JavaScript\" TYPE=\"text/javascript\">function Start()",
        "{brwName = navigator.appName; if (brwName == \"Netscape\" )",
        "{window.parent.location=\"http://u/\"} else",
        "{window.parent.location=\"http://u/\"}}</SCRIPT>",
        "</HEAD>",
        "<BODY ONLOAD=\"Start()\" BGCOLOR=\"#FFFFFF\" TEXT=\"#000000\" LINK=\"#0000FF\" VLINK=\"#0000FF\" "
        "ALINK=\"#FF0000\">",
        "<center><TABLE WIDTH=\"600\" CELLPADDING=\"5\" CELLSPACING=\"0\" BORDER=\"0\">",
        "<TR><TD VALIGN=\"TOP\">",
        "<p>",
        "<IMG SRC=\"nil.gif\" WIDTH=\"1\" HEIGHT=\"1\" ALIGN=\"LEFT\" BORDER=\"0\" ALT=\"T\">",
        "</p>",
        "<center><h1>T</h1></center><HR WIDTH=\"90%\" COLOR=\"#0000CC\">",
        "<!--D-->",
        "<INPUT TYPE=\"HIDDEN\" NAME=\"k1, k2\">",
        "<!--T-->",
        "<INPUT TYPE=\"hidden\" NAME=\"D\">",
        "<!--k1, k2-->",
        "<INPUT TYPE=\"hidden\" NAME=\"T\">",
        "&nbsp;",
        "Are you searching for one or more of the topics below<br>",
        "<IMG SRC=\"nil.gif\" WIDTH=\"1\" HEIGHT=\"1\" ALIGN=\"LEFT\" BORDER=\"0\" ALT=\"D\" BORDER=\"0\"><ul>",
        "<li><a href=\"http://u/\">k1</a></li>",
        "<li><a href=\"http://u/\">k2</a></li></ul>",
        "<br>Then look no further  <A HREF=\"http://u/\">http://u/</a> has the topics you are looking for.<br>",
        "<br><font size=\"-1\">D</font>",
        "<br><br>",
        "<font size=\"-1\">You will find our site \"<A HREF=\"http://u/\">http://u/</a>\"friendly to navigate and "
        "full of information on your topic.<br><br>",
        "<A HREF=\"http://u/\">click here</A> if you",
        "are not automatically forwarded to our site.</font><br><br>",
        "<HR WIDTH=\"90%\" COLOR=\"#0000CC\">",
        "<P><IMG SRC=\"nil.gif\" WIDTH=\"1\" HEIGHT=\"1\" BORDER=\"0\" ALT=\"k1, k2\"></P></TD></TR></TABLE></center>"
        "</BODY>",
        "</HTML>",
    };
    EXPECT_EQ(lines, expected);
    p.Keywords = "";
    EXPECT_EQ(DoorwayPageLines(p)[27], "<li><a href=\"http://u/\"></a></li></ul>") << "one empty item closes the list";
}

class DoorwayPage : public ::testing::Test {
protected:
    DoorwayPage() : program(folder) {}
    ~DoorwayPage() override { FileDialogHook() = nullptr; }

    void Type(const std::string& name, const std::string& text)
    {
        dynamic_cast<TControl*>(SubmitMain->FindComponent(name))->SetText(text);
    }
    // Saves the page as a project and clicks it in the project list.
    void SaveAndClick(const std::string& project)
    {
        Type("Session_Name", project);
        SubmitMain->SiteAdd->Click();
        ClickLine(SubmitMain->SesList, -1);
        ClickLine(SubmitMain->SesList, SubmitMain->SesList->Items()->IndexOf(project));
    }
    void SampleProject()
    {
        Type("urllist", "http://www.example.com/");
        Type("title", "Garden Tools");
        Type("Description", "Everything for the garden");
        Type("Key1", "spades, rakes,hoes");
        SubmitMain->catagory->SetText("Internet");
    }
    std::string Shown() const { return AccessibleTextOf(SubmitMain->Doorway); }
    std::vector<std::string> KeywordBox() const
    {
        std::vector<std::string> items;
        for (int i = 0; i < SubmitMain->ComboBox1->Items()->Count(); ++i)
            items.push_back(SubmitMain->ComboBox1->Items()->Strings(i));
        return items;
    }

    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program;
};

TEST_F(DoorwayPage, AProjectClickShowsItsPageAndSaveAsWritesItByteForByte)
{
    THtmlPane* doorway = SubmitMain->Doorway;
    EXPECT_FALSE(doorway->ViewImages());
    EXPECT_EQ(doorway->DefBackground(), clWhite);
    EXPECT_EQ(doorway->HistoryMaxCount(), 0);
    EXPECT_EQ(doorway->Align(), alClient);

    SampleProject();
    SaveAndClick("garden");
    const std::string shown = Shown();
    EXPECT_NE(shown.find("Garden Tools\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("spades \nrakes \nhoes\n"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("function Start"), std::string::npos) << "no script text";
    EXPECT_EQ(KeywordBox(), (std::vector<std::string>{"spades", "rakes", "hoes"}));
    EXPECT_EQ(SubmitMain->ComboBox1->Text(), "spades");

    std::string offeredName;
    std::string offeredFolder;
    FileDialogHook() = [&](TOpenDialog& dialog) {
        offeredName = dialog.FileName;
        offeredFolder = dialog.InitialDir;
        EXPECT_EQ(dialog.Title, "Doorway Page");
        EXPECT_EQ(dialog.Filter, "Html Document|*.htm;*.html|*.htm *.html|*.htm;*.html");
        dialog.FileName = folder.File("doorways/garden.htm");
        return true;
    };
    SubmitMain->Save1->Click();
    EXPECT_EQ(offeredName, "garden.htm");
    EXPECT_EQ(fs::path(offeredFolder), fs::path(folder.File("doorways")));
    EXPECT_EQ(SubmitMain->TabbedNotebook1->PageIndex(), pgDoorwayPages);

    DoorwayProject project{"Garden Tools", "Everything for the garden", "spades, rakes,hoes",
                           "http://www.example.com/", "Tenvarel", false};
    std::string expected;
    for (const CodePageString& line : DoorwayPageLines(project))
        expected += line + "\r\n";
    const std::string written = folder.Read("doorways/garden.htm");
    EXPECT_NE(written.find("CONTENT=\"Tenvarel Doorway Page Generator\""), std::string::npos);
    EXPECT_EQ(written, expected);
    EXPECT_TRUE(boxes.Errors.empty());

    // A file that cannot be written: the error box once, and the file and
    // the preview as they were.
    fs::create_directories(folder.File("doorways/taken.htm"));
    FileDialogHook() = [&](TOpenDialog& dialog) {
        dialog.FileName = folder.File("doorways/taken.htm");
        return true;
    };
    SubmitMain->Save1->Click();
    EXPECT_EQ(boxes.Errors.size(), 1u);
    EXPECT_TRUE(fs::is_directory(folder.File("doorways/taken.htm")));
    EXPECT_EQ(Shown(), shown);
    EXPECT_EQ(folder.Read("doorways/garden.htm"), expected);
}

TEST_F(DoorwayPage, SaveAsWithoutAProjectSaysSo)
{
    SubmitMain->Save1->Click();
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].text, "Opps there is no project selected");
    EXPECT_EQ(boxes.Boxes[0].caption, "Select a Project to save!");
}

TEST_F(DoorwayPage, TheNotebookShowsTheHelpOnItsPage)
{
    SampleProject();
    SaveAndClick("garden");
    SubmitMain->TabbedNotebook1->SetPageIndex(pgDoorwayPages);
    SubmitMain->TabbedNotebook1->Click();
    EXPECT_EQ(Shown(), "To create a doorway page first select a project.\n"
                       "Your Dooway page will then be created and is ready to save.\n"
                       "To save the doorway page select the \"Doorway Pages\" on the top Menu and Save As.\n");
    SubmitMain->TabbedNotebook1->SetPageIndex(pgProjects);
    SaveAndClick("garden");
    SubmitMain->TabbedNotebook1->Click();
    EXPECT_NE(Shown().find("Garden Tools"), std::string::npos) << "on another page a click changes nothing";
}

// Texts that are markup themselves go in as typed: the file keeps them, and
// the preview still shows the page (an open comment is told once).
TEST_F(DoorwayPage, TypedMarkupNeitherBlanksNorHangsThePreview)
{
    const struct {
        const char* title;
        const char* description;
        const char* keywords;
        std::size_t errors;
    } cases[] = {
        {"Tools", "<table", "a<b, c", 0},
        {"<!--", "Desc", "<!--", 1},
        {"Tools", "<!--", "kw", 1},
        {"</BODY>", "-->", "<tr><td>", 0},
    };
    int project = 0;
    for (const auto& c : cases) {
        boxes.Errors.clear();
        Type("urllist", "http://www.example.com/");
        Type("title", c.title);
        Type("Description", c.description);
        Type("Key1", c.keywords);
        SubmitMain->catagory->SetText("Internet");
        SaveAndClick("p" + std::to_string(project++));
        EXPECT_FALSE(SubmitMain->Doorway->Busy());
        const std::string shown = Shown();
        EXPECT_NE(shown.find("Are you searching for one or more of the topics below"), std::string::npos)
            << c.title << " | " << c.description << "\n" << shown;
        EXPECT_EQ(boxes.Errors.size(), c.errors) << c.title << " | " << c.description;
    }
}

}  // namespace
