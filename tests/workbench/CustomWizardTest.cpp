// The custom engine wizard through its real form: a submit page fetched from
// a loopback site, the question answered, the engine in the custom engine
// file, the list and a submission run; deleting it; the refusals and the
// failed, stopped and refused fetches.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <filesystem>

#include "SubmitRunFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/Forms.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/StatusBar.h"
#include "classlib/Timer.h"
#include "support/ControlWindows.h"
#include "support/SocketWitness.h"
#include "workbench/CustomDatabase.h"
#include "workbench/EngineData.h"
#include "workbench/FormAnalysis.h"
#include "workbench/LiveResult.h"

namespace {

// A site's submit page: a search form, then the submission form with a
// hidden field, a fixed-category list and a submit button named url.
const char* const SubmitPage =
    "<html><head><title>Add your link</title></head><body>\r\n"
    "<form action=\"/cgi-bin/search\" method=get><input name=q><input type=submit value=Search></form>\r\n"
    "<h2>Add URL</h2>\r\n<form action=\"add.cgi\" method=\"post\">\r\n"
    "<input type=\"hidden\" name=\"mode\" value=\"add url\">\r\n"
    "Title: <input type=text name=title size=40><br>\r\nURL: <input type=text name=url value=\"http://\"><br>\r\n"
    "E-mail: <input type=text name=email><br>\r\n<textarea name=description rows=4 cols=40></textarea>\r\n"
    "<select name=section><option>Business<option>Other</select>\r\n"
    "<input type=submit name=url value=\"Add my site\"></form>\r\n</body></html>\r\n";

CodePageString StatusText()
{
    return CustomDatabase->StatusBar1->Panels()->Items(0)->Text();
}

bool Idle()
{
    return CustomDatabase->ImportState() == TCustomDatabase::TImportState::Idle;
}

// A record line holding only the given fields: no type, method or title and
// URL fields unless they are among them.
std::string RecordLine(const std::string& name, const std::vector<std::pair<int, std::string>>& fields)
{
    TestEngine engine;
    engine.name = name;
    engine.type.clear();
    engine.method.clear();
    engine.fields = fields;
    return engine.Record();
}

class CustomWizard : public SubmitRunFixture {
protected:
    // Imports the page at path as a search engine; the message boxes answer
    // in turn (SubmitPage asks after telling of its search form).
    void Import(const HttpTestServer& site, const std::string& path, std::deque<int> answers = {IDOK, IDYES})
    {
        boxes.Answers = std::move(answers);
        CustomDatabase->SearchCk->SetChecked(true);
        CustomDatabase->CustomUrl->SetText(site.Url(path));
        CustomDatabase->Button1->Click();
    }
};

}  // namespace

