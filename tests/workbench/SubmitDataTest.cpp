#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "MainFixture.h"
#include "classlib/Dates.h"
#include "classlib/Files.h"
#include "support/TempDir.h"
#include "workbench/ReportData.h"
#include "workbench/SubmitData.h"

namespace {

// Builds a record's value part from (field number, text) pairs; 38 fields, each ended by "|".
CodePageString Record(std::initializer_list<std::pair<int, const char*>> fields)
{
    std::vector<CodePageString> values(38);
    for (const auto& [n, text] : fields)
        values[n - 1] = text;
    CodePageString out;
    for (const auto& v : values)
        out += v + "|";
    return out;
}

// The shop project with keywords that encode to one plain comma.
ProjectRecord Project()
{
    ProjectRecord p = ShopProject();
    p.key1 = "cats,mice";
    return p;
}

CodePageString Categories(const CodePageString& section, const CodePageString& key)
{
    if (section == "SubCat1" && key == "Business")
        return "biz 1";  // installation data: sent as stored
    return "";
}

TEST(SubmissionRequest, FieldsInRecordOrderWithValuesEncoded)
{
    const CodePageString record = Record({{1, "Engine"}, {2, "http://e.example.com/add.html"},
                                      {3, "http://e.example.com/cgi-bin/add"}, {4, "t"}, {5, "u"}, {6, "e"},
                                      {7, "d"}, {8, "cat"}, {9, "Cat1"}, {10, "n"}, {11, "&lang=en&x=a b"},
                                      {12, "l"}, {16, "c"}, {21, "POST"}, {22, "k"}, {38, "co"}});
    const SubmissionRequest r = BuildSubmissionRequest(record, Project(), Categories);
    EXPECT_EQ(r.url, "http://e.example.com/cgi-bin/add");
    EXPECT_EQ(r.referer, "http://e.example.com/add.html");
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.data,
              "t=Tom+%26+Jerry%27s+100%25+shop"
              "&u=http%3A%2F%2Fshop.example.com%2F%3Fa%3D1%26b%3D2"
              "&e=tom%2Bshop%40example.com"
              "&d=Fine+goods"
              "&cat=biz 1"
              "&n=Tom"
              "&lang=en&x=a b"
              "&l=Cat&c=Springfield&k=cats%2Cmice&co=US");
}

TEST(SubmissionRequest, MissingFieldsAndCategories)
{
    // No title field: the data begins with "&". A category type without a map
    // entry sends the field empty; "default" has no section at all.
    const SubmissionRequest r = BuildSubmissionRequest(
        Record({{1, "FFA"}, {3, "http://f.example.org/add"}, {5, "url"}, {8, "c"}, {9, "Cat3"}, {21, "GET"}}),
        Project(), Categories);
    EXPECT_EQ(r.data, "&url=http%3A%2F%2Fshop.example.com%2F%3Fa%3D1%26b%3D2&c=");
    EXPECT_EQ(r.method, "GET");

    // A category type with no category field adds nothing.
    EXPECT_EQ(BuildSubmissionRequest(Record({{4, "t"}, {9, "Cat1"}}), Project(), Categories).data,
              "t=Tom+%26+Jerry%27s+100%25+shop");
    // An engine missing from the list gives an empty record: nothing to send.
    const SubmissionRequest empty = BuildSubmissionRequest("", Project(), Categories);
    EXPECT_EQ(empty.url, "");
    EXPECT_EQ(empty.data, "");
}

TEST(SubmissionRequest, EncodeFormValue)
{
    EXPECT_EQ(EncodeFormValue("a-z_A.Z~09"), "a-z_A.Z~09");
    EXPECT_EQ(EncodeFormValue("a b"), "a+b");
    EXPECT_EQ(EncodeFormValue("+&=%"), "%2B%26%3D%25");
    EXPECT_EQ(EncodeFormValue("\xE9\r\n"), "%E9%0D%0A");
    EXPECT_EQ(EncodeFormValue(""), "");
}

