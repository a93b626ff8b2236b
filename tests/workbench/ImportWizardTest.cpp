// The import wizard of the real main window: a page fetched from the
// loopback server in small pieces, each released only once the window has
// read the one before, so that every tag is split across reads; the same
// page read from a local file; project files chosen in the file dialog; a
// failed, aborted, endless or proxied fetch.
#include <algorithm>
#include <string>
#include <vector>

#include "ImportFixture.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "classlib/Timer.h"
#include "controls/Btchkbox.h"
#include "controls/ColMemo.h"
#include "controls/LedLbl.h"
#include "support/PeerScript.h"
#include "transport/HttpProt.h"
#include "workbench/ImportData.h"
#include "workbench/ProjectData.h"
#include "workbench/Spider.h"

namespace {

const std::string ShopPage =
    "<html>\r\n<head>\r\n<title>Fine Shop for Cats</title>\r\n"
    "<meta name=\"description\" content=\"Everything a cat wants, sold with care\">\r\n"
    "<META NAME=\"Keywords\" CONTENT=\"cats, mice,toys, baskets\">\r\n"
    "</head>\r\n<body><a href=\"more.htm\">more</a></body></html>\r\n";

struct TImported {
    std::string title, description, keywords;
    bool operator==(const TImported&) const = default;
};

TImported Imported()
{
    return {SubmitMain->TitleImp->Text(), SubmitMain->DescriptionImp->Text(), SubmitMain->Key1Imp->Text()};
}

void PrintTo(const TImported& i, std::ostream* os)
{
    *os << "{" << i.title << " | " << i.description << " | " << i.keywords << "}";
}

using ImportWizard = ImportFixture;

TEST_F(ImportWizard, TagsSplitAcrossReadsAreImportedExactlyAndShownOnlyWhenWhole)
{
    constexpr std::size_t Piece = 5;
    HttpTestReply reply = HttpTestReply::Ok(ShopPage);
    reply.pieceSize = Piece;
    reply.piecesOnRelease = true;
    server.Script("/shop.htm", reply);

    ImportUrl(server.Url("/shop.htm"));
    EXPECT_EQ(SubmitMain->ImportState(), TSubmitMain::TImportState::Importing);
    EXPECT_FALSE(ImportEnabled());
    EXPECT_TRUE(AbortImportEnabled());
    EXPECT_EQ(SubmitMain->Hint.Target(), TFlashTarget::ImportButton);  // the Import button flashes
    EXPECT_TRUE(SubmitMain->Timer1->Enabled());

    // After every piece, the fields hold exactly the tags whose end has arrived.
    std::string page;  // what the server has sent, line ends removed
    for (std::size_t sent = Piece;; sent += Piece) {
        const std::size_t have = std::min(sent, ShopPage.size());
        ASSERT_TRUE(RunUntil([&] { return SubmitMain->HttpMap->ReceivedBytes() >= std::int64_t(have); }))
            << "piece ending at " << have;
        page = ShopPage.substr(0, have);
        page.erase(std::remove_if(page.begin(), page.end(), [](char c) { return c == '\r' || c == '\n'; }),
                   page.end());
        const bool titleWhole = page.find("</title>") != std::string::npos;
        const bool keywordsWhole = page.find("baskets\"") != std::string::npos;
        EXPECT_EQ(SubmitMain->TitleImp->Text(), titleWhole ? "Fine Shop for Cats" : "") << page;
        EXPECT_EQ(SubmitMain->Key1Imp->Text(), keywordsWhole ? "cats, mice, toys, baskets" : "") << page;
        if (have == ShopPage.size())
            break;
        server.Release();
    }
    ASSERT_TRUE(WaitUntilIdle());

    EXPECT_EQ(Imported(), (TImported{"Fine Shop for Cats", "Everything a cat wants, sold with care",
                                     "cats, mice, toys, baskets"}));
    // The length counters follow the fields.
    EXPECT_EQ(SubmitMain->CLED2Imp->Text(), "18");
    EXPECT_EQ(SubmitMain->CLED3Imp->Text(), "38");
    EXPECT_EQ(SubmitMain->CLED4Imp->Text(), "4");
    EXPECT_EQ(SubmitMain->Label13->Caption(), "Done");
    EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{ImportCompletedBox});
    EXPECT_TRUE(ImportEnabled());
    EXPECT_FALSE(AbortImportEnabled());
    EXPECT_FALSE(SubmitMain->Timer1->Enabled());
    EXPECT_EQ(server.RequestCount(), 1u);

