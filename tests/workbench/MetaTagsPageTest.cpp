// The MetaTags page of the real program: the block from the page's fields
// (and the project fields they mirror), the counters, and the injection into
// a page the user picks, with its first copy.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleInterface>

#include <sys/stat.h>

#include "MainFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/Dialogs.h"
#include "classlib/Files.h"
#include "classlib/Menus.h"
#include "classlib/TabbedNotebook.h"
#include "controls/Btchkbox.h"
#include "controls/ColMemo.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "support/ControlWindows.h"
#include "support/ShopProject.h"
#include "support/TempDir.h"
#include "workbench/SubmitMain.h"

namespace {

class MetaTagsPage : public ::testing::Test {
protected:
    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program{folder};
    TempDir site;
    std::vector<std::string> dialogs;  // the titles of the dialogs shown

    void TearDown() override
    {
        FileDialogHook() = nullptr;
        EXPECT_TRUE(boxes.Errors.empty()) << (boxes.Errors.empty() ? "" : boxes.Errors.front());
    }
    // The file dialog answers with path (or is cancelled for an empty one).
    void ChooseFile(const std::string& path)
    {
        FileDialogHook() = [this, path](TOpenDialog& dialog) {
            dialogs.push_back(dialog.Title);
            EXPECT_EQ(dialog.Filter, "Html Document|*.htm;*.html|*.htm *.html|*.htm;*.html|*.shtm *.shtml|"
                                     "*.shtm;*.shtml|*.asp |*.asp|All Files|*.*");
            EXPECT_EQ(dialog.InitialDir, SubmitMain->AppFolder);
            dialog.FileName = path;
            return !path.empty();
        };
    }
    std::string ViewerText() { return SubmitMain->Viewer->Text(); }
    // The project page's fields, typed; the MetaTags page mirrors them.
    void TypeProject()
    {
        SubmitMain->title->SetText("Cats & \"Mice\"");
        SubmitMain->Description->SetText("All about cats");
        SubmitMain->Key1->SetText("cats,mice");
        SubmitMain->name->SetText("Ann");
        SubmitMain->LastN->SetText("Lee");
        SubmitMain->Company->SetText("Lee Ltd");
    }
};

const char* Block =
    "<HEAD>\r\n"
    "<TITLE>Cats & \"Mice\"</TITLE>\r\n"
    "<META NAME=\"Keywords\" CONTENT=\"cats,mice\">\r\n"
    "<META NAME=\"Description\" CONTENT=\"All about cats\">\r\n"
    "<META NAME=\"Author\" CONTENT=\"Ann Lee\">\r\n"
    "<META NAME=\"Copyright\" CONTENT=\"Lee Ltd\">\r\n"
    "<META NAME=\"Creator\" CONTENT=\"Tenvarel\">\r\n"
    "<META NAME=\"Robots\" CONTENT=\"All\">\r\n"
    "</HEAD>";

TEST_F(MetaTagsPage, TheBlockFromTheProjectsFields)
{
    TypeProject();
    EXPECT_EQ(SubmitMain->Author->Text(), "Ann Lee");
    EXPECT_EQ(SubmitMain->CopyRight->Text(), "Lee Ltd");
    SubmitMain->RobotsCk->SetChecked(true);
    SubmitMain->ShowPage(pgAbout);
    PressGenerateTags();
    EXPECT_EQ(SubmitMain->TabbedNotebook1->PageIndex(), pgMetaTags);
    EXPECT_EQ(ViewerText(), Block);

    // The menu item does the same; unchecked boxes leave their tags out.
    SubmitMain->Key1Ck->SetChecked(false);
    SubmitMain->AuthorCk->SetChecked(false);
    SubmitMain->RobotsCk->SetChecked(false);
    SubmitMain->GenerateTags1->Click();
    EXPECT_EQ(ViewerText(), "<HEAD>\r\n"
                            "<TITLE>Cats & \"Mice\"</TITLE>\r\n"
                            "<META NAME=\"Description\" CONTENT=\"All about cats\">\r\n"
                            "<META NAME=\"Copyright\" CONTENT=\"Lee Ltd\">\r\n"
                            "<META NAME=\"Creator\" CONTENT=\"Tenvarel\">\r\n"
                            "</HEAD>");

    // Assistive technology reads the block.
    QAccessibleInterface* viewer = AccessibleOf(SubmitMain->Viewer);
    ASSERT_NE(viewer, nullptr);
    const std::string read = viewer->textInterface()
                                 ? viewer->textInterface()->text(0, viewer->textInterface()->characterCount()).toStdString()
                                 : viewer->text(QAccessible::Value).toStdString();
    EXPECT_NE(read.find("<META NAME=\"Copyright\" CONTENT=\"Lee Ltd\">"), std::string::npos) << read;
    EXPECT_EQ(viewer->text(QAccessible::Description).toStdString(), "Viewer");
}

TEST_F(MetaTagsPage, CountersAgainstTheirLimits)
{
    struct Case {
        TEdit* field;
        TLedLabel* counter;
        std::string text;
        const char* shown;
        TColor border;
    } cases[] = {
        {SubmitMain->TitleMet, SubmitMain->CLED1Met, std::string(60, 't'), "60", clAqua},
        {SubmitMain->TitleMet, SubmitMain->CLED1Met, std::string(61, 't'), "61", clRed},
        {SubmitMain->DescriptionMet, SubmitMain->CLED2Met, std::string(250, 'd'), "250", clAqua},
        {SubmitMain->DescriptionMet, SubmitMain->CLED2Met, std::string(251, 'd'), "251", clRed},
        {SubmitMain->Key1Met, SubmitMain->CLED3Met, "cats,mice,,toys", "4", clAqua},
        {SubmitMain->Key1Met, SubmitMain->CLED3Met, "", "0", clAqua},
        {SubmitMain->Key1Met, SubmitMain->CLED3Met, std::string(250, ','), "251", clRed},
    };
    for (const Case& c : cases) {
        c.field->SetText(c.text);
        EXPECT_EQ(c.counter->Text(), c.shown) << c.field->Name << " " << c.text.size();
        EXPECT_EQ(c.counter->SegmentBorderColor(), c.border) << c.field->Name << " " << c.text.size();
        EXPECT_EQ(c.counter->OffColor(), clMaroon);
    }
    // The project's title reaches the counter through its mirror.
    SubmitMain->title->SetText("Cats");
    EXPECT_EQ(SubmitMain->CLED1Met->Text(), "4");
}

TEST_F(MetaTagsPage, ApplyTagsInjectsThePickedPageAndKeepsItsFirstCopy)
{
    TypeProject();
    SubmitMain->RobotsCk->SetChecked(true);
    const std::string original = "<html>\r\n<head>\r\n<title>Old</title>\r\n</head>\r\n<body>Hi</body>\r\n</html>\r\n";
    const std::string page = site.Write("index.html", original);
    ChooseFile(page);
    PressApplyTags();
    EXPECT_EQ(dialogs, std::vector<std::string>{"Inject Html Document"});
    EXPECT_EQ(ReadFileBytes(page), "<html>\r\n" + std::string(Block) + "\r\n<body>Hi</body>\r\n</html>\r\n");
    EXPECT_EQ(ReadFileBytes(page + ".bac"), original);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0], (MessageBoxCall{"Your Injection Was Successful \r\nA Copy of your injected File Has "
                                              "been saved as \r\n" + page + ".bac",
                                              "Injection complete!", MB_OK}));
    // The preview goes on without its first line until the next generation.
    EXPECT_EQ(ViewerText(), std::string(Block).substr(8));
    // The import wizard's dialog keeps its own files.
    EXPECT_EQ(SubmitMain->OpenDialog1->Filter, "Web Pages and Projects|*.htm;*.html;*.zro;*.sav|All Files|*.*");

    // Again, from the menu: the page holds the new block, the copy the original.
    SubmitMain->title->SetText("Dogs");
    SubmitMain->ApplyTags1->Click();
    EXPECT_NE(ReadFileBytes(page).find("<TITLE>Dogs</TITLE>"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(page).find("<TITLE>Cats"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(page + ".bac"), original);
    // No copy was made this time: the message does not say there was.
    ASSERT_EQ(boxes.Boxes.size(), 2u);
    EXPECT_EQ(boxes.Boxes[1], (MessageBoxCall{"Your Injection Was Successful \r\nThe page as it was before its first "
                                              "injection is still kept in \r\n" + page + ".bac",
                                              "Injection complete!", MB_OK}));

    // Cancelled: nothing happens.
    boxes.Boxes.clear();
    const std::string injected = ReadFileBytes(page);
    ChooseFile("");
    PressApplyTags();
    EXPECT_EQ(ReadFileBytes(page), injected);
    EXPECT_TRUE(boxes.Boxes.empty());
}

// Heads as pages write them: commented out before the real one, holding a
// commented-out script, ended by "</head >". The block goes into the real
// head, and nothing of the page after it is commented out or swallowed.
TEST_F(MetaTagsPage, ApplyTagsFindsTheRealHeadOfAPage)
{
    TypeProject();
    SubmitMain->RobotsCk->SetChecked(true);
    const std::string block = std::string(Block).substr(0, std::string(Block).size() - 7);
    const struct {
        const char* what;
        std::string page;
        std::string injected;
    } cases[] = {
        {"a head commented out before the real one",
         "<!-- old <head> kept for later -->\r\n<html><head><title>Old</title></head>\r\n<body>Hi</body></html>",
         "<!-- old <head> kept for later -->\r\n<html>" + std::string(Block) + "\r\n<body>Hi</body></html>"},
        {"a script commented out in the head",
         "<html><head><title>Old</title><!-- <script src=old.js> --></head>\r\n<body>Hi</body></html>",
         "<html>" + std::string(Block) + "\r\n<body>Hi</body></html>"},
        {"a commented-out script before a real one",
         "<head><!--<SCRIPT>--><script>go()</script></head><body>Hi</body>",
         block + "<script>go()</script></head><body>Hi</body>"},
        {"an end tag with a blank before its \">\"",
         "<html><head><title>Old</title></head >\n<body>Hi</body></html>",
         "<html>" + std::string(Block) + "\r\n<body>Hi</body></html>"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string page = site.Write("page" + std::to_string(++n) + ".html", c.page);
        ChooseFile(page);
        PressApplyTags();
        EXPECT_EQ(ReadFileBytes(page), c.injected) << c.what;
        EXPECT_EQ(ReadFileBytes(page + ".bac"), c.page) << c.what;
    }
}

// A page the user made read-only is refused with the file error, as the
// settings file is, and nothing is written; a link is written through, by
// the injection as by the doorway page's Save As.
TEST_F(MetaTagsPage, AReadOnlyPageIsRefusedAndALinkWrittenThrough)
{
    TypeProject();
    SubmitMain->RobotsCk->SetChecked(true);
    const std::string original = "<html><head><title>Old</title></head><body>Hi</body></html>";
    const std::string page = site.Write("locked.html", original);
    ASSERT_EQ(::chmod(page.c_str(), 0444), 0);
    ChooseFile(page);
    PressApplyTags();
    ASSERT_EQ(boxes.Errors.size(), 1u);
    EXPECT_EQ(boxes.Errors[0], "Cannot create file \"" + page + "\". Permission denied.");
    boxes.Errors.clear();
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(ReadFileBytes(page), original);
    EXPECT_FALSE(FileExists(page + ".bac"));

    // Through a link to it: refused the same.
    const std::string link = site.File("link.html");
    ASSERT_EQ(::symlink(page.c_str(), link.c_str()), 0);
    ChooseFile(link);
    PressApplyTags();
    ASSERT_EQ(boxes.Errors.size(), 1u);
    boxes.Errors.clear();
    EXPECT_EQ(ReadFileBytes(page), original);

    // Writable again: the page the link leads to gets the block.
    ASSERT_EQ(::chmod(page.c_str(), 0644), 0);
    PressApplyTags();
    EXPECT_EQ(ReadFileBytes(page), "<html>" + std::string(Block) + "\r\n<body>Hi</body></html>");
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // The doorway page's Save As: through a relative link, into a file that
    // is not there yet; and refused over a read-only one.
    SubmitMain->urllist->SetText("http://www.cats.example/");
    const std::string doorway = site.File("doorway.htm");
    ASSERT_EQ(::symlink("pages/cats.htm", doorway.c_str()), 0);
    site.Write("pages/.keep", "");
    SubmitMain->SaveDialog1->FileName = doorway;
    SubmitMain->BuildDoorwayPage(SubmitMain->Save1);
    ASSERT_EQ(::lstat(doorway.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    const std::string written = ReadFileBytes(site.File("pages/cats.htm"));
    EXPECT_NE(written.find("<TITLE>Cats & \"Mice\"</TITLE>"), std::string::npos) << written;
    ASSERT_EQ(::chmod(site.File("pages/cats.htm").c_str(), 0444), 0);
    SubmitMain->title->SetText("Dogs");
    SubmitMain->BuildDoorwayPage(SubmitMain->Save1);
    ASSERT_EQ(boxes.Errors.size(), 1u);
    EXPECT_EQ(boxes.Errors[0], "Cannot create file \"" + site.File("pages/cats.htm") + "\". Permission denied.");
    boxes.Errors.clear();
    EXPECT_EQ(ReadFileBytes(site.File("pages/cats.htm")), written);
}

TEST_F(MetaTagsPage, APageWithoutAHeadInOrderIsLeftAlone)
{
    const std::string original = "<html><header>Top</header></head><body>Hi</body></html>";
    const std::string page = site.Write("plain.html", original);
    ChooseFile(page);
    PressApplyTags();
    EXPECT_EQ(ReadFileBytes(page), original);
    EXPECT_FALSE(FileExists(page + ".bac"));
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0], (MessageBoxCall{"The head of the page could not be found; the page was not changed.",
                                              "Inject Html Document", MB_OK | MB_ICONEXCLAMATION}));

    // A page that cannot be read: the error box. A named pipe picked in the
    // dialog is told at once instead of waiting for a writer, and gets no copy.
    const std::string pipe = site.File("pipe.html");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& name : {site.File("missing.html"), pipe}) {
        ChooseFile(name);
        PressApplyTags();
        ASSERT_EQ(boxes.Errors.size(), 1u) << name;
        EXPECT_NE(boxes.Errors[0].find(name), std::string::npos) << boxes.Errors[0];
        EXPECT_FALSE(FileExists(name + ".bac"));
        boxes.Errors.clear();
    }
}

}  // namespace

namespace {

// Loading a project fills the MetaTags page (and the other pages' copies of
// its fields): each shows its text from the first letters, not its end.
TEST(MetaTagsFilled, FieldsAProjectFillsShowTheirTextFromTheStart)
{
    TInstallFolder folder;
    TBoxRecorder boxes;
    WriteProjectFile(folder.Path(), LongTextsProject());
    SaveProjectList(folder.Path(), {"Acme"});
    TRunningProgram program(folder);
    SubmitMain->Show();
    SubmitMain->SesList->SetItemIndex(0);
    SubmitMain->SesListClick(SubmitMain->SesList);
    ASSERT_EQ(SubmitMain->DescriptionMet->Text(), LongTextsProject().description);
    SubmitMain->ShowPage(pgMetaTags);
    for (TEdit* field : {SubmitMain->TitleMet, SubmitMain->DescriptionMet, SubmitMain->Key1Met, SubmitMain->Author,
                         SubmitMain->CopyRight, SubmitMain->RankUrl, SubmitMain->UrlImp, SubmitMain->urllist,
                         SubmitMain->title, SubmitMain->Company})
        EXPECT_EQ(field->SelStart(), 0) << field->Name;
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_TRUE(boxes.Errors.empty());
}

}  // namespace