TEST_F(CustomWizard, LearnsAnEngineThatARunThenSubmitsTo)
{
    HttpTestServer site;
    site.Script("/links/submit.html", HttpTestReply::Ok(SubmitPage));
    site.Script("/links/add.cgi", HttpTestReply::Ok("Thank you"));
    Start({TestEngine::Get("127 Directory", site.Url("/dir"))}, 10, 40);
    TCustomDatabase& wizard = *CustomDatabase;

    SubmitMain->EngineDatabase1->Click();
    EXPECT_TRUE(wizard.Visible());
    EXPECT_FALSE(SubmitMain->Visible());  // the wizard stands in for the main window

    Import(site, "/links/submit.html");
    EXPECT_FALSE(wizard.Button1->Enabled());
    EXPECT_TRUE(wizard.Button2->Enabled());
    EXPECT_EQ(SubmitMain->Hint.Target(), TFlashTarget::WizardImport);
    EXPECT_TRUE(SubmitMain->Timer1->Enabled());
    ASSERT_TRUE(RunUntil([] { return Idle(); }, 10000));

    // The search form is told about once, then the submission form is offered.
    ASSERT_EQ(boxes.Boxes.size(), 2u);
    EXPECT_EQ(boxes.Boxes[0], (MessageBoxCall{"The Engine Did Did Not Meet The Requirements.", "Engine Failed",
                                              MB_OK | MB_ICONEXCLAMATION}));
    EXPECT_EQ(boxes.Boxes[1],
              (MessageBoxCall{"This Engine Meets The Requirements .\r\nDo You Want To Add it To Your Database  ?",
                              "Add To Database", MB_YESNO | MB_ICONQUESTION}));
    EXPECT_EQ(StatusText(), "Done");
    EXPECT_TRUE(wizard.Button1->Enabled());
    EXPECT_FALSE(wizard.Button2->Enabled());
    EXPECT_FALSE(SubmitMain->Timer1->Enabled());

    // "127" is part of a database engine's name, so the new one is "1271".
    const std::string record = RecordLine("1271", {{efType, "Custom->Engine"},
                                                   {efSubmitPage, site.Url("/links/submit.html")},
                                                   {efFormAction, site.Url("/links/add.cgi")},
                                                   {efTitle, "title"},
                                                   {efUrl, "url"},
                                                   {efEmail, "email"},
                                                   {efDescription, "description"},
                                                   {efExtra, "&mode=add+url&section=Business"},
                                                   {efMethod, "POST"}});
    EXPECT_EQ(EngineFileLines(folder.File("data/datac.czc")), std::vector<std::string>{record});
    EXPECT_GE(SubmitMain->EngineList->IndexOf(record), 0);
    EXPECT_EQ(wizard.KeyList->Items()->IndexOf("1271"), 0);
    TListItem* row = RowOf("1271");
    ASSERT_NE(row, nullptr);
    EXPECT_FALSE(row->Checked());
    EXPECT_EQ(row->SubItems()->Strings(0), site.Url("/links/submit.html"));
    EXPECT_EQ(row->SubItems()->Strings(3), "Custom->Engine");

    // Checked through its type boxes, the run posts to it as its form asks.
    wizard.Button3->Click();
    EXPECT_TRUE(SubmitMain->Visible());
    AddProject(ShopProject(), true);
    SubmitMain->BitCheckBox4->Click();
    SubmitMain->CustomCk->Click();
    ASSERT_TRUE(row->Checked());
    site.ClearRequests();
    PressSubmit();
    ASSERT_TRUE(RunUntil([&] { return HasBox("Submission Complete"); }, 10000));
    std::vector<HttpTestRequest> sent;
    for (const HttpTestRequest& request : site.Requests())
        if (request.target == "/links/add.cgi")
            sent.push_back(request);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].method, "POST");
    EXPECT_EQ(sent[0].Header("Referer"), site.Url("/links/submit.html"));
    // The project's values go encoded; the hidden values as the record stores them.
    EXPECT_EQ(sent[0].body, "title=Tom+%26+Jerry%27s+100%25+shop&url=http%3A%2F%2Fshop.example.com%2F%3Fa%3D1%26b%3D2"
                            "&email=tom%2Bshop%40example.com&description=Fine+goods&mode=add+url&section=Business");
}