    // Apply takes the values over into the project and shows it.
    UserPressApplyImport();
    EXPECT_EQ(SubmitMain->title->Text(), "Fine Shop for Cats");
    EXPECT_EQ(SubmitMain->Description->Text(), "Everything a cat wants, sold with care");
    EXPECT_EQ(SubmitMain->Key1->Text(), "cats, mice, toys, baskets");
    EXPECT_EQ(SubmitMain->PageControl1->ActivePage(), SubmitMain->TabSheet1);
}

// Pages as documentation sites serve them today: in UTF-8, named by the
// reply's charset or by a META tag; a title over two lines; a description
// tag without CONTENT=. Each shows in the program's own text, and its
// length counter counts its characters.
TEST_F(ImportWizard, TodaysPagesShowInTheProgramsTextWithLineEndsAsBlanks)
{
    const struct {
        const char* what;
        std::string contentType;
        std::string page;
        TImported imported;
    } cases[] = {
        {"UTF-8 by the reply's charset", "text/html; charset=utf-8",
         "<html><head><title>re \xE2\x80\x94 Regular expression operations</title>\r\n"
         "<meta name=\"description\" content=\"Caf\xC3\xA9 cr\xC3\xA8me \xE2\x80\x94 \xE4\xB8\xAD\xE6\x96\x87\">",
         {"re \x97 Regular expression operations", "Caf\xE9 cr\xE8me \x97 ??", ""}},
        {"UTF-8 by a META tag", "text/html",
         "<!DOCTYPE html>\n\n<html lang=\"en\">\n  <head>\n    <meta charset=\"utf-8\" />\n"
         "    <title>re \xE2\x80\x94 Regular expression operations &#8212; Python 3.11.2 documentation</title>\n"
         "<meta name=\"keywords\" content=\"re, regular \xE2\x80\x9C" "expressions\xE2\x80\x9D\">",
         {"re \x97 Regular expression operations &#8212; Python 3.11.2 documentation", "",
          "re, regular \x93" "expressions\x94"}},
        {"a title over two lines", "text/html",
         "<html lang=\"en\"><head><META http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">\n"
         "<title>Apache HTTP Server Version 2.4\nDocumentation - Apache HTTP Server Version 2.4</title>\n",
         {"Apache HTTP Server Version 2.4 Documentation - Apache HTTP Server Version 2.4", "", ""}},
        {"a description tag without CONTENT=", "text/html",
         "<title>Cats</title><meta name=\"description\">\r\n<meta name=\"keywords\" content=\"cats, mice\">",
         {"Cats", "", "cats, mice"}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = "/today" + std::to_string(++n) + ".htm";
        server.Script(name, HttpTestReply::Ok(c.page, c.contentType));
        ImportUrl(server.Url(name));
        ASSERT_TRUE(WaitUntilIdle());
        EXPECT_EQ(Imported(), c.imported);
        EXPECT_EQ(SubmitMain->CLED2Imp->Text(), std::to_string(c.imported.title.size()));
        EXPECT_EQ(SubmitMain->CLED3Imp->Text(), std::to_string(c.imported.description.size()));
        if (c.contentType != "text/html")
            continue;
        // A file has no reply to name its charset: the page names it.
        folder.Write("today.htm", c.page);
        SubmitMain->FromFile->SetChecked(true);
        ChooseFile(folder.File("today.htm"));
        SubmitMain->TitleImp->SetText("");
        UserPressImport();
        ASSERT_TRUE(WaitUntilIdle());
        EXPECT_EQ(Imported(), c.imported);
        SubmitMain->FromUrl->SetChecked(true);
    }
}

// A page's texts can carry markup of their own. They come in as text, and
// as text they reach the doorway page and the meta tags made from them,
// from an import and from a crawl alike; what the user types stays as typed.
TEST_F(ImportWizard, MarkupInAnotherSitesTextsStaysTextInDoorwayPagesAndMetaTags)
{
    const std::string page =
        "<meta charset=utf-8><title><script>alert('title')</script> Tips &amp; \"Tricks\" \xE2\x80\x94 AT&T</title>"
        "<meta name=\"description\" content='<img src=x onerror=alert(1) '>"
        "<meta name=\"keywords\" content=\"a<b, c&d, <script\">";
    const TImported escaped = {
        "&lt;script&gt;alert('title')&lt;/script&gt; Tips &amp; &quot;Tricks&quot; \x97 AT&amp;T",
        "'&lt;img src=x onerror=alert(1) '", "a&lt;b, c&amp;d, &lt;script"};
    server.Script("/tips/index.htm", HttpTestReply::Ok(page));
    ImportUrl(server.Url("/tips/index.htm"));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(Imported(), escaped);

    UserPressApplyImport();
    SubmitMain->urllist->SetText("http://www.tips.example/");
    SubmitMain->Author->SetText("<b>Ann</b>");
    SubmitMain->SaveDialog1->FileName = folder.File("doorways/tips.htm");
    SubmitMain->BuildDoorwayPage(SubmitMain->Save1);
    const std::string doorway = LowerCase(folder.Read("doorways/tips.htm"));
    EXPECT_EQ(doorway.find("<script>"), std::string::npos) << doorway;
    EXPECT_EQ(doorway.find("<img src=x"), std::string::npos) << doorway;
    EXPECT_EQ(doorway.find("<b,"), std::string::npos) << doorway;
    EXPECT_NE(doorway.find("<h1>&lt;script&gt;alert('title')&lt;/script&gt; tips &amp; &quot;tricks&quot; \x97 "
                           "at&amp;t</h1>"),
              std::string::npos)
        << doorway;
    // The generator's own script is its only one.
    std::size_t scripts = 0;
    for (std::size_t at = doorway.find("<script"); at != std::string::npos; at = doorway.find("<script", at + 1))
        ++scripts;
    EXPECT_EQ(scripts, 1u);

    SubmitMain->Button10Click(SubmitMain->Button10);
    std::vector<std::string> block;
    for (int i = 0; i < SubmitMain->Viewer->Lines()->Count(); ++i)
        block.push_back(SubmitMain->Viewer->Lines()->Strings(i));
    ASSERT_GE(block.size(), 5u);
    EXPECT_EQ(block[1], "<TITLE>" + escaped.title + "</TITLE>");
    EXPECT_EQ(block[2], "<META NAME=\"Keywords\" CONTENT=\"" + escaped.keywords + "\">");
    EXPECT_EQ(block[3], "<META NAME=\"Description\" CONTENT=\"" + escaped.description + "\">");
    EXPECT_EQ(block[4], "<META NAME=\"Author\" CONTENT=\"<b>Ann</b>\">");

    // A crawled page is saved as its project with the same texts.
    SubmitMain->ImportWizard1Click(SubmitMain->ImportWizard1);
    SubmitMain->catagory->SetText("Business");
    SubmitMain->SpiderCK->SetChecked(true);
    ImportUrl(server.Url("/tips/index.htm"));
    ASSERT_EQ(SubmitMain->ImportState(), TSubmitMain::TImportState::SpiderReady);
    Press(Spider->Button1);
    ASSERT_TRUE(WaitUntilIdle());
    ASSERT_EQ(SubmitMain->SavedPages(), 1);
    const ProjectRecord saved = LoadProjectFile(folder.Path(), "1271");
    EXPECT_EQ((TImported{saved.title, saved.description, saved.key1}), escaped);
}

TEST_F(ImportWizard, ALocalPageImportsTheSameAsThePageServed)
{
    // Line ends of every kind, a keywords tag of one keyword and a title past a link.
    const std::string pages[] = {ShopPage,
                                 "<head><meta name=\"keywords\" content=\"single\">\n<a href=x>x</a>\r<title>Late "
                                 "title</title><meta name=\"description\" content=Plain></head>"};
    int n = 0;
    for (const std::string& page : pages) {
        const std::string name = "/page" + std::to_string(++n) + ".htm";
        server.Script(name, HttpTestReply::Ok(page));
        ImportUrl(server.Url(name));
        ASSERT_TRUE(WaitUntilIdle());
        const TImported served = Imported();
        EXPECT_EQ(served, (TImported{ScrapePage(page).title, ScrapePage(page).description, ScrapePage(page).keywords}));
        EXPECT_FALSE(served.title.empty());

        SubmitMain->FromFile->SetChecked(true);
        ChooseFile(folder.File("import" + std::to_string(n) + ".htm"));
        folder.Write("import" + std::to_string(n) + ".htm", page);
        boxes.Boxes.clear();
        UserPressImport();
        ASSERT_TRUE(WaitUntilIdle());
        EXPECT_EQ(Imported(), served);
        EXPECT_TRUE(boxes.Boxes.empty());  // a file import ends without a message
        SubmitMain->FromUrl->SetChecked(true);
    }

    // An unchecked item is not taken.
    SubmitMain->Key1ImpCk->SetChecked(false);
    SubmitMain->FromFile->SetChecked(true);
    UserPressImport();
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(SubmitMain->Key1Imp->Text(), "");
    EXPECT_EQ(SubmitMain->TitleImp->Text(), "Late title");
}

TEST_F(ImportWizard, FromFileImportsProjectFilesChosenInTheDialog)
{
    SubmitMain->SpiderCK->SetChecked(true);
    SubmitMain->FromFile->SetChecked(true);
    EXPECT_FALSE(SubmitMain->SpiderCK->Checked());
    EXPECT_FALSE(SubmitMain->SpiderCK->Enabled());

    folder.Write("old.zro", "[Old Site]\r\nurl=http://old.example/\r\ntitle=Old Title\r\nkey1=a\r\nkey2=b\r\n");
    ChooseFile(folder.File("old.zro"));
    UserPressImport();
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "Old Site");
    EXPECT_EQ(SubmitMain->urllist->Text(), "http://old.example/");
    EXPECT_EQ(SubmitMain->title->Text(), "Old Title");
    EXPECT_EQ(SubmitMain->Key1->Text(), "a, b");
    EXPECT_EQ(SubmitMain->PageControl1->ActivePage(), SubmitMain->TabSheet1);
    EXPECT_TRUE(boxes.Boxes.empty());

    SubmitMain->ImportWizard1Click(SubmitMain->ImportWizard1);
    folder.Write("other.sav", "[URL]\r\nhttp://www.savshop.example/\r\n[DESC]\r\nSav Title\r\n[Submitter]\r\nAnn Lee\r\n");
    ChooseFile(folder.File("other.sav"));
    UserPressImport();
    EXPECT_EQ(SubmitMain->Session_Name->Text(), "savshop");
    EXPECT_EQ(SubmitMain->title->Text(), "Sav Title");
    EXPECT_EQ(SubmitMain->name->Text(), "Ann");
    EXPECT_EQ(SubmitMain->LastN->Text(), "Lee");
    EXPECT_EQ(boxes.Boxes, (std::vector<MessageBoxCall>{{"Please Select a Catagory For This Project",
                                                          "Select Catagory", MB_OK | MB_ICONEXCLAMATION}}));
    EXPECT_EQ(server.RequestCount(), 0u);

    // Back to "From URL": the spider can be chosen again.
    SubmitMain->FromUrl->SetChecked(true);
    EXPECT_TRUE(SubmitMain->SpiderCK->Enabled());
}

