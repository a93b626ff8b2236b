// The project page of the real main window, under the offscreen platform:
// typing, saving, the program started again on the same folder, loading by a
// click on the project list, deleting, clearing, the length counters and the
// imports of project files chosen in the file dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "MainFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/CheckListBox.h"
#include "classlib/Dialogs.h"
#include "classlib/Graphics.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/TabbedNotebook.h"
#include "classlib/Timer.h"
#include "controls/ImgBtn.h"
#include "controls/LedLbl.h"
#include "support/FixedCanvas.h"
#include "support/UserClick.h"
#include "workbench/SubmitMain.h"

namespace {

namespace fs = std::filesystem;

// The page's fields by control name, with the project file's key of each.
struct TFieldKey {
    const char* control;
    const char* key;
};
constexpr TFieldKey Fields[] = {
    {"urllist", "url"},         {"title", "title"},       {"email", "email"},     {"Description", "description"},
    {"catagory", "catagory"},   {"name", "name"},         {"LastN", "last"},      {"Company", "company"},
    {"Address1", "address1"},   {"Address2", "address2"}, {"Country", "country"}, {"City", "city"},
    {"State", "state"},         {"Phone", "phone"},       {"Fax", "fax"},         {"Zip", "zip"},
    {"Key1", "key1"},
};

using TPage = std::map<std::string, std::string>;  // control name -> text

TPage SampleProject(const std::string& tag)
{
    return {{"urllist", "http://www." + tag + ".example/"},
            {"title", tag + " Title"},
            {"email", "ann@" + tag + ".example"},
            {"Description", "All about " + tag},
            {"catagory", "Internet"},
            {"name", "Ann"},
            {"LastN", "Lee"},
            {"Company", tag + " Co"},
            {"Address1", "1 Road"},
            {"Address2", "Flat 2"},
            {"Country", "UK"},
            {"City", "Town"},
            {"State", "ST"},
            {"Phone", "01"},
            {"Fax", "02"},
            {"Zip", "Z1"},
            {"Key1", "one,two,three"}};
}

// The colours a counter shows, segment by segment: a segment drawn as a
// line shows its outline's colour, a segment with an area its fill.
std::set<TColor> ShownColours(TLedLabel& led)
{
    TFixedCanvas canvas;
    led.PaintTo(&canvas);
    std::set<TColor> shown;
    for (const TCanvasOp& segment : canvas.OpsOf(TCanvasOp::Polygon)) {
        long long twiceArea = 0;
        for (std::size_t i = 0; i < segment.points.size(); ++i) {
            const TPoint& a = segment.points[i];
            const TPoint& b = segment.points[(i + 1) % segment.points.size()];
            twiceArea += (long long)a.x * b.y - (long long)b.x * a.y;
        }
        shown.insert(twiceArea == 0 ? segment.penColor : segment.brushColor);
    }
    return shown;
}

const MessageBoxCall ModifyBox{"Session name already exists.\nDo you wish to modify it  ?", "Modify Session Name",
                               MB_YESNO | MB_ICONQUESTION};
const MessageBoxCall SelectCategoryBox{"Please Select a Catagory For This Project", "Select Catagory",
                                       MB_OK | MB_ICONEXCLAMATION};
const MessageBoxCall UnsafeNameBox{"Sorry that name can not be used as a Session Name.\n"
                                   "It may not be . or .., be longer than 220 characters, hold / \\ ] or control "
                                   "characters, begin or end with a blank, or begin and end with a double quote.",
                                   "Invalid Session Name", MB_OK | MB_ICONEXCLAMATION};

class ProjectPage : public ::testing::Test {
protected:
    void SetUp() override { Start(); }
    void TearDown() override { FileDialogHook() = nullptr; }

    void Start()
    {
        program.reset();
        program.emplace(folder);
        ASSERT_NE(SubmitMain, nullptr);
        ASSERT_TRUE(boxes.Errors.empty()) << boxes.Errors.front();
    }