// A name with blanks is stored with "+" in the list, the row and the file,
// so that it survives a restart and deletes; the record is read back whole.
TEST_F(CustomWizard, WritesLoadsAndDeletesARecordFromItsFields)
{
    HttpTestServer site;
    Start({TestEngine::Get("Alpha", site.Url("/a"))}, 10, 40);
    const std::string databaseBytes = folder.Read("data/data.czc");
    TCustomDatabase& wizard = *CustomDatabase;
    wizard.Session_Name->SetText("My Links");
    wizard.urllist->SetText("http://links.example.com/add.html");
    wizard.cgiurl->SetText("http://links.example.com/cgi/add");
    wizard.url->SetText("url");
    wizard.Key1->SetText("keys");
    wizard.Country->SetText("country");
    wizard.method->SetText("POST");
    // Two boxes set through code: the search engine type wins over FFA.
    wizard.FFACK->SetChecked(true);
    wizard.SearchCk->SetChecked(true);
    wizard.Button5->Click();

    const std::string line = RecordLine("My+Links", {{efType, "Custom->Engine"},
                                                     {efSubmitPage, "http://links.example.com/add.html"},
                                                     {efFormAction, "http://links.example.com/cgi/add"},
                                                     {efUrl, "url"},
                                                     {efMethod, "POST"},
                                                     {efKeywords, "keys"},
                                                     {efCountry, "country"}});
    EXPECT_EQ(EngineFileLines(folder.File("data/datac.czc")), std::vector<std::string>{line});
    EXPECT_NE(RowOf("My+Links"), nullptr);
    EXPECT_EQ(wizard.KeyList->Items()->Strings(0), "My+Links");

    // Writing it again replaces it.
    wizard.Key1->SetText("other keys");
    wizard.Button5->Click();
    ASSERT_EQ(EngineFileLines(folder.File("data/datac.czc")).size(), 1u);
    EXPECT_EQ(wizard.KeyList->Items()->Count(), 1);
    // So does a name that differs only in letter case: record, row and name
    // all take the new spelling, and no row is left pointing at nothing.
    const int rows = SubmitMain->ExListView2->Items()->Count();
    for (const char* spelling : {"MY LINKS", "My Links"}) {
        wizard.Session_Name->SetText(spelling);
        wizard.Button5->Click();
        const CodePageString stored = StoredEngineName(spelling);
        const std::vector<std::string> lines = EngineFileLines(folder.File("data/datac.czc"));
        ASSERT_EQ(lines.size(), 1u) << spelling;
        EXPECT_EQ(lines[0].substr(0, stored.size() + 1), stored + "=") << spelling;
        EXPECT_EQ(SubmitMain->ExListView2->Items()->Count(), rows) << spelling;
        EXPECT_NE(RowOf(stored), nullptr) << spelling;
        ASSERT_EQ(wizard.KeyList->Items()->Count(), 1) << spelling;
        EXPECT_EQ(wizard.KeyList->Items()->Strings(0), stored) << spelling;
    }

    program.reset();
    program = std::make_unique<TRunningProgram>(folder);
    TCustomDatabase& again = *CustomDatabase;
    ASSERT_EQ(again.KeyList->Items()->Count(), 1);
    again.KeyList->SetItemIndex(0);
    again.KeyListDblClick(again.KeyList);
    EXPECT_EQ(again.Session_Name->Text(), "My+Links");
    EXPECT_EQ(again.cgiurl->Text(), "http://links.example.com/cgi/add");
    EXPECT_EQ(again.Key1->Text(), "other+keys");
    EXPECT_EQ(again.Country->Text(), "country");
    again.Button4->Click();
    EXPECT_EQ(again.Country->Text(), "");
    EXPECT_EQ(again.method->Text(), "");

    // The main window's Delete Engine hands it to the wizard: it leaves the
    // list, the row, KeyList and the file, and nothing else changes.
    const int before = SubmitMain->EngineList->Count();
    SubmitMain->AutoSubmitEngines1Click(nullptr);
    SubmitMain->ExListView2->SetSelected(RowOf("My+Links"));
    SubmitMain->DeleteEngine1->Click();
    EXPECT_EQ(RowOf("My+Links"), nullptr);
    EXPECT_NE(RowOf("Alpha"), nullptr);
    EXPECT_EQ(SubmitMain->EngineList->Count(), before - 1);
    EXPECT_EQ(SubmitMain->EngineList->IndexOfName("My+Links"), -1);
    EXPECT_EQ(again.KeyList->Items()->Count(), 0);
    EXPECT_EQ(again.KeyList->ItemIndex(), -1);
    EXPECT_TRUE(EngineFileLines(folder.File("data/datac.czc")).empty());
    EXPECT_EQ(folder.Read("data/data.czc"), databaseBytes);
    EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(CustomWizard, ImportRefusesWhatItCannotUse)
{
    HttpTestServer site;
    Start({TestEngine::Get("Alpha", "http://Links.Example.com/cgi/ADD")}, 10, 40);
    TCustomDatabase& wizard = *CustomDatabase;
    struct Case {
        const char* url;
        bool typed;
        MessageBoxCall box;
    };
    const Case cases[] = {
        {"http://", true, {"Invalid Url.", "Invalid Url", MB_OK | MB_ICONEXCLAMATION}},
        {"", true, {"Invalid Url.", "Invalid Url", MB_OK | MB_ICONEXCLAMATION}},
        {"http://a.example.com/x|y", true, {"Invalid Url.", "Invalid Url", MB_OK | MB_ICONEXCLAMATION}},
        {"http://a.example.com/", false,
         {"You forgot to select an engine type.", "No engine type selected", MB_OK | MB_ICONEXCLAMATION}},
        {"http://links.example.com/cgi/add", true,
         {"This Engine already exists in the database.", "Already Exists", MB_OK | MB_ICONEXCLAMATION}},
    };
    for (const Case& c : cases) {
        boxes.Boxes.clear();
        wizard.SearchCk->SetChecked(c.typed);
        wizard.CustomUrl->SetText(c.url);
        wizard.Button1->Click();
        EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{c.box}) << c.url;
        EXPECT_TRUE(wizard.Button1->Enabled()) << c.url;
        EXPECT_EQ(SubmitMain->Hint.Target(), TFlashTarget::None) << c.url;
    }
    EXPECT_EQ(site.RequestCount(), 0u);

    // The type boxes keep to one.
    wizard.SearchCk->SetChecked(false);
    wizard.SearchCk->Click();
    wizard.FFACK->Click();
    EXPECT_FALSE(wizard.SearchCk->Checked());
    EXPECT_TRUE(wizard.FFACK->Checked());
}