TEST_F(ImportWizard, AFailedPageIsToldAndNotReportedAsImported)
{
    SubmitMain->UrlImp->SetText("");
    UserPressImport();
    EXPECT_EQ(boxes.Boxes,
              (std::vector<MessageBoxCall>{{"You must enter a url to Import", "Import Incomplete!", MB_OK}}));
    EXPECT_EQ(SubmitMain->ImportState(), TSubmitMain::TImportState::Idle);

    server.Script("/gone.htm", HttpTestReply::Status("HTTP/1.0 404 Not Found", "<title>Not here</title>"));
    // An address where nothing listens.
    const PeerRefusedPort refused;
    const std::string closedUrl = refused.Url("/x.htm");
    const struct {
        std::string url;
        std::string reason;  // empty: whatever the client says of the refused connection
    } cases[] = {
        {server.Url("/gone.htm"), "404 Not Found"},
        {closedUrl, ""},
    };
    for (const auto& c : cases) {
        boxes.Boxes.clear();
        ImportUrl(c.url);
        ASSERT_TRUE(WaitUntilIdle()) << c.url;
        ASSERT_EQ(boxes.Boxes.size(), 1u) << c.url;
        EXPECT_EQ(boxes.Boxes[0].caption, "Import Failed");
        EXPECT_EQ(boxes.Boxes[0].text.rfind("The page could not be read: ", 0), 0u) << boxes.Boxes[0].text;
        if (!c.reason.empty()) {
            EXPECT_EQ(boxes.Boxes[0].text, "The page could not be read: " + c.reason);
        }
        EXPECT_EQ(SubmitMain->Label13->Caption().rfind("Failed: ", 0), 0u);
        EXPECT_EQ(SubmitMain->TitleImp->Text(), "");
        EXPECT_TRUE(ImportEnabled());
    }
}