TEST(SubmissionResult, HeaderStatusToResult)
{
    struct Case {
        int status;
        const char* text;
        int resultStatus;
        const char* resultText;
        ResultClass cls;
        int image;
    };
    const Case cases[] = {
        {200, "OK", 200, "OK", ResultClass::Successful, RowImageSuccessful},
        {200, "", 200, "OK", ResultClass::Successful, RowImageSuccessful},
        {201, "Created", 201, "Created", ResultClass::Successful, RowImageSuccessful},
        {302, "Found", 302, "OK", ResultClass::Successful, RowImageSuccessful},
        {303, "See Other", 303, "OK", ResultClass::Successful, RowImageSuccessful},
        {307, "Temporary Redirect", 307, "OK", ResultClass::Successful, RowImageSuccessful},
        {304, "Not Modified", 304, "Not Modified", ResultClass::Failed, RowImageFailed},
        {404, "Not Found", 404, "Not Found", ResultClass::Failed, RowImageFailed},
        {404, "", 404, "404", ResultClass::Failed, RowImageFailed},
        {400, "", 400, "400", ResultClass::Failed, RowImageFailed},
        {503, "", 503, "503", ResultClass::Failed, RowImageFailed},
        {408, "", 408, "408", ResultClass::TimedOut, RowImageTimedOut},
        {399, "", 200, "OK", ResultClass::Successful, RowImageSuccessful},
        {500, "Internal Server Error", 500, "Internal Server Error", ResultClass::Failed, RowImageFailed},
        {408, "Request Timeout", 408, "Request Timeout", ResultClass::TimedOut, RowImageTimedOut},
    };
    for (const auto& c : cases) {
        const SubmissionResult r = ResultOfHeader(c.status, c.text);
        EXPECT_EQ(r.status, c.resultStatus) << c.status;
        EXPECT_EQ(r.text, c.resultText) << c.status;
        EXPECT_EQ(ClassifyResult(r.status), c.cls) << c.status;
        EXPECT_EQ(RowImageOfResult(r.status), c.image) << c.status;
    }
    EXPECT_EQ(ClassifyResult(StoppedResult.status), ResultClass::Failed);
    EXPECT_EQ(ClassifyResult(SocketErrorResult.status), ResultClass::Failed);
    EXPECT_EQ(ClassifyResult(TimeoutResult.status), ResultClass::TimedOut);
}

TEST(SubmissionOptions, CheckSubmitOption)
{
    struct Case {
        const char* text;
        bool ok;
        int value;
    };
    const Case cases[] = {{"10", true, 10}, {"1", true, 1}, {" 50 ", true, 50}, {"0", false, 0},
                          {"-5", false, 0}, {"abc", false, 0}, {"", false, 0},  {"99999999999", false, 0}};
    for (const auto& c : cases) {
        int value = -1;
        const auto error = CheckSubmitOption(c.text, "Ports", value);
        EXPECT_EQ(!error, c.ok) << c.text;
        if (c.ok)
            EXPECT_EQ(value, c.value) << c.text;
        else
            EXPECT_NE(error->find("Ports"), CodePageString::npos);
    }
}