// A fetch that fails is told and not analysed; one stopped halfway is not
// analysed either.
TEST_F(CustomWizard, FailedAndStoppedFetchesOfferNothing)
{
    HttpTestServer site;
    site.Script("/gone.html", HttpTestReply::Status("HTTP/1.0 404 Not Found", SubmitPage));
    HttpTestReply reset;
    reset.ending = HttpTestReply::Ending::ResetNoReply;
    site.Script("/reset.html", reset);
    HttpTestReply half = HttpTestReply::Ok(SubmitPage);
    half.cutAfter = std::string(SubmitPage).find("<select");
    half.ending = HttpTestReply::Ending::Hold;
    site.Script("/half.html", half);
    Start({}, 10, 40);
    TCustomDatabase& wizard = *CustomDatabase;

    for (const char* path : {"/gone.html", "/reset.html"}) {
        boxes.Boxes.clear();
        Import(site, path);
        ASSERT_TRUE(RunUntil([] { return Idle(); }, 10000)) << path;
        ASSERT_EQ(boxes.Boxes.size(), 1u) << path;
        EXPECT_EQ(boxes.Boxes[0].caption, "Import Failed") << path;
        EXPECT_EQ(boxes.Boxes[0].text.rfind("The page could not be fetched: 404 ", 0), 0u) << boxes.Boxes[0].text;
        EXPECT_EQ(StatusText(), "Failed");
        EXPECT_TRUE(wizard.Button1->Enabled());
    }

    boxes.Boxes.clear();
    Import(site, "/half.html");
    ASSERT_TRUE(RunUntil([] { return StatusText().rfind("Loading: ", 0) == 0; }, 10000));
    wizard.Button2->Click();
    ASSERT_TRUE(RunUntil([] { return Idle(); }, 10000));
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(StatusText(), "Stopped");
    EXPECT_TRUE(wizard.Button1->Enabled());
    EXPECT_FALSE(wizard.Button2->Enabled());
    EXPECT_FALSE(SubmitMain->Timer1->Enabled());
    EXPECT_EQ(wizard.KeyList->Items()->Count(), 0);
    EXPECT_TRUE(EngineFileLines(folder.File("data/datac.czc")).empty());
}

