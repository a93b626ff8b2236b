// Reading submission forms out of submit pages: which blocks are analysed,
// the fields they fill, the category rule, the actions made absolute and
// the custom engine record each page yields.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "workbench/FormAnalysis.h"

namespace {

const CodePageString PageUrl = "http://127.0.0.1:8080/links/submit.html";

// What a page gives the wizard: one record line per usable form (named
// "127", typed as a search engine), "failed" per analysed form that is not
// usable, and how many blocks were skipped before the first analysed one.
struct PageOutcome {
    std::vector<std::string> forms;
    int skipped = 0;
};

PageOutcome Analyse(const std::string& page, const CodePageString& url = PageUrl)
{
    PageOutcome outcome;
    FindSubmitForms(
        page, url,
        [&](TSubmitForm& form) {
            if (!MeetsRequirements(form)) {
                outcome.forms.push_back("failed");
                return true;
            }
            TEngineFields fields = EngineFieldsOfForm(form, url);
            fields[efType] = "Custom->Engine";
            outcome.forms.push_back(CustomEngineLine("127", fields));
            return true;
        },
        [&] { ++outcome.skipped; });
    return outcome;
}

// A record line from its fields by number; the type and the submit page as
// the pages below have them.
std::string Record(std::vector<std::pair<int, std::string>> fields, const std::string& page = PageUrl)
{
    std::vector<std::string> values(38);
    values[0] = "Custom->Engine";
    values[1] = page;
    for (const auto& [field, text] : fields)
        values[std::size_t(field - 1)] = text;
    std::string line = "127=";
    for (const std::string& v : values)
        line += v + "|";
    return line;
}

// A usable form with the given form tag: a URL field and a category list
// whose words send a fixed category.
std::string FormWith(const std::string& formTag)
{
    return "<html><body>\r\n" + formTag +
           "\r\n<input type=text name=url size=40>\r\n<select name=SECTION><option>Business<option>Other</select>\r\n"
           "<input type=submit value=\"Add\"></form></body></html>";
}
std::string Fixed(const std::string& action, const std::string& method)
{
    return Record({{3, action}, {5, "url"}, {11, "&SECTION=Business"}, {21, method}});
}

const char* const ThirtyCategories[] = {
    "Automotive", "Business",      "Communications", "Community",     "Computers",  "Consumer",
    "Education",  "Employment",    "Entertainment",  "Finance",       "Government", "Health",
    "Internet",   "Manufacturing", "Media",          "Medical",       "Miscellaneous", "News",
    "Opportunities", "Personal",   "Politics",       "Publishing",    "Recreation", "Reference",
    "Religion",   "Sci-Tech",      "Services",       "Transportation", "Travel",    "Web_Stuff"};

std::string CategoryPage(const std::string& selectName, const std::vector<std::string>& words)
{
    std::string page = "<form method=post action=/cgi-bin/add.cgi><input name=URL><input name=Title>"
                       "<select name=" + selectName + ">\r\n";
    for (const std::string& w : words)
        page += "<option>" + w + "\r\n";
    return page + "</select></form>";
}

}  // namespace