TEST(SubmissionReport, LinesWholeWithHeaderTitleAndFooter)
{
    ReportInput in;
    in.settings.titleText = "Submission Results";
    in.headerLines = std::vector<CodePageString>{"<html><body>"};
    in.footerLines = std::vector<CodePageString>{"</body></html>"};
    in.homeLocation = "http://www.example.com/tenvarel";
    in.projectUrl = "http://shop.example.com/";
    in.projectName = "Shop";
    in.rows = {{"Acorn", "http://a.example.com/add", "OK", "12/9/2026 3:04:05 PM", "Engine"},
               {"Blue", "http://b.example.net/", "<script>x</script> & \"q\"", "", "Batch->25"}};
    std::vector<CodePageString> expected = {
        "<html><body>",
        "<BLOCKQUOTE><P ALIGN=\"center\"><B><FONT SIZE=\"5\" COLOR=\"#00779E\">",
        "Submission Results",
        "</FONT><FONT COLOR=\"#2400AA\" SIZE=\"5\"><BR>",
        "<A HREF=\"http://www.example.com/tenvarel\" TARGET=\"_top\"></A><BR>",
        "</FONT></B><FONT SIZE=\"3\" COLOR=\"#00639D\"></FONT></P> </BLOCKQUOTE>",
        "<center><b><FONT SIZE=\"5\" COLOR=\"#00779E\">http://shop.example.com/ (Shop)</font></b></center><br>",
    };
    expected.insert(expected.end(), ReportTableHead().begin(), ReportTableHead().end());
    expected.insert(expected.end(), {
        "<tr><td>Acorn&nbsp;</td>",
        "<td><A HREF=\"http://a.example.com/add\">http://a.example.com/add</A>&nbsp;</td>",
        "<td>OK&nbsp;</td>",
        "<td>12/9/2026 3:04:05 PM&nbsp;</td>",
        "<td>Engine&nbsp;</td></tr>",
        "<tr><td>Blue&nbsp;</td>",
        "<td><A HREF=\"http://b.example.net/\">http://b.example.net/</A>&nbsp;</td>",
        "<td>&lt;script&gt;x&lt;/script&gt; &amp; &quot;q&quot;&nbsp;</td>",
        "<td>&nbsp;</td>",
        "<td>Batch-&gt;25&nbsp;</td></tr>",
        "</table>",
        "</body></html>",
    });
    EXPECT_EQ(SubmissionReportLines(in), expected);

    // Unreadable header and footer, no title, no rows: the project line and the bare table.
    ReportInput bare;
    bare.settings.title = false;
    bare.projectUrl = "u";
    bare.projectName = "p";
    const auto lines = SubmissionReportLines(bare);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines.front(), "<center><b><FONT SIZE=\"5\" COLOR=\"#00779E\">u (p)</font></b></center><br>");
    EXPECT_EQ(lines.back(), "</table>");
}

TEST(SubmissionReport, FileNameFromTheShortDate)
{
    FormatSettings().ShortDateFormat = "m/d/yyyy";
    FormatSettings().DateSeparator = '/';
    EXPECT_EQ(ReportFileName("Shop", EncodeDate(2026, 12, 9)), "Shop12-9-2026.htm");
    FormatSettings().ShortDateFormat = "dd.mm.yyyy";
    FormatSettings().DateSeparator = '.';
    EXPECT_EQ(ReportFileName("Shop", EncodeDate(2026, 12, 9)), "Shop09.12.2026.htm");
    ResetFormatSettings();
}

TEST(Settings, ReportAndProxySectionsRoundTrip)
{
    TempDir dir;
    const std::string file = dir.File("wkt.ini");
    TIniFile ini(file);

    const ReportSettings defaults = ReadReportSettings(ini);
    EXPECT_TRUE(defaults.genReport && defaults.header && defaults.footer && defaults.title);
    EXPECT_EQ(defaults.headerPath, "error");
    EXPECT_FALSE(ReadProxySettings(ini).on);

    ReportSettings r;
    r.footer = false;
    r.headerPath = "/home/u/head.htm";
    r.titleText = "Submission Results";
    WriteReportSettings(ini, r);
    ProxySettings p{"127.0.0.1", "8888", "user", "secret", true};
    WriteProxySettings(ini, p);

    EXPECT_EQ(ReadFileBytes(file),
              "[Reports]\r\nGenReport=1\r\nHeaderCK=1\r\nFooterCk=0\r\nTitleCk=1\r\n"
              "HeaderPath=/home/u/head.htm\r\nFooterPath=error\r\nTitleTxt=Submission Results\r\n"
              "\r\n[Proxy]\r\nProxyHost=127.0.0.1\r\nProxyPassword=secret\r\nProxyPort=8888\r\n"
              "ProxyUserName=user\r\nKeyProxy=1\r\n");
    const ProxySettings back = ReadProxySettings(ini);
    EXPECT_EQ(back.host, "127.0.0.1");
    EXPECT_EQ(back.port, "8888");
    EXPECT_EQ(back.userName, "user");
    EXPECT_EQ(back.password, "secret");
    EXPECT_TRUE(back.on);
    EXPECT_FALSE(ReadReportSettings(ini).footer);
}

}  // namespace