    TControl& Field(const std::string& name) const
    {
        auto* control = dynamic_cast<TControl*>(SubmitMain->FindComponent(name));
        EXPECT_NE(control, nullptr) << name;
        return *control;
    }
    void Type(const TPage& page) const
    {
        for (const auto& [control, text] : page)
            Field(control).SetText(text);
    }
    void Type(const std::string& control, const std::string& text) const { Field(control).SetText(text); }
    TPage Shown() const
    {
        TPage page;
        for (const TFieldKey& f : Fields)
            page[f.control] = Field(f.control).Text();
        return page;
    }
    void SaveAs(const std::string& projectName, TPage page)
    {
        Type(page);
        Type("Session_Name", projectName);
        SubmitMain->SiteAdd->Click();
    }
    // A click on a line of the project list, as the user makes it.
    void ClickProject(int row) const { ClickLine(SubmitMain->SesList, row); }
    std::vector<std::string> ListedProjects() const
    {
        std::vector<std::string> names;
        for (int i = 0; i < SubmitMain->SesList->Items()->Count(); ++i)
            names.push_back(SubmitMain->SesList->Items()->Strings(i));
        return names;
    }
    std::vector<std::string> SessionFiles() const
    {
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(folder.File("data/session")))
            files.push_back(entry.path().filename().string());
        std::sort(files.begin(), files.end());
        return files;
    }
    std::string ProjectFile(const std::string& projectName) const
    {
        return folder.Read("data/session/" + projectName + ".zro");
    }

    TInstallFolder folder;
    TBoxRecorder boxes;
    std::optional<TRunningProgram> program;
};

// The project file as it is written: one section, the keys in file order, CR LF.
std::string ExpectedProjectFile(const std::string& projectName, const TPage& page)
{
    std::string bytes = "[" + projectName + "]\r\n";
    for (const char* key : {"url", "title", "email", "description", "catagory", "name", "last", "company",
                            "address1", "address2", "country", "city", "state", "phone", "fax", "zip", "key1"})
        for (const TFieldKey& f : Fields)
            if (std::string(f.key) == key)
                bytes += std::string(key) + "=" + page.at(f.control) + "\r\n";
    return bytes;
}

TEST_F(ProjectPage, SavedProjectsAreListedAfterARestartAndLoadOnAClick)
{
    const TPage acme = SampleProject("acme");
    SaveAs("Acme", acme);
    EXPECT_EQ(ListedProjects(), std::vector<std::string>{"Acme"});
    EXPECT_EQ(ProjectCount(), "1");
    EXPECT_EQ(ProjectFile("Acme"), ExpectedProjectFile("Acme", acme));

    // A second one through the image buttons: "New" keeps the contact details.
    PressNewProject();
    TPage beta = SampleProject("beta");
    beta["catagory"] = "Travel";
    Type(beta);
    Type("Session_Name", "beta");
    PressSaveProject();
    EXPECT_EQ(ProjectFile("beta"), ExpectedProjectFile("beta", beta));
    EXPECT_EQ(folder.Read("data/session/session.zro"),
              "[Session]\r\nCount=1\r\n\r\n[List]\r\n0=Acme\r\n1=beta\r\n");
    EXPECT_TRUE(boxes.Boxes.empty());

    Start();
    EXPECT_EQ(ListedProjects(), (std::vector<std::string>{"Acme", "beta"}));
    EXPECT_EQ(ProjectCount(), "2");
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "");

    SubmitMain->Hint.Show(TFlashTarget::ProjectList);  // the project list's flashing hint
    ClickProject(1);
    EXPECT_EQ(Shown(), beta);
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "beta");
    EXPECT_FALSE(SubmitMain->Timer1->Enabled());
    EXPECT_EQ(SubmitMain->SesList->Font()->Color(), clBlack);
    ClickProject(0);
    EXPECT_EQ(Shown(), acme);
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "Acme");
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_TRUE(boxes.Errors.empty());
}