// A client that is still busy raises at the start: the buttons and the
// flashing hint stay as they were.
TEST_F(CustomWizard, AFetchThatCannotStartLeavesTheWindowAsItWas)
{
    HttpTestServer site;
    site.SetDefault(HeldReply());
    Start({}, 10, 40);
    TCustomDatabase& wizard = *CustomDatabase;
    wizard.Http1->URL = site.Url("/busy");
    wizard.Http1->GetAsync();
    ASSERT_TRUE(RunUntil([&] { return site.InFlight() == 1; }, 10000));
    SubmitMain->Hint.Show(TFlashTarget::SubmitButton);
    SubmitMain->Timer1->SetEnabled(true);

    wizard.SearchCk->Click();
    wizard.CustomUrl->SetText(site.Url("/links/submit.html"));
    wizard.Button1->Click();
    EXPECT_EQ(StatusText(), "Http Error!!");
    EXPECT_TRUE(wizard.Button1->Enabled());
    EXPECT_FALSE(wizard.Button2->Enabled());
    EXPECT_EQ(SubmitMain->Hint.Target(), TFlashTarget::SubmitButton);
    EXPECT_TRUE(SubmitMain->Timer1->Enabled());
    EXPECT_TRUE(Idle());

    // The busy request's end is not the wizard's.
    wizard.Http1->Abort();
    ASSERT_TRUE(SocketWitness().Await());  // past what the aborted connection still told
    EXPECT_EQ(StatusText(), "Http Error!!");
    EXPECT_TRUE(boxes.Boxes.empty());
}

// A custom engine file that could not be read at start is never rewritten
// from the lists, which lack its records; the engine is not added at all.
TEST(CustomWizardFile, AnUnreadFileIsNotRewritten)
{
    TInstallFolder folder;
    folder.Remove("data/datac.czc");
    TBoxRecorder boxes;
    TRunningProgram program(folder);
    ASSERT_FALSE(SubmitMain->Engines.CustomFileLoaded);
    const int rows = SubmitMain->ExListView2->Items()->Count();
    boxes.Boxes.clear();

    CustomDatabase->Session_Name->SetText("Mine");
    CustomDatabase->SearchCk->SetChecked(true);
    CustomDatabase->Button5->Click();
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].caption, "Engine File Not Loaded");
    EXPECT_NE(boxes.Boxes[0].text.find("the engine was not added"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder.File("data/datac.czc")));
    EXPECT_EQ(SubmitMain->ExListView2->Items()->Count(), rows);
    EXPECT_EQ(CustomDatabase->KeyList->Items()->Count(), 0);
}

TEST_F(CustomWizard, ScreenshotAfterAnAnalysis)
{
    HttpTestServer site;
    site.Script("/links/submit.html", HttpTestReply::Ok(SubmitPage));
    Start({}, 10, 40);
    CustomDatabase->Show();
    Import(site, "/links/submit.html");
    ASSERT_TRUE(RunUntil([] { return Idle(); }, 10000));
    CustomDatabase->KeyList->SetItemIndex(0);
    const char* dir = std::getenv("TENVAREL_SCREENSHOT_DIR");
    const std::filesystem::path path =
        std::filesystem::path(dir && *dir ? dir : TENVAREL_BUILD_DIR "/screenshots") / "custom-wizard.png";
    std::filesystem::create_directories(path.parent_path());
    EXPECT_TRUE(SaveFormScreenshot(CustomDatabase, path.string()));
}