TEST(FormAnalysis, EachPageYieldsItsRecord)
{
    const std::string searchThenSubmit =
        "<html><form action=\"/cgi-bin/search\" method=get><input name=query><input type=submit value=Go></form>\r\n"
        "<h1>Add your site</h1>\r\n<FORM ACTION=\"add.cgi\" METHOD=\"POST\">\r\n"
        "<input type=text name=url><input name=urlname><input name=contact_email>\r\n"
        "<input name=title value=\"hidden gem\"><textarea name=Description rows=4></textarea>\r\n"
        "<input name=city><input name=zip><input name=Keywords><input name=country><input name=address1>\r\n"
        "<select name=section><option>Business<option>Other</select>\r\n"
        "<input type=submit name=url value=\"Add\"></FORM>\r\n<p>footer</p></html>";
    const std::string hidden =
        "<form method=POST action=\"http://127.0.0.1:8080/cgi/add.pl?a=1&amp;b=2\">\r\n"
        "<input type=\"hidden\" name=\"mode\" value=\"add url\">\r\n"
        "<input type=hidden name=\"x|y\" value=\"a b|c&amp;d%\">\r\n"
        "<input type=hidden name=novalue>\r\n<input type=HIDDEN value=nameless>\r\n"
        "<input name=url><select name=catagory><option>Miscellaneous</select></form>";
    std::vector<std::string> thirty(std::begin(ThirtyCategories), std::end(ThirtyCategories));
    const std::vector<std::string> ten = {"Business", "Computers",  "Education", "Entertainment", "Government",
                                          "Personal", "Health",     "Recreation", "Web Stuff",   "Miscellaneous"};

    struct Case {
        const char* what;
        std::string page;
        std::vector<std::string> forms;
        int skipped;
    };
    const Case cases[] = {
        {"a search form before the submit form is skipped once; a later block passes silently", searchThenSubmit,
         {Record({{3, "http://127.0.0.1:8080/links/add.cgi"},
                  {4, "urlname"},  // URLNAME meets both URL and URLNAME; "hidden" keeps title out
                  {5, "urlname"},
                  {6, "contact_email"},
                  {7, "Description"},
                  {10, "contact_email"},  // CONTACT is a prefix of CONTACT_EMAIL
                  {11, "&section=Business"},
                  {14, "address1"},
                  {16, "city"},
                  {18, "zip"},
                  {21, "POST"},
                  {22, "Keywords"},
                  {38, "country"}})},
         1},
        {"hidden fields go form-encoded into the extra parameters; a quoted value keeps its blanks", hidden,
         {Record({{3, "http://127.0.0.1:8080/cgi/add.pl?a=1&b=2"},
                  {5, "url"},
                  {11, "&mode=add+url&x%7Cy=a+b%7Cc%26d%25&catagory=Miscellaneous"},
                  {21, "POST"}})},
         0},
        {"a list of thirty categories", CategoryPage("catagory", thirty),
         {Record({{3, "http://127.0.0.1:8080/cgi-bin/add.cgi"}, {4, "Title"}, {5, "URL"}, {8, "catagory"},
                  {9, "Cat3"}, {21, "POST"}})},
         0},
        {"a list of ten categories", CategoryPage("Selection", ten),
         {Record({{3, "http://127.0.0.1:8080/cgi-bin/add.cgi"}, {4, "Title"}, {5, "URL"}, {8, "Selection"},
                  {9, "Cat2"}, {21, "POST"}})},
         0},
        {"a category list under another name is no category", CategoryPage("cat", thirty), {"failed"}, 0},
        {"a list without a known word is no category", CategoryPage("section", {"Cars", "Boats"}), {"failed"}, 0},
        {"relative action", FormWith("<form action=add.cgi method=get>"),
         {Fixed("http://127.0.0.1:8080/links/add.cgi", "GET")}, 0},
        {"dot action", FormWith("<form action=./add.cgi method=get>"),
         {Fixed("http://127.0.0.1:8080/links/add.cgi", "GET")}, 0},
        {"dot-dot action", FormWith("<form action=\"../add.cgi\" method=post>"),
         {Fixed("http://127.0.0.1:8080/add.cgi", "POST")}, 0},
        {"root action", FormWith("<form action=/x method=post>"), {Fixed("http://127.0.0.1:8080/x", "POST")}, 0},
        {"network-path action", FormWith("<form action=//host.example.org/x method=post>"),
         {Fixed("http://host.example.org/x", "POST")}, 0},
        {"upper-case scheme", FormWith("<form action=HTTP://other.example.org/add method=post>"),
         {Fixed("HTTP://other.example.org/add", "POST")}, 0},
        {"short relative action", FormWith("<form action=./x method=post>"),
         {Fixed("http://127.0.0.1:8080/links/x", "POST")}, 0},
        {"a form without an action posts to its page", FormWith("<form method=post>"),
         {Fixed(PageUrl, "POST")}, 0},
        {"an action holding a bar is refused", FormWith("<form action=\"add.cgi?a|b\" method=post>"), {"failed"}, 0},
        {"a quoted value holds \"<\" and \">\"; the tag runs to the \">\" outside quotes",
         "<form method=post action=\"/cgi/add.cgi?next=<b>\"><input type=hidden name=x value=\"a<b\">"
         "<input type=hidden name=y value=\"c>d\"><input name=url>"
         "<select name=SECTION><option>Business</select></form>",
         {Record({{3, "http://127.0.0.1:8080/cgi/add.cgi?next=<b>"},
                  {5, "url"},
                  {11, "&x=a%3Cb&y=c%3Ed&SECTION=Business"},
                  {21, "POST"}})},
         0},
        {"a quote that never closes quotes nothing",
         "<form action=\"add.cgi method=post><input name=url><select name=SECTION><option>Business</select></form>",
         {Fixed("http://127.0.0.1:8080/links/add.cgi", "POST")}, 0},
        // Submissions go out over HTTP: another scheme would fail on every run.
        {"a script action", FormWith("<form action=\"javascript:go()\" method=post>"), {"failed"}, 0},
        {"a mail action", FormWith("<form action=mailto:add@example.com method=post>"), {"failed"}, 0},
        {"an HTTPS action", FormWith("<form action=HTTPS://secure.example.org/add method=post>"),
         {Fixed("HTTPS://secure.example.org/add", "POST")}, 0},
        {"each block without a URL field before the first form is told",
         "<form action=/s1><input name=q></form><form action=/s2><input name=q></form>" + FormWith("<form action=/a method=get>"),
         {Fixed("http://127.0.0.1:8080/a", "GET")}, 2},
        {"no usable form", "<form action=/search method=get><input name=q></form><p>nothing to add</p>", {}, 2},
        {"a page without forms", "<html><body>Hello</body></html>", {}, 1},
        {"an empty page", "", {}, 0},
    };
    for (const Case& c : cases) {
        const PageOutcome outcome = Analyse(c.page);
        EXPECT_EQ(outcome.forms, c.forms) << c.what;
        EXPECT_EQ(outcome.skipped, c.skipped) << c.what;
    }
    // A page reached through a relocation to an address holding a bar: a
    // relative action would carry the bar into the record.
    EXPECT_EQ(Analyse(FormWith("<form action=add.cgi method=post>"), "http://127.0.0.1:8080/a|b/s.html").forms,
              std::vector<std::string>{"failed"});
}