TEST_F(ProjectPage, StartListsTheProjectsSortedAndKeepsTheNamesItCanNotShow)
{
    // "Site..Old" is a name of an older list, and its file is there.
    folder.Write("data/session/Site..Old.zro", "[Site..Old]\r\nurl=http://old.example/\r\n");
    folder.Write("data/session/session.zro", "[List]\r\n0=Zeta\r\n1=../../wkt\r\n2=alpha\r\n3=Site..Old\r\n4=Mid\r\n"
                                             "\r\n[Session]\r\nCount=4\r\n");
    Start();
    EXPECT_EQ(ListedProjects(), (std::vector<std::string>{"alpha", "Mid", "Site..Old", "Zeta"}));
    EXPECT_EQ(ProjectCount(), "4");
    ClickProject(2);
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "Site..Old");
    EXPECT_EQ(SubmitMain->urllist->Text(), "http://old.example/");

    // A project saved now goes into its sorted place; the name that is not
    // shown stays in the list file, through a save and a delete.
    SaveAs("beta", SampleProject("beta"));
    EXPECT_EQ(ListedProjects(), (std::vector<std::string>{"alpha", "beta", "Mid", "Site..Old", "Zeta"}));
    EXPECT_EQ(ProjectCount(), "5");
    EXPECT_EQ(folder.Read("data/session/session.zro"),
              "[Session]\r\nCount=5\r\n\r\n[List]\r\n0=alpha\r\n1=beta\r\n2=Mid\r\n3=Site..Old\r\n4=Zeta\r\n"
              "5=../../wkt\r\n");
    ClickProject(0);
    SubmitMain->SiteDel->Click();
    EXPECT_EQ(folder.Read("data/session/session.zro"),
              "[Session]\r\nCount=4\r\n\r\n[List]\r\n0=beta\r\n1=Mid\r\n2=Site..Old\r\n3=Zeta\r\n4=../../wkt\r\n");
    Start();
    EXPECT_EQ(ListedProjects(), (std::vector<std::string>{"beta", "Mid", "Site..Old", "Zeta"}));
    EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(ProjectPage, NamesThatCanNotBeAFileAreRefusedWithTheirMessage)
{
    const MessageBoxCall reserved{"Sorry that name is being used by this program", "Invalid Session Name",
                                  MB_OK | MB_ICONEXCLAMATION};
    const MessageBoxCall noName{"You have no Session_Name to save.", "No Session Name", MB_OK | MB_ICONEXCLAMATION};
    struct TCase {
        std::string name;
        bool fromMenu;
        MessageBoxCall box;
    };
    const TCase cases[] = {
        {"list", true, reserved},         {"Session", false, reserved},   {"LIST", true, reserved},
        {"", true, noName},               {"", false, noName},            {"../escape", true, UnsafeNameBox},
        {"a/b", true, UnsafeNameBox},     {"a\\b", false, UnsafeNameBox}, {"x]y", true, UnsafeNameBox},
        {"tab\there", true, UnsafeNameBox}, {" ", true, UnsafeNameBox},   {"trailing ", true, UnsafeNameBox},
        {".", true, UnsafeNameBox},       {"..", false, UnsafeNameBox},   {"\"hi\"", true, UnsafeNameBox},
        {std::string(300, 'n'), true, UnsafeNameBox}, {std::string(221, 'n'), false, UnsafeNameBox},
    };
    const std::string list = folder.Read("data/session/session.zro");
    const std::vector<std::string> files = SessionFiles();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.Boxes.clear();
        Type(SampleProject("site"));
        Type("Session_Name", c.name);
        if (c.fromMenu)
            SubmitMain->SiteAdd->Click();
        else
            PressSaveProject();
        EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{c.box});
        EXPECT_EQ(SessionFiles(), files);
        EXPECT_EQ(folder.Read("data/session/session.zro"), list);
        EXPECT_TRUE(ListedProjects().empty());
    }
    EXPECT_FALSE(fs::exists(folder.File("data/escape.zro")));
}