// Pages that would hold the window: one that never ends is cut at a size no
// submit page has and not analysed; one with endless forms asks about its
// first twenty only, since each question holds the window until answered.
TEST_F(CustomWizard, PagesThatWouldHoldTheWindow)
{
    HttpTestServer site;
    site.Script("/huge.html", HttpTestReply::Ok(std::string(SubmitPage) + std::string(9 << 20, ' ')));
    std::string forms;
    for (int i = 0; i < 25; ++i)
        forms += "<form action=add" + std::to_string(i) + ".cgi method=post><input name=url>"
                 "<select name=section><option>Business</select></form>\r\n";
    site.Script("/forms.html", HttpTestReply::Ok(forms));
    Start({}, 10, 40);

    Import(site, "/huge.html", {});
    ASSERT_TRUE(RunUntil([] { return Idle(); }, 20000));
    const MessageBoxCall tooLarge{"The page is larger than a submit page (8 MB); it was not analysed.",
                                  "Import Failed", MB_OK | MB_ICONEXCLAMATION};
    EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{tooLarge});
    EXPECT_EQ(StatusText(), "Failed");
    EXPECT_TRUE(CustomDatabase->Button1->Enabled());

    boxes.Boxes.clear();
    Import(site, "/forms.html", std::deque<int>(25, IDNO));
    ASSERT_TRUE(RunUntil([] { return Idle(); }, 20000));
    ASSERT_EQ(boxes.Boxes.size(), 20u);
    for (const MessageBoxCall& box : boxes.Boxes)
        EXPECT_EQ(box.caption, "Add To Database");
    EXPECT_EQ(StatusText(), "Done: only the first 20 forms of the page were read");
    EXPECT_EQ(CustomDatabase->KeyList->Items()->Count(), 0);
}

// Stop while a long form is being read: the scan ends there, no question
// comes and nothing is stored.
TEST_F(CustomWizard, StopDuringTheAnalysisAsksNothing)
{
    HttpTestServer site;
    std::string page = "<form action=add.cgi method=post><input name=url>";
    for (int i = 0; i < 20000; ++i)
        page += "<b>x</b>";
    page += "<select name=section><option>Business</select></form>";
    site.Script("/long.html", HttpTestReply::Ok(page));
    Start({}, 10, 40);
    // Stop is pressed as soon as the analysis has begun: the scan lets the
    // window answer now and then, which runs this timer.
    QTimer stopper;
    stopper.setInterval(0);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (CustomDatabase->ImportState() == TCustomDatabase::TImportState::Analysing &&
            CustomDatabase->Button2->Enabled())
            CustomDatabase->Button2->Click();
    });
    stopper.start();
    Import(site, "/long.html", {IDYES});
    ASSERT_TRUE(RunUntil([] { return Idle() && StatusText() != "Loading"; }, 20000));
    stopper.stop();
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(StatusText(), "Stopped");
    EXPECT_EQ(CustomDatabase->KeyList->Items()->Count(), 0);
    EXPECT_TRUE(EngineFileLines(folder.File("data/datac.czc")).empty());
}

// NULs, control bytes, bars and line breaks in what the page names: the
// record keeps its 38 fields, and reads back whole after a restart.
TEST_F(CustomWizard, ControlBytesAndBarsFromThePageNeverShiftTheRecord)
{
    HttpTestServer site;
    const std::string page = std::string("<form action=\"add\x01.cgi\" method=post>\0<input name=\"url\0x\">\x7f", 58) +
                             "<input type=hidden name=\"a\x02|b\" value=\"c\r\nd|e\x1b\">" +
                             "<input name=\"email|x\"><textarea name=\"title\r\n\"></textarea>" +
                             "<select name=section><option>Other</select></form>";
    site.Script("/odd.html", HttpTestReply::Ok(page));
    Start({}, 10, 40);
    Import(site, "/odd.html", {IDYES});
    ASSERT_TRUE(RunUntil([] { return Idle(); }, 10000));
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].caption, "Add To Database");

    const std::vector<std::string> lines = EngineFileLines(folder.File("data/datac.czc"));
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0];
    EXPECT_EQ(std::count(line.begin(), line.end(), '|'), 38) << line;
    const TEngineFields fields = EngineFieldsOf(line.substr(line.find('=') + 1));
    EXPECT_EQ(fields[efFormAction], site.Url("/add%01.cgi"));
    EXPECT_EQ(fields[efExtra], "&a%02%7Cb=cd%7Ce%1B&section=Other");
    EXPECT_EQ(fields[efEmail], "");  // a name holding a bar is refused
    EXPECT_EQ(fields[efMethod], "POST");

    program.reset();
    program = std::make_unique<TRunningProgram>(folder);
    ASSERT_EQ(CustomDatabase->KeyList->Items()->Count(), 1);
    EXPECT_EQ(EngineFileLines(folder.File("data/datac.czc")), lines);
    EXPECT_GE(SubmitMain->EngineList->IndexOf(line), 0);
}