TEST(FormAnalysis, ActionsResolveAgainstThePage)
{
    struct Case {
        const char* page;
        const char* action;
        const char* expected;
    };
    const Case cases[] = {
        {"http://127.0.0.1:8080/links/submit.html", "add.cgi?x=1#top", "http://127.0.0.1:8080/links/add.cgi?x=1"},
        {"http://127.0.0.1:8080/links/submit.html", "../../../add.cgi", "http://127.0.0.1:8080/add.cgi"},
        {"http://127.0.0.1:8080/a/b/c.html", "./../d/./e.cgi", "http://127.0.0.1:8080/a/d/e.cgi"},
        {"http://127.0.0.1:8080/a/b/c.html?q=1", "?r=2", "http://127.0.0.1:8080/a/b/c.html?r=2"},
        {"https://www.example.com/dir/form.html", "post.cgi", "https://www.example.com/dir/post.cgi"},
        {"http://www.example.com/form.html", "post.cgi", "http://www.example.com/post.cgi"},
        {"http://www.example.com", "post.cgi", "http://www.example.com/post.cgi"},
        {"www.example.com/form.html", "/cgi/add.cgi", "http://www.example.com/cgi/add.cgi"},
        {"https://127.0.0.1:8443/x/y.html", "//other.example.org:81/z", "https://other.example.org:81/z"},
        {"http://127.0.0.1/", "mailto:add@example.com", "mailto:add@example.com"},
        {"http://127.0.0.1/", "add site.cgi", "http://127.0.0.1/add%20site.cgi"},
        // A free-for-all site whose forms post to its partner site.
        {"http://www.ffa-links.example.com:8080/add.html", "/cgi/post.cgi",
         "http://www.ffa-post.example.com:8080/cgi/post.cgi"},
        {"http://ffa-links.example.com/add.html", "post.cgi", "http://ffa-post.example.com/post.cgi"},
        {"http://ffa-links.example.com/add.html", "http://ffa-links.example.com/p", "http://ffa-links.example.com/p"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolveFormAction(c.action, c.page), c.expected) << c.page << " + " << c.action;
}

TEST(FormAnalysis, EngineNamesAreUniqueAndFitTheRecord)
{
    struct Case {
        const char* page;
        std::vector<CodePageString> names;
        const char* expected;
    };
    const Case cases[] = {
        {"http://www.links.example.com/add.html", {}, "links"},
        {"http://WWW.Links.example.com/", {"Alpha"}, "Links"},
        {"http://mywww.example.com/", {}, "mywww"},
        {"http://links.example.com/", {"Free LINKS Page"}, "links1"},
        {"http://links.example.com/", {"links", "links1", "Links2 Page"}, "links3"},
        // No dot: the whole host, as an empty name would key the record on nothing.
        {"http://localhost/add.html", {}, "localhost"},
        {"http://localhost/add.html", {"localhost"}, "localhost1"},
        {"http://user:pw@a=b|c.example.com:81/", {}, "abc"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UniqueEngineName(EngineBaseName(c.page), c.names), c.expected) << c.page;
}

// A later form's category list also counts the selects of the page's
// earlier analysed forms; option values count for their own form only.
TEST(FormAnalysis, EarlierSelectsOfThePageCount)
{
    std::string page = CategoryPage("catagory", {"Business", "Computers", "Education"}) +
                       "<form action=/b><input name=url><select name=catagory>"
                       "<option value=Entertainment>E<option>Government<option>Personal<option>Miscellaneous"
                       "</select></form>"
                       "<form action=/c><input name=url><select name=catagory><option>Cars</select></form>";
    std::vector<CodePageString> types;
    FindSubmitForms(page, PageUrl, [&](TSubmitForm& form) {
        types.push_back(form.CategoryType + "/" + form.Category);
        return true;
    }, {});
    EXPECT_EQ(types, (std::vector<CodePageString>{"/default", "Cat1/catagory", "/default"}));
}

TEST(FormAnalysis, MalformedTextEndsAtItsEnd)
{
    // No ">" and no closing quote: values end at the end of the text.
    for (const char* page : {"<input name=url", "<input name=\"url", "<form method=post action=\"", "<select name=",
                             "<select><option>", "<option selected>", "a</FOR", "</form", "<", "<<<<"}) {
        EXPECT_NO_THROW(Analyse(page)) << page;
    }
    TSubmitForm form;
    TFormPage state{PageUrl};
    AnalyseFormBlock("<input name=\"url", state, form);
    EXPECT_EQ(form.Url, "url");
}

TEST(FormAnalysis, APollCanStopALongScan)
{
    std::string page = "<form action=/a><input name=url>";
    for (int i = 0; i < 10000; ++i)
        page += "<b>x</b>";
    int polls = 0;
    const bool finished = FindSubmitForms(page, PageUrl, [](TSubmitForm&) { return true; }, {}, [&] {
        ++polls;
        return false;
    });
    EXPECT_FALSE(finished);
    EXPECT_EQ(polls, 1);
}

TEST(FormAnalysis, RecordsRoundTrip)
{
    TEngineFields fields;
    for (int i = 1; i <= EngineFieldCount; ++i)
        fields[std::size_t(i)] = i >= 23 && i <= 37 ? "" : "f" + std::to_string(i);
    fields[efTitle] = "site title\r\n";
    const CodePageString line = CustomEngineLine("My Engine", fields);
    EXPECT_EQ(line.substr(0, line.find('=')), "My+Engine");
    EXPECT_EQ(std::count(line.begin(), line.end(), '|'), 38);
    EXPECT_EQ(line.back(), '|');
    const TEngineFields back = EngineFieldsOf(line.substr(line.find('=') + 1));
    EXPECT_EQ(back[efTitle], "site+title");
    EXPECT_EQ(back[efCountry], "f38");
    EXPECT_EQ(back[efKeywords], "f22");
    EXPECT_EQ(StoredEngineName("a b\r\nc"), "a+bc");
}

TEST(FormAnalysis, Encoders)
{
    EXPECT_EQ(FormEncode("aZ09-._* +&=|%\xE9"), "aZ09-._*+%2B%26%3D%7C%25%E9");
    EXPECT_EQ(DecodeCharRefs("a&amp;b&lt;&gt;&quot;&apos;&#65;&#x42;&#300;&copy;&;&"), "a&b<>\"'AB&#300;&copy;&;&");
}