// The longest name a project may have is saved, listed, loaded and saved
// again like any other.
TEST_F(ProjectPage, TheLongestNameIsAProjectLikeAnyOther)
{
    const std::string longest(MaxProjectNameLength, 'L');
    const TPage site = SampleProject("site");
    SaveAs(longest, site);
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(ProjectFile(longest), ExpectedProjectFile(longest, site));
    EXPECT_EQ(ListedProjects(), std::vector<std::string>{longest});
    SaveAs(longest, site);
    EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{ModifyBox});
    Start();
    EXPECT_EQ(ListedProjects(), std::vector<std::string>{longest});
    ClickProject(0);
    EXPECT_EQ(Shown(), site);
    EXPECT_EQ(SubmitMain->Session_Name->Text(), longest);
}

TEST_F(ProjectPage, SavingAnExistingNameAsksAndYesRewritesEveryKey)
{
    TPage site = SampleProject("site");
    SaveAs("Site", site);
    const std::string saved = ProjectFile("Site");
    const std::string list = folder.Read("data/session/session.zro");

    site["title"] = "New Title";
    site["Address2"] = "";
    Type(site);
    boxes.Answers = {IDNO};
    SubmitMain->SiteAdd->Click();
    EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{ModifyBox});
    EXPECT_EQ(ProjectFile("Site"), saved);

    boxes.Boxes.clear();
    boxes.Answers = {IDYES};
    PressSaveProject();
    EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{ModifyBox});
    EXPECT_EQ(ProjectFile("Site"), ExpectedProjectFile("Site", site));
    EXPECT_EQ(folder.Read("data/session/session.zro"), list);
    EXPECT_EQ(ListedProjects(), std::vector<std::string>{"Site"});

    // The name is compared exactly: another case is another project.
    boxes.Boxes.clear();
    Type("Session_Name", "site");
    SubmitMain->SiteAdd->Click();
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(ListedProjects(), (std::vector<std::string>{"Site", "site"}));
}

TEST_F(ProjectPage, DeletingSelectsTheNextProjectAndLoadsIt)
{
    for (const char* p : {"A", "B", "C"})
        SaveAs(p, SampleProject(p));
    SubmitMain->SesList->SetItemIndex(-1);
    SubmitMain->SiteDel->Click();
    EXPECT_EQ(boxes.Boxes, (std::vector<MessageBoxCall>{
                               {"You have not selected an item to Delete", "No Item", MB_OK | MB_ICONEXCLAMATION}}));
    EXPECT_EQ(ListedProjects().size(), 3u);

    // The last line: the one before it is selected and loaded.
    boxes.Boxes.clear();
    ClickProject(2);
    SubmitMain->TabbedNotebook1->SetPageIndex(pgAbout);
    SubmitMain->SiteDel->Click();
    EXPECT_EQ(ListedProjects(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(SubmitMain->SesList->ItemIndex(), 1);
    EXPECT_EQ(Shown(), SampleProject("B"));
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "B");
    EXPECT_EQ(ProjectCount(), "2");
    EXPECT_EQ(SubmitMain->TabbedNotebook1->PageIndex(), pgProjects);
    EXPECT_EQ(SessionFiles(), (std::vector<std::string>{"A.zro", "B.zro", "session.zro"}));
    EXPECT_EQ(folder.Read("data/session/session.zro"), "[Session]\r\nCount=1\r\n\r\n[List]\r\n0=A\r\n1=B\r\n");

    // A project whose file is already gone still leaves the list.
    folder.Remove("data/session/A.zro");
    ClickProject(0);
    SubmitMain->SiteDel->Click();
    EXPECT_EQ(ListedProjects(), std::vector<std::string>{"B"});
    EXPECT_EQ(SubmitMain->SesList->ItemIndex(), 0);
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "B");

    // The only line: the site fields are empty and nothing is listed.
    SubmitMain->SiteDel->Click();
    EXPECT_TRUE(ListedProjects().empty());
    EXPECT_EQ(ProjectCount(), "0");
    for (const char* emptied : {"Session_Name", "urllist", "title", "Description", "Key1"})
        EXPECT_EQ(Field(emptied).Text(), "") << emptied;
    EXPECT_EQ(SessionFiles(), std::vector<std::string>{"session.zro"});
    // Count keeps the last index written; nothing reads it.
    EXPECT_EQ(folder.Read("data/session/session.zro"), "[Session]\r\nCount=0\r\n\r\n");
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_TRUE(boxes.Errors.empty());
}