TEST_F(CustomWizard, DeleteSelectsTheNextEngineAndNeedsASelection)
{
    Start({}, 10, 40);
    TCustomDatabase& wizard = *CustomDatabase;
    wizard.SearchCk->SetChecked(true);
    for (const char* engine : {"One", "Two", "Three"}) {
        wizard.Session_Name->SetText(engine);
        wizard.Button5->Click();
    }
    ASSERT_EQ(wizard.KeyList->Items()->Count(), 3);
    wizard.KeyList->SetItemIndex(-1);
    wizard.Delete1->Click();
    const MessageBoxCall noItem{"You have not selected an item to Delete", "No Item", MB_OK | MB_ICONEXCLAMATION};
    EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{noItem});
    EXPECT_EQ(wizard.KeyList->Items()->Count(), 3);

    // The last one: the one before it is selected; another: the one after it.
    wizard.KeyList->SetItemIndex(2);
    wizard.Delete1->Click();
    EXPECT_EQ(wizard.KeyList->ItemIndex(), 1);
    wizard.KeyList->SetItemIndex(0);
    wizard.Delete1->Click();
    EXPECT_EQ(wizard.KeyList->ItemIndex(), 0);
    EXPECT_EQ(wizard.KeyList->Items()->Strings(0), "Two");
    EXPECT_EQ(EngineFileLines(folder.File("data/datac.czc")).size(), 1u);
}

// Assistive technology finds every control of the wizard by its component
// name, the type boxes' state and the status text.
TEST_F(CustomWizard, EveryControlTellsItsNameAndState)
{
    Start({}, 10, 40);
    TCustomDatabase& wizard = *CustomDatabase;
    wizard.Show();
    wizard.FFACK->SetChecked(true);
    wizard.StatusBar1->Panels()->Items(0)->SetText("Loading: 123");
    int controls = 0;
    for (int i = 0; i < wizard.ComponentCount(); ++i) {
        auto* control = dynamic_cast<TControl*>(wizard.Components(i));
        if (!control)
            continue;
        ++controls;
        QAccessibleInterface* iface = AccessibleOf(control);
        ASSERT_NE(iface, nullptr) << control->Name;
        EXPECT_EQ(iface->text(QAccessible::Description).toStdString(), control->Name);
    }
    EXPECT_GT(controls, 40);
    const auto of = AccessibleOf;
    EXPECT_TRUE(of(wizard.FFACK)->state().checkable);
    EXPECT_TRUE(of(wizard.FFACK)->state().checked);
    EXPECT_FALSE(of(wizard.SearchCk)->state().checked);
    EXPECT_EQ(of(wizard.SearchCk)->text(QAccessible::Name).toStdString(), "Search Engine");
    EXPECT_EQ(of(wizard.StatusBar1)->text(QAccessible::Name).toStdString(), "Loading: 123");
    EXPECT_EQ(of(wizard.Button1)->text(QAccessible::Name).toStdString(), "Import");
}