TEST_F(ImportWizard, AbortEndsTheFetchQuietly)
{
    HttpTestReply held = HttpTestReply::Ok("<title>Slow</title>");
    held.pieceSize = 7;
    held.piecesOnRelease = true;
    server.Script("/slow.htm", held);
    ImportUrl(server.Url("/slow.htm"));
    ASSERT_TRUE(RunUntil([&] { return SubmitMain->HttpMap->ReceivedBytes() >= 7; }));
    UserPressAbortImport();
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(SubmitMain->Label13->Caption(), "Aborted");
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(SubmitMain->TitleImp->Text(), "");
    EXPECT_TRUE(ImportEnabled());
    EXPECT_FALSE(AbortImportEnabled());
    server.Release();
}

TEST_F(ImportWizard, AnEndlessPageIsReadOnlyToItsScanLimit)
{
    // A title at the start, keywords past the scan limit, and a
    // connection that stays open after the body as if more were to come.
    std::string page = "<title>Endless</title>" + std::string(3 * PageScanLimit / 2, ' ') +
                       "<meta name=\"keywords\" content=\"late, too late\">";
    HttpTestReply reply = HttpTestReply::Ok(page);
    reply.contentLength = false;
    reply.ending = HttpTestReply::Ending::Hold;
    server.Script("/endless.htm", reply);

    ImportUrl(server.Url("/endless.htm"));
    ASSERT_TRUE(WaitUntilIdle(30000));
    EXPECT_EQ(SubmitMain->TitleImp->Text(), "Endless");
    EXPECT_EQ(SubmitMain->Key1Imp->Text(), "");
    EXPECT_EQ(SubmitMain->Label13->Caption(), "Only the first 8 MB of the page was read");
    EXPECT_EQ(boxes.Boxes, std::vector<MessageBoxCall>{ImportCompletedBox});
    EXPECT_LT(SubmitMain->HttpMap->ReceivedBytes(), std::int64_t(PageScanLimit + 64 * 1024));

    // A local file as large is cut the same way.
    folder.Write("big.htm", page);
    SubmitMain->FromFile->SetChecked(true);
    ChooseFile(folder.File("big.htm"));
    UserPressImport();
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(SubmitMain->TitleImp->Text(), "Endless");
    EXPECT_EQ(SubmitMain->Key1Imp->Text(), "");
    EXPECT_EQ(SubmitMain->Label13->Caption(), "Only the first 8 MB of the page was read");
}

TEST_F(ImportWizard, ThePageIsFetchedThroughTheProxyWhenItIsOn)
{
    // The loopback server plays the proxy: it gets the page's whole address.
    {
        TIniFile settings(folder.File("wkt.ini"));
        settings.WriteString("Proxy", "ProxyHost", "127.0.0.1");
        settings.WriteString("Proxy", "ProxyPort", std::to_string(server.Port()));
        settings.WriteBool("Proxy", "KeyProxy", true);
    }
    SubmitMain->LoadProxySettings();
    server.Script("/proxied.htm", HttpTestReply::Ok("<title>Through the proxy</title>"));
    ImportUrl("http://www.shop.example/proxied.htm");
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(SubmitMain->TitleImp->Text(), "Through the proxy");
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(server.Request(0).target, "http://www.shop.example/proxied.htm");
}

}  // namespace