TEST_F(ProjectPage, NewFromTheButtonKeepsTheOwnerAndFromTheMenuClearsAll)
{
    const TPage site = SampleProject("site");
    Type(site);
    Type("Session_Name", "Site");
    PressNewProject();
    TPage partly = site;
    for (const char* emptied : {"urllist", "title", "Description", "Key1"})
        partly[emptied] = "";
    EXPECT_EQ(Shown(), partly);
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "");

    SubmitMain->TabbedNotebook1->SetPageIndex(pgAbout);
    SubmitMain->PageControl1->SetActivePage(SubmitMain->TabSheet6);
    SubmitMain->SiteClear->Click();
    TPage empty;
    for (const TFieldKey& f : Fields)
        empty[f.control] = "";
    EXPECT_EQ(Shown(), empty);
    EXPECT_EQ(SubmitMain->TabbedNotebook1->PageIndex(), pgProjects);
    EXPECT_EQ(SubmitMain->PageControl1->ActivePage(), SubmitMain->TabSheet1);
}

TEST_F(ProjectPage, LengthCountersTurnRedAboveTheirLimit)
{
    struct TCase {
        const char* field;
        std::string text;
        const char* counter;
        const char* shown;
        bool red;
    };
    const TCase cases[] = {
        {"title", std::string(60, 't'), "CLED2", "60", false},
        {"title", std::string(61, 't'), "CLED2", "61", true},
        {"Description", std::string(250, 'd'), "CLED3", "250", false},
        {"Description", std::string(251, 'd'), "CLED3", "251", true},
        {"Key1", "a,b,c,d", "CLED4", "4", false},
        {"Key1", "a,b,,d", "CLED4", "4", false},
        {"Key1", "", "CLED4", "0", false},
        {"Key1", std::string(250, ','), "CLED4", "251", true},
        {"TitleImp", std::string(61, 't'), "CLED2Imp", "61", true},
        {"DescriptionImp", "short", "CLED3Imp", "5", false},
        {"DescriptionImp", std::string(251, 'd'), "CLED3Imp", "251", true},
        {"Key1Imp", "x, y", "CLED4Imp", "2", false},
        {"Key1Imp", std::string(250, ','), "CLED4Imp", "251", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " " + c.shown);
        Type(c.field, "seed");  // a change every time, also to the same length
        Type(c.field, c.text);
        auto* led = dynamic_cast<TLedLabel*>(SubmitMain->FindComponent(c.counter));
        ASSERT_NE(led, nullptr);
        EXPECT_EQ(led->Text(), c.shown);
        EXPECT_EQ(led->SegmentBorderColor(), c.red ? clRed : clAqua);
        EXPECT_EQ(led->OffColor(), clMaroon);
        // The digits are drawn as lines, so that the border colour is what shows.
        EXPECT_EQ(ShownColours(*led), (std::set<TColor>{c.red ? clRed : clAqua, clMaroon}));
    }
}

TEST_F(ProjectPage, FieldsAreMirroredOnTheOtherPages)
{
    Type("title", "Site Title");
    Type("Description", "Site description");
    Type("Key1", "one,two");
    Type("name", "Ann");
    Type("LastN", "Lee");
    Type("Company", "Ex Co");
    Type("urllist", "http://www.example.com/");
    const std::pair<const char*, const char*> mirrors[] = {
        {"TitleMet", "Site Title"},  {"DescriptionMet", "Site description"}, {"Key1Met", "one,two"},
        {"Author", "Ann Lee"},       {"CopyRight", "Ex Co"},                  {"UrlImp", "http://www.example.com/"},
        {"RankUrl", "http://www.example.com/"},
    };
    for (const auto& [mirror, text] : mirrors)
        EXPECT_EQ(Field(mirror).Text(), text) << mirror;
}

