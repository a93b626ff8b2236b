// The page import's and the spider's rules as data: the title, description
// and keywords of a page and its links, the same whichever way the page is
// cut into chunks; links made absolute, normalised and judged; the names of
// the crawled pages' projects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "workbench/ImportData.h"
#include "workbench/SpiderData.h"

namespace {

// The page fed in two pieces cut at `cut`, or in pieces of `piece` bytes.
PageTags ScrapeCut(const std::string& page, std::size_t cut)
{
    TPageScraper scraper;
    scraper.Feed(page.substr(0, cut));
    scraper.Feed(page.substr(cut));
    return scraper.Tags();
}

PageTags ScrapePieces(const std::string& page, std::size_t piece)
{
    TPageScraper scraper;
    for (std::size_t at = 0; at < page.size(); at += piece)
        scraper.Feed(page.substr(at, piece));
    return scraper.Tags();
}

void ExpectTags(const PageTags& tags, const PageTags& expected, const std::string& how)
{
    EXPECT_EQ(tags.hasTitle, expected.hasTitle) << how;
    EXPECT_EQ(tags.title, expected.title) << how;
    EXPECT_EQ(tags.hasDescription, expected.hasDescription) << how;
    EXPECT_EQ(tags.description, expected.description) << how;
    EXPECT_EQ(tags.hasKeywords, expected.hasKeywords) << how;
    EXPECT_EQ(tags.keywords, expected.keywords) << how;
}

struct TPageCase {
    const char* what;
    std::string page;
    PageTags expected;
};

PageTags Tags(const char* title, const char* description, const char* keywords)
{
    PageTags tags;
    tags.hasTitle = title != nullptr;
    tags.title = title ? title : "";
    tags.hasDescription = description != nullptr;
    tags.description = description ? description : "";
    tags.hasKeywords = keywords != nullptr;
    tags.keywords = keywords ? keywords : "";
    return tags;
}

const std::vector<TPageCase>& PageCases()
{
    static const std::vector<TPageCase> cases = {
        {"an ordinary head",
         "<html><head><title>Fine Shop</title>\r\n"
         "<meta name=\"description\" content=\"Cats and mice, sold here\">\r\n"
         "<meta name=\"keywords\" content=\"cats, mice,dogs, birds\">\r\n"
         "</head><body><a href=\"x.htm\">x</a></body></html>",
         Tags("Fine Shop", "Cats and mice, sold here", "cats, mice, dogs, birds")},
        {"upper case markers, keywords before the description, line ends inside the tags",
         "<HTML><HEAD><META NAME=\"KEYWORDS\" CONTENT=\"one,\r\n two\">"
         "<TITLE>Version 2.4\r\nDocumentation</TITLE><META NAME=\"DESCRIPTION\" CONTENT=Unquoted\ntext>",
         Tags("Version 2.4 Documentation", "Unquoted text", "one, two")},
        {"line ends of every kind are one blank each; one between CONTENT= and its quote",
         "<META\r\nNAME=\"DESCRIPTION\" CONTENT=\r\n\"a\rb\n\nc\r\n\r\nd\"><title>\r\nT\r\n</title>",
         Tags(" T ", "a b  c  d", nullptr)},
        {"a keywords tag of one keyword, an empty description, NUL bytes",
         std::string("<title>T\0i", 10) + "tle</title><meta name=\"description\" content=\"\" id=\"d\">"
                                          "<meta name=\"keywords\" content=\"single\">",
         Tags("Title", "", "single")},
        {"the first of two titles; a tag without CONTENT= takes none from the next tag",
         "<title>First</title><title>Second</title><meta name=\"description\"><meta name=\"x\" "
         "content=\"borrowed\"><meta name=\"keywords\" id=k\r\n><meta name=\"keywords\" content=\"late\">",
         Tags("First", "", "")},
        {"a page in UTF-8, its charset named before the tags",
         "<head><meta charset=\"utf-8\" /><title>re \xE2\x80\x94 Regular expression operations</title>"
         "<meta name=\"description\" content=\"Caf\xC3\xA9 \xE2\x82\xAC" "5, \xE4\xB8\xAD \xF0\x9F\x98\x80\">"
         "<meta name=\"keywords\" content=\"na\xC3\xAFve,\xC3\xA9t\xC3\xA9, \xE2\x80\x9Cquoted\xE2\x80\x9D\">",
         Tags("re \x97 Regular expression operations", "Caf\xE9 \x80" "5, ? ?", "na\xEFve, \xE9t\xE9, \x93quoted\x94")},
        {"a page in UTF-8, its charset named after the tags in a Content-Type META",
         "<title>A \xE2\x80\x94 B</title><meta name=\"description\" content=\"\xC3\xA9\"><meta name=\"keywords\" "
         "content=\"\xC3\xA0\"><meta name=x><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">",
         Tags("A \x97 B", "\xE9", "\xE0")},
        {"a page in another charset keeps its bytes; only the first charset counts",
         "<meta http-equiv=content-type content=\"text/html; charset=iso-8859-1\"><meta charset=utf-8>"
         "<title>caf\xE9 \xE2\x80\x94</title>",
         Tags("caf\xE9 \xE2\x80\x94", nullptr, nullptr)},
        {"markup in another site's texts is kept as text; its own references stay",
         "<title><script>alert(\"x\")</script> &amp; AT&T &#8212; &#x2014; &copy</title>"
         "<meta name=\"description\" content='<img src=x onerror=alert(1) '>"
         "<meta name=\"keywords\" content=\"a&b, <i, c\">",
         Tags("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; AT&amp;T &#8212; &#x2014; &amp;copy",
              "'&lt;img src=x onerror=alert(1) '", "a&amp;b, &lt;i, c")},
        {"tags that never end take nothing",
         "<title>Never closed<meta name=\"description\" content=\"never ended", Tags(nullptr, nullptr, nullptr)},
        {"a body without a head", "<body><p>Only text</p></body>", Tags(nullptr, nullptr, nullptr)},
    };
    return cases;
}

TEST(PageScraper, TagsComeOutTheSameWhereverThePageIsCut)
{
    for (const TPageCase& c : PageCases()) {
        ExpectTags(ScrapePage(c.page), c.expected, std::string(c.what) + ", whole");
        for (std::size_t cut = 0; cut <= c.page.size(); ++cut)
            ExpectTags(ScrapeCut(c.page, cut), c.expected, std::string(c.what) + ", cut at " + std::to_string(cut));
        for (std::size_t piece : {1u, 2u, 3u, 7u})
            ExpectTags(ScrapePieces(c.page, piece), c.expected,
                       std::string(c.what) + ", pieces of " + std::to_string(piece));
    }
}

TEST(PageScraper, EachTagIsReportedOnceWhenItEnds)
{
    TPageScraper scraper;
    EXPECT_EQ(scraper.Feed("<title>Half"), TPageScraper::FoundNone);
    EXPECT_FALSE(scraper.Tags().hasTitle);
    EXPECT_EQ(scraper.Feed(" and half</TI"), TPageScraper::FoundNone);
    EXPECT_EQ(scraper.Feed("TLE><meta name=\"keywords\" content=\"a, b"), TPageScraper::FoundTitle);
    EXPECT_EQ(scraper.Tags().title, "Half and half");
    // Keywords come whole, with the item after the last comma, once.
    EXPECT_EQ(scraper.Feed(", c\">"), TPageScraper::FoundKeywords);
    EXPECT_EQ(scraper.Tags().keywords, "a, b, c");
    EXPECT_EQ(scraper.Feed("<meta name=\"keywords\" content=\"d, e\">"), TPageScraper::FoundNone);
    EXPECT_EQ(scraper.Tags().keywords, "a, b, c");
    EXPECT_FALSE(scraper.Complete());
    EXPECT_EQ(scraper.Feed("<meta name=\"description\" content=\"D\">"), TPageScraper::FoundDescription);
    // Until the page names its charset, a later META tag may still name it.
    EXPECT_FALSE(scraper.Complete());
    EXPECT_EQ(scraper.Feed("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">"),
              TPageScraper::FoundNone);
    EXPECT_TRUE(scraper.Complete());
    EXPECT_EQ(scraper.Held(), 0u);
}

// Tags read before the page names UTF-8 are told again, in their new text;
// a charset of the reply's Content-Type holds over the page's own.
TEST(PageScraper, TheCharsetOfTheReplyOrOfAMetaTag)
{
    TPageScraper late;
    EXPECT_EQ(late.Feed("<title>\xC3\xA9</title><meta name=\"keywords\" content=\"\xC3\xA9\">"),
              TPageScraper::FoundTitle | TPageScraper::FoundKeywords);
    EXPECT_EQ(late.Tags().title, "\xC3\xA9");
    EXPECT_EQ(late.Feed("<meta charset=utf-8>"), TPageScraper::FoundTitle | TPageScraper::FoundKeywords);
    EXPECT_EQ(late.Tags().title, "\xE9");
    EXPECT_EQ(late.Tags().keywords, "\xE9");

    const std::string utf8Page = "<meta charset=\"iso-8859-1\"><title>\xC3\xA9</title>";
    EXPECT_EQ(ScrapePage(utf8Page).title, "\xC3\xA9");
    EXPECT_EQ(ScrapePage(utf8Page, "text/html; charset=\"UTF-8\"").title, "\xE9");
    const std::string latinPage = "<meta charset=\"utf-8\"><title>\xE9</title>";
    EXPECT_EQ(ScrapePage(latinPage).title, "?");
    EXPECT_EQ(ScrapePage(latinPage, "text/html;charset=ISO-8859-1").title, "\xE9");
    EXPECT_EQ(ScrapePage(latinPage, "text/html").title, "?");  // a type without a charset names none

    const struct {
        const char* text;
        const char* charset;
    } named[] = {
        {"text/html; charset=utf-8", "utf-8"},
        {"text/html;charset=\"UTF-8\"", "UTF-8"},
        {"<meta charset='utf8'/", "utf8"},
        {"<META HTTP-EQUIV=Content-Type CONTENT=\"text/html; CHARSET=iso-8859-1\"", "iso-8859-1"},
        {"<meta charset=  koi8-r ", "koi8-r"},
        {"text/html", ""},
        {"<meta charset=>", ""},
    };
    for (const auto& n : named)
        EXPECT_EQ(CharsetOf(n.text), n.charset) << n.text;
    for (const char* label : {"utf-8", "UTF8", "Unicode-1-1-UTF-8", "x-unicode20utf8"})
        EXPECT_TRUE(IsUtf8Charset(label)) << label;
    for (const char* label : {"", "utf-16", "utf-8 ", "iso-8859-1", "utf"})
        EXPECT_FALSE(IsUtf8Charset(label)) << label;
}

TEST(PageScraper, StrayMarkupIsEscapedAndReferencesKept)
{
    const struct {
        const char* text;
        const char* escaped;
    } cases[] = {
        {"plain text, 'quoted'", "plain text, 'quoted'"},
        {"<b>\"x\"</b>", "&lt;b&gt;&quot;x&quot;&lt;/b&gt;"},
        {"&amp; &lt; &eacute; &#233; &#xE9; &#Xe9;", "&amp; &lt; &eacute; &#233; &#xE9; &#Xe9;"},
        {"a & b, AT&T, &copy 2024, &;, &#;, &#x;, &#12a;, &", "a &amp; b, AT&amp;T, &amp;copy 2024, &amp;;, &amp;#;, "
                                                            "&amp;#x;, &amp;#12a;, &amp;"},
        {"--><script>", "--&gt;&lt;script&gt;"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapeStrayMarkup(c.text), c.escaped) << c.text;
    EXPECT_EQ(ImportedText("\xE2\x80\x9C<x>\xE2\x80\x9D", true), "\x93&lt;x&gt;\x94");
    EXPECT_EQ(ImportedText("\x93<x>\x94", false), "\x93&lt;x&gt;\x94");
}

// What the scraper holds is the tag it reads, never the page read so far.
TEST(PageScraper, HoldsOnlyTheUnfinishedTag)
{
    TPageScraper scraper;
    const std::string filler(4096, 'x');
    for (int i = 0; i < 64; ++i)
        scraper.Feed(filler + "<TITL");
    EXPECT_LT(scraper.Held(), 40u);
    scraper.Feed("E>");
    for (int i = 0; i < 16; ++i)
        scraper.Feed(filler);
    EXPECT_GE(scraper.Held(), 16 * filler.size());  // the title being read
    scraper.Feed("</title>");
    EXPECT_EQ(scraper.Tags().title.size(), 16 * filler.size());
    EXPECT_LT(scraper.Held(), 40u);
}

TEST(PageScraper, KeywordsOfAValue)
{
    const struct {
        const char* value;
        const char* keywords;
    } cases[] = {
        {"cats, mice, dogs", "cats, mice, dogs"},
        {"cats,mice", "cats, mice"},
        {"only", "only"},
        {"", ""},
        {" lead", "lead"},
        {",first empty", "first empty"},
        {"a,,b", "a, , b"},
        {"a, b,", "a, b"},
        {"a,  b", "a, b"},      // one blank after the comma goes, then the last item's
        {"a, b, c ", "a, b, c "},
        {"x, y", "x, y"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeywordsOfValue(c.value), c.keywords) << '"' << c.value << '"';
}

TEST(PageScraper, ScanLimitOfAPage)
{
    EXPECT_EQ(BytesWithinScanLimit(0, 100), 100u);
    EXPECT_EQ(BytesWithinScanLimit(PageScanLimit - 10, 100), 10u);
    EXPECT_EQ(BytesWithinScanLimit(PageScanLimit, 100), 0u);
    EXPECT_EQ(BytesWithinScanLimit(PageScanLimit + 5, 1), 0u);
    // A title past the scan limit is not read.
    const std::string late = std::string(PageScanLimit - 3, ' ') + "<title>Late</title>";
    EXPECT_FALSE(ScrapePage(late).hasTitle);
}

// --- links ------------------------------------------------------------------------------------

std::vector<CodePageString> Links(const std::vector<std::string>& pieces)
{
    std::vector<CodePageString> links;
    TLinkExtractor extractor;
    auto take = [&links](const CodePageString& link) { links.push_back(link); };
    for (const std::string& piece : pieces)
        extractor.Feed(piece.data(), piece.size(), take);
    extractor.Finish(take);
    return links;
}

TEST(LinkExtractor, LinksComeOutTheSameWhereverThePageIsCut)
{
    const std::string page = "<a href=\"one.htm\">1</a> <A HREF=two.htm>2</A> <a href='three.htm'>3</a>\r\n"
                             "<a href=\"fo\r\nur.htm\" class=x>4</a><a href=\"\">e</a><a href=\"#top\">t</a>"
                             "<a href=\"a b.htm\">5</a><a href=\"no end<a href=\"last.htm\">";
    const std::vector<CodePageString> expected = {"one.htm", "two.htm", "'three.htm'", "four.htm", "", "#top",
                                              "a b.htm", "no end<a href="};
    EXPECT_EQ(Links({page}), expected);
    for (std::size_t cut = 0; cut <= page.size(); ++cut)
        EXPECT_EQ(Links({page.substr(0, cut), page.substr(cut)}), expected) << "cut at " << cut;
    std::vector<std::string> bytes;
    for (char c : page)
        bytes.emplace_back(1, c);
    EXPECT_EQ(Links(bytes), expected);
}

TEST(LinkExtractor, AValueThatNeverEndsIsGivenUpAtThePageEnd)
{
    // The first value has no ">" anywhere after it: the search goes on after its
    // HREF= and finds the quoted one inside it.
    EXPECT_EQ(Links({"<a href=foo <a href=\"bar\" "}), (std::vector<CodePageString>{"bar"}));
    // Two characters after HREF= at the end are not a quoted value.
    EXPECT_EQ(Links({"<a href=\"x"}), std::vector<CodePageString>{});
    EXPECT_EQ(Links({"<a href=\"x\""}), std::vector<CodePageString>{"x"});

    TLinkExtractor extractor;
    std::vector<CodePageString> found;
    auto take = [&found](const CodePageString& link) { found.push_back(link); };
    const std::string open = "<a href=\"" + std::string(100000, 'y');
    extractor.Feed(open.data(), open.size(), take);
    EXPECT_TRUE(found.empty());
    EXPECT_GE(extractor.Held(), 100000u);  // the link being read
    extractor.Feed("\">", 2, take);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].size(), 100000u);
    EXPECT_LT(extractor.Held(), 8u);
}

TEST(SpiderLinks, CleanResolvedAndNormal)
{
    const struct {
        const char* raw;
        const char* clean;
    } cleans[] = {{"a.htm title", "a.htm"}, {"/", "/"}, {"../up.htm", "../up.htm"}, {"./here.htm", "./here.htm"},
                  {"x", "x"},               {" x", ""}};
    for (const auto& c : cleans)
        EXPECT_EQ(CleanLink(c.raw), c.clean) << c.raw;

    const TPageAddress page = PageAddressOf("HTTP://Shop.Example:80/en/./platform//y.html?v=1");
    EXPECT_EQ(page.scheme, "http");
    EXPECT_EQ(page.authority, "shop.example");
    EXPECT_EQ(page.path, "/en/platform/y.html");
    EXPECT_EQ(page.query, "?v=1");
    EXPECT_EQ(PageAddressOf("127.0.0.1:8080").path, "/");  // typed without a scheme or a path
    for (const char* noScheme : {"ht!tp://www.example.com/a/p.htm", "://www.example.com/a/p.htm"}) {
        const TPageAddress page = PageAddressOf(noScheme);
        EXPECT_EQ(page.scheme + "://" + page.authority + page.path, "http://www.example.com/a/p.htm") << noScheme;
    }

    // One page under many spellings is one address; ".." climbs from the
    // page's folder and never above the top.
    const struct {
        const char* page;
        const char* link;
        const char* resolved;
    } links[] = {
        {"http://h:8080/shop/a.htm", "./a.htm", "http://h:8080/shop/a.htm"},
        {"http://h:8080/shop/a.htm", ".//a.htm", "http://h:8080/shop/a.htm"},
        {"http://h:8080/shop/a.htm", "b/../a.htm", "http://h:8080/shop/a.htm"},
        {"http://h:8080/shop/a.htm", "/shop/./a.htm", "http://h:8080/shop/a.htm"},
        {"http://h:8080/shop/a.htm", "a.htm", "http://h:8080/shop/a.htm"},
        {"http://h:8080/shop/a.htm", "%2e/%61.htm", "http://h:8080/shop/a.htm"},
        {"http://h:8080/shop/a.htm", "x%2Fy%20z.htm", "http://h:8080/shop/x%2Fy%20z.htm"},
        // An escape that would make a new one after a stray "%" stays as written.
        {"http://h/a/p.htm", "%2%65x.htm", "http://h/a/%2%65x.htm"},
        {"http://h/a/p.htm", "%%32%65x.htm", "http://h/a/%2%65x.htm"},
        {"http://h/en/platform/y.html", "../mod/x.html", "http://h/en/mod/x.html"},
        {"http://h/en/platform/y.html", "../../../../x.html", "http://h/x.html"},
        {"http://h/a/p.htm", "/a/../secret/x.htm", "http://h/secret/x.htm"},
        {"http://h/a/p.htm", "%2E%2E/secret/x.htm", "http://h/secret/x.htm"},
        {"http://h/a/p.htm", "mod/", "http://h/a/mod/"},
        {"http://h/a/p.htm", "mod/index.html", "http://h/a/mod/index.html"},
        {"http://h/a/p.htm", "..", "http://h/"},
        {"http://h/a/p.htm", ".", "http://h/a/"},
        {"http://h/a/p.htm", "/", "http://h/"},
        {"http://h/a/p.htm", "//other.example/x.html", "http://other.example/x.html"},
        {"http://h/a/p.htm", "//OTHER.example:80", "http://other.example/"},
        {"http://h/a/p.htm", "//h::80:/x.htm", "http://h/x.htm"},
        {"http://h/a/p.htm", "//[::1]:80/x.htm", "http://[::1]/x.htm"},
        {"http://h/a/p.htm", "http://H:80/a//q.htm", "http://h/a/q.htm"},
        {"http://h/a/p.htm", "http:q.htm", "http://h/a/q.htm"},
        {"http://h/a/p.htm", "https://h/a/q.htm", "https://h/a/q.htm"},
        {"http://h/a/p.htm", "mailto:ann@example.com", "mailto:ann@example.com"},
        {"http://h/a/p.htm", "#top", "http://h/a/p.htm#top"},
        {"http://h/a/p.htm", "q.htm?x=../1#f", "http://h/a/q.htm?x=../1#f"},
        {"http://h/a/p.htm", "", ""},
        {"http://h/v1.2/page.htm", "next.htm", "http://h/v1.2/next.htm"},
        {"http://h", "next.htm", "http://h/next.htm"},
    };
    for (const auto& c : links)
        EXPECT_EQ(ResolveLink(c.link, PageAddressOf(c.page)), c.resolved) << c.page << " + " << c.link;

    const struct {
        const char* link;
        const char* normal;
    } normals[] = {{"http://h/a/", "http://h/a"},
                   {"http://h/a/index.htm", "http://h/a"},
                   {"http://h/default.asp", "http://h"},
                   {"http://h/Index.htm", "http://h/Index.htm"},
                   {"http://h/a//", "http://h/a/"}};
    for (const auto& c : normals)
        EXPECT_EQ(NormaliseLink(c.link), c.normal) << c.link;
}

TEST(SpiderLinks, TheSiteIsTheStartsHostAndFolder)
{
    const struct {
        const char* start;
        const char* link;
        bool on;
    } cases[] = {
        {"http://127.0.0.1:8080/site/p0.htm", "http://127.0.0.1:8080/site/p1.htm", true},
        {"http://127.0.0.1:8080/site/p0.htm", "http://127.0.0.1:8080/site", true},
        {"http://127.0.0.1:8080/site/p0.htm", "http://127.0.0.1:8080/site/deeper/p.htm", true},
        {"http://127.0.0.1:8080/site/p0.htm", "http://127.0.0.1:8080/sitemap/p.htm", false},
        {"http://127.0.0.1:8080/site/p0.htm", "http://127.0.0.1:8080/other.htm", false},
        {"http://127.0.0.1:8080/site/p0.htm", "http://127.0.0.1:8081/site/p1.htm", false},
        {"http://127.0.0.1:8080/site/p0.htm", "http://evil.example/127.0.0.1:8080/site/p1.htm", false},
        {"http://127.0.0.1:8080/site/p0.htm", "https://127.0.0.1:8080/site/p1.htm", false},
        {"http://www.example.com/", "http://WWW.Example.com/any/where.htm", true},
        {"http://www.example.com/", "http://www.example.com:80/x.htm", true},
        {"http://www.example.com/", "http://example.com/x.htm", false},
        {"http://www.example.com/page.htm", "http://www.example.com/x/y.htm", true},
        {"http://www.example.com/shop", "http://www.example.com/shop/x.htm", true},
        {"http://www.example.com/shop", "http://www.example.com/x.htm", false},
        {"http://www.example.com/", "/relative.htm", false},
        // The start is resolved as a link is.
        {"http://www.example.com/a/b/../p.htm", "http://www.example.com/a/x.htm", true},
        {"http://www.example.com/a/b/../p.htm", "http://www.example.com/a/b/x.htm", true},
        {"http://www.example.com/a/./b/p.htm", "http://www.example.com/a/x.htm", false},
        {"www.example.com/a/p.htm", "http://www.example.com/a/x.htm", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OnSpiderSite(c.link, SpiderSiteOf(c.start)), c.on) << c.start << " / " << c.link;
}

TEST(SpiderLinks, FiltersInOrder)
{
    const TSpiderSite site = SpiderSiteOf("http://www.example.com/");
    TFoundLinks found;
    found.Add("http://www.example.com/seen.htm");
    found.Add("http://other.example/seen.htm");
    found.Add("http://www.example.com/dir");
    const std::string base = "http://www.example.com/";
    const struct {
        std::string link;
        TLinkVerdict verdict;
        int duplicate;
    } cases[] = {
        {base + "new.htm", TLinkVerdict::Follow, -1},
        {base + "SEEN.htm", TLinkVerdict::Follow, -1},  // letter case makes another link
        {base + "seen.htm", TLinkVerdict::Duplicate, 0},
        {"http://other.example/seen.htm", TLinkVerdict::OtherSite, 1},
        {base + "page.htm#part", TLinkVerdict::Excluded, -1},
        {base + "run.CGI", TLinkVerdict::Excluded, -1},
        {base + "find?q=1", TLinkVerdict::Excluded, -1},
        {base + "javascript:go()", TLinkVerdict::Excluded, -1},
        // Markup or a line of its own could come with the address into every
        // doorway page and submission made from the project.
        {base + "x\"+alert(1)+\".htm", TLinkVerdict::Excluded, -1},
        {base + "x<b>.htm", TLinkVerdict::Excluded, -1},
        {base + "x\t.htm", TLinkVerdict::Excluded, -1},
        {base + "x\x7f.htm", TLinkVerdict::Excluded, -1},
        {base + "x\x1b.htm", TLinkVerdict::Excluded, -1},
        // A folder and its index page are one page, found once.
        {base + "seen.htm/", TLinkVerdict::Duplicate, 0},
        {base + "dir/", TLinkVerdict::Duplicate, 2},
        {base + "dir/index.html", TLinkVerdict::Duplicate, 2},
        {base + std::string(99 - base.size(), 'a'), TLinkVerdict::Follow, -1},
        {base + std::string(100 - base.size(), 'a'), TLinkVerdict::TooLong, -1},
    };
    for (const auto& c : cases) {
        int duplicate = -2;
        EXPECT_EQ(JudgeLink(c.link, site, found, duplicate), c.verdict) << c.link;
        EXPECT_EQ(duplicate, c.duplicate) << c.link;
    }
}

// --- names ----------------------------------------------------------------------------------

TEST(SpiderNames, SiteWord)
{
    const struct {
        const char* host;
        const char* word;
    } cases[] = {{"www.example.com", "example"}, {"example.com", "example"}, {"127.0.0.1", "127"},
                 {"localhost", ""},              {"shop.www.example.com", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(SpiderSiteWord(c.host), c.word) << c.host;
}

// The smallest n for which word + n is in no name, letter case ignored and
// inside longer names too: the search over the joined names, number by number.
long long FirstFreeNumberByScanning(const CodePageString& word, const std::vector<CodePageString>& names)
{
    CodePageString text;
    for (const CodePageString& name : names)
        text += UpperCase(name) + "\r\n";
    for (long long n = 1;; ++n)
        if (text.find(UpperCase(word + IntToStr(n))) == CodePageString::npos)
            return n;
}

TEST(SpiderNames, FirstFreeNumber)
{
    const struct {
        const char* word;
        std::vector<CodePageString> names;
        long long expected;
    } cases[] = {
        {"shop", {}, 1},
        {"shop", {"shop"}, 1},
        {"shop", {"shop1", "SHOP2"}, 3},
        {"shop", {"Myshop12"}, 2},
        {"shop", {"shop0", "shop01"}, 1},
        {"shop", {"shop1", "shop2", "shop3", "shop10", "shop4"}, 5},
        {"127", {"1271", "12710"}, 2},
        {"127", {"127127", "1271"}, 2},
        {"aa", {"aaa1"}, 2},
        {"", {"a1b", "22"}, 3},
        {"x", {"x99999999999999999999999"}, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FirstFreeNumber(c.word, c.names), c.expected) << c.word;
        EXPECT_EQ(FirstFreeNumber(c.word, c.names), FirstFreeNumberByScanning(c.word, c.names)) << c.word;
    }
    std::vector<CodePageString> many;
    for (int i = 1; i <= 300; ++i)
        many.push_back("Site" + IntToStr(i));
    EXPECT_EQ(FirstFreeNumber("site", many), 301);
}

// Names taken one at a time, with the number asked for in between (as a
// crawl asks after every page), answer as the whole list would.
TEST(SpiderNames, NumbersKeptAsNamesAreAdded)
{
    const std::vector<CodePageString> added = {"shop2", "Shop1", "myshop3", "shop", "SHOP12", "shop5", "shop4", "shop0",
                                           "shop6shop7", "shop10", "shop8", "shop9", "shop11", "shop13"};
    TNameNumbers numbers("shop");
    std::vector<CodePageString> names;
    EXPECT_EQ(numbers.FirstFree(), 1);
    for (const CodePageString& name : added) {
        numbers.Take(name);
        names.push_back(name);
        EXPECT_EQ(numbers.FirstFree(), FirstFreeNumber("shop", names)) << name;
    }
    EXPECT_EQ(numbers.FirstFree(), 14);
}

}  // namespace