// --- imports -------------------------------------------------------------------------------------

class ProjectImportPage : public ProjectPage {
protected:
    // The file dialog answers with this file, or is cancelled when it is empty.
    TSubmitMain::TFileImport ImportFile(const std::string& path)
    {
        FileDialogHook() = [path](TOpenDialog& dialog) {
            dialog.FileName = path;
            return !path.empty();
        };
        SubmitMain->PageControl1->SetActivePage(SubmitMain->TabSheet6);
        CodePageString chosen;
        return SubmitMain->ImportFromFile(chosen);
    }
    TempDir files{"imports"};
};

TEST_F(ProjectImportPage, ProjectFileOfThisProgramFillsThePage)
{
    const std::string path = files.Write("old.zro",
                                         "[Old Site]\r\n"
                                         "url=http://old.example/\r\ncatagory=Business\r\ntitle=Old Title\r\n"
                                         "description=Old description\r\nemail=old@example\r\nname=Bo\r\n"
                                         "last=Ek\r\ncompany=Old Co\r\naddress1=A1\r\naddress2=A2\r\n"
                                         "country=SE\r\ncity=Lund\r\nstate=Sk\r\nphone=P\r\nfax=F\r\nzip=22\r\n"
                                         "key1=\r\nkey2=alpha\r\nkey3=\r\nkey4=beta\r\n"
                                         "[Second]\r\nurl=http://not.this/\r\n");
    EXPECT_EQ(ImportFile(path), TSubmitMain::TFileImport::Project);
    const TPage expected = {
        {"urllist", "http://old.example/"}, {"catagory", "Business"},    {"title", "Old Title"},
        {"Description", "Old description"}, {"email", "old@example"},    {"name", "Bo"},
        {"LastN", "Ek"},                    {"Company", "Old Co"},       {"Address1", "A1"},
        {"Address2", "A2"},                 {"Country", "SE"},           {"City", "Lund"},
        {"State", "Sk"},                    {"Phone", "P"},              {"Fax", "F"},
        {"Zip", "22"},                      {"Key1", ", alpha, beta"},
    };
    EXPECT_EQ(Shown(), expected);
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "Old Site");
    EXPECT_EQ(SubmitMain->PageControl1->ActivePage(), SubmitMain->TabSheet1);
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_TRUE(ListedProjects().empty());  // nothing is saved

    // A section name that can't be a project name is refused; the fields still come.
    const std::string unsafe = files.Write("unsafe.zro", "[../../evil]\r\ntitle=Evil\r\n");
    EXPECT_EQ(ImportFile(unsafe), TSubmitMain::TFileImport::Project);
    EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{UnsafeNameBox});
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "");
    EXPECT_EQ(SubmitMain->title->Text(), "Evil");

    // Without a section the import ends in the error box and changes nothing.
    const TPage before = Shown();
    const std::string empty = files.Write("empty.zro", "no section here\r\n");
    EXPECT_EQ(ImportFile(empty), TSubmitMain::TFileImport::Project);
    EXPECT_EQ(boxes.Errors, std::vector<std::string>{"List index out of bounds (0)"});
    EXPECT_EQ(Shown(), before);
}

TEST_F(ProjectImportPage, SavFileFillsThePageAndIsNamedAfterTheHost)
{
    SaveAs("example", SampleProject("x"));
    SaveAs("MyEXAMPLE1", SampleProject("y"));
    TPage typed = SampleProject("typed");
    typed["catagory"] = "Travel";
    Type(typed);

    const std::string sav = "ignored line\r\n"
                            "[MAILTO]\r\nann@example.com\r\n"
                            "[DESCRIP]\r\n" +
                            std::string(300, 'd') +
                            "\r\n"
                            "[url]\r\nhttp://www.exam\r\nple.com/index.htm\r\n"
                            "[KEY0]\r\none,two\r\n"
                            "[DESC]\r\nFirst title\r\n"
                            "[COMPANY]\r\nEx Co\r\n"
                            "[TOWN]\r\nTown\r\n"
                            "[Submitter]\r\nCarl Magnus Berg\r\n"
                            "[desc]\r\nSecond title\r\n";
    const std::string path = files.Write("site.sav", sav);
    EXPECT_EQ(ImportFile(path), TSubmitMain::TFileImport::Project);

    const TPage expected = {
        {"urllist", "http://www.example.com/index.htm"},
        {"catagory", "Travel"},
        {"title", "First title"},
        {"Description", std::string(255, 'd')},
        {"email", "ann@example.com"},
        {"name", "Carl"},
        {"LastN", "Berg"},
        {"Company", "Ex Co"},
        {"Address1", ""},
        {"Address2", ""},
        {"Country", ""},
        {"City", "Town"},
        {"State", ""},
        {"Phone", ""},
        {"Fax", ""},
        {"Zip", ""},
        {"Key1", "one,two"},
    };
    EXPECT_EQ(Shown(), expected);
    // "example" and "example1" (inside "MyEXAMPLE1") are taken.
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "example2");
    EXPECT_EQ(SubmitMain->PageControl1->ActivePage(), SubmitMain->TabSheet1);
    EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{SelectCategoryBox});
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), sav);
    EXPECT_EQ(ListedProjects().size(), 2u);
}

TEST_F(ProjectImportPage, SavHostThatCanNotBeANameIsRefused)
{
    const std::string path = files.Write("odd.sav", "[URL]\r\nhttp://we\x01ird.example/\r\n[Submitter]\r\nAnn\r\n");
    EXPECT_EQ(ImportFile(path), TSubmitMain::TFileImport::Project);
    EXPECT_EQ(boxes.Boxes, (std::vector<MessageBoxCall>{UnsafeNameBox, SelectCategoryBox}));
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "");
    EXPECT_EQ(SubmitMain->name->Text(), "Ann");

    // A missing file imports as an empty one: the names stay, the rest empties.
    boxes.Boxes.clear();
    Type("LastN", "Lee");
    EXPECT_EQ(ImportFile(files.File("gone.sav")), TSubmitMain::TFileImport::Project);
    EXPECT_EQ(SubmitMain->urllist->Text(), "");
    EXPECT_EQ(SubmitMain->name->Text(), "Ann");
    EXPECT_EQ(SubmitMain->LastN->Text(), "Lee");
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "");
    EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{SelectCategoryBox});
}

TEST_F(ProjectImportPage, OtherFilesAreLeftToThePageImport)
{
    const TPage before = Shown();
    EXPECT_EQ(ImportFile(""), TSubmitMain::TFileImport::Cancelled);
    const std::string page = files.Write("page.htm", "<title>x</title>");
    CodePageString chosen;
    FileDialogHook() = [page](TOpenDialog& dialog) {
        dialog.FileName = page;
        return true;
    };
    EXPECT_EQ(SubmitMain->ImportFromFile(chosen), TSubmitMain::TFileImport::Page);
    EXPECT_EQ(chosen, page);
    EXPECT_EQ(Shown(), before);
    EXPECT_TRUE(boxes.Boxes.empty());
}

}  // namespace

namespace {

// A category that is not one of the list's items (an older file, an import)
// is shown and saved back as it is.
TEST_F(ProjectPage, ACategoryOutsideTheListIsKept)
{
    TPage page = SampleProject("garden");
    page["catagory"] = "Gardening";
    SaveAs("Garden", page);
    EXPECT_EQ(ProjectFile("Garden"), ExpectedProjectFile("Garden", page));

    Start();
    ClickProject(0);
    EXPECT_EQ(Shown(), page);
}

}  // namespace
