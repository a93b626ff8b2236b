#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Files.h"
#include "htmlview/HtmlParse.h"
#include "platform/CodePage.h"
#include "support/TempDir.h"

namespace {

CodePageString SymbolName(HtmlSymbol symbol)
{
    for (const TagEntry& tag : TagTable) {
        if (tag.Start == symbol)
            return CodePageString(tag.Name);
        if (tag.End == symbol)
            return "/" + CodePageString(tag.Name);
    }
    return "#" + IntToStr(int(symbol));
}

CodePageString AttributeName(HtmlSymbol symbol)
{
    if (symbol == HtmlSymbol::UnknownAttr)
        return "?";
    for (const AttributeEntry& attribute : AttributeTable)
        if (attribute.Symbol == symbol)
            return CodePageString(attribute.Name);
    return "#" + IntToStr(int(symbol));
}

// One line per token list: 'text' for text, <NAME attr="text"/value> for tags
// (<H3> with its level, <?NAME> for an unknown tag), !c for a stray character.
// Control bytes in texts show as \r, \n or \xHH.
CodePageString Visible(const CodePageString& text)
{
    CodePageString out;
    for (unsigned char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 32 || c >= 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += char(c);
    }
    return out;
}

CodePageString Dump(const std::vector<HtmlToken>& tokens)
{
    CodePageString out;
    for (const HtmlToken& token : tokens) {
        if (!out.empty())
            out += ' ';
        switch (token.Symbol) {
        case HtmlSymbol::Text:
            out += "'" + Visible(token.Text) + "'";
            break;
        case HtmlSymbol::StrayChar:
            out += "!" + Visible(token.Text);
            break;
        case HtmlSymbol::UnknownTag:
            out += "<?" + token.Text + ">";
            break;
        default:
            out += "<" + SymbolName(token.Symbol);
            if (token.HeadingLevel)
                out += IntToStr(token.HeadingLevel);
            for (const TAttribute& a : token.Attributes)
                out += " " + AttributeName(a.Symbol) + "=\"" + Visible(a.Text) + "\"/" + IntToStr(a.Value);
            out += ">";
        }
    }
    return out;
}

struct Case {
    const char* input;
    const char* tokens;
};

void ExpectTokens(const std::vector<Case>& cases)
{
    for (const Case& c : cases)
        EXPECT_EQ(Dump(TokenizeHtml(c.input)), c.tokens) << "input: " << Visible(c.input);
}

std::vector<HtmlToken> TokenizeKeepingBlanks(std::string_view bytes)
{
    ParserState parser;
    parser.SetBufferSource(bytes.data(), bytes.size());
    parser.KeepBlanks = true;
    return ReadTokens(parser);
}

}  // namespace

TEST(HtmlTokenizer, LineEndsFoldToOneCarriageReturn)
{
    for (const char* input : {"one\r\ntwo", "one\n\rtwo", "one\rtwo", "one\ntwo"}) {
        EXPECT_EQ(Dump(TokenizeHtml(input)), "'one two'") << Visible(input);
        EXPECT_EQ(Dump(TokenizeKeepingBlanks(input)), "'one\\rtwo'") << Visible(input);
    }
    EXPECT_EQ(Dump(TokenizeKeepingBlanks("a\r\n\r\nb\n\nc\t d")), "'a\\r\\rb\\r\\rc  d'");
    EXPECT_EQ(Dump(TokenizeHtml("a \t\r\n  \r\n b")), "'a b'") << "white space collapses across lines";
}

TEST(HtmlTokenizer, Entities)
{
    ExpectTokens({
        // named
        {"&amp;", "'&'"},
        {"&amp x", "'&' ' x'"},
        {"&lt;&gt;&quot;", "'<' '>' '\"'"},
        {"&nbsp;&Eacute;&eacute;&yuml;", "'\\xA0' '\\xC9' '\\xE9' '\\xFF'"},
        {"&AMP;", "'&AMP;'"},
        {"&Amp", "'&Amp'"},
        {"&foo;bar", "'&foo;' 'bar'"},
        {"&ltx", "'&ltx'"},
        {"&frac14;", "'\\xBC'"},
        {"&abcdefgh;", "'&abcdefg' 'h;'"},
        {"& x", "'&' ' x'"},
        {"&;", "'&;'"},
        // decimal
        {"&#65;", "'A'"},
        {"&#65", "'A'"},
        {"&#065x", "'A' 'x'"},
        {"&#9;", "' '"},
        {"&#10;", "'\\n'"},
        {"&#32;&#255;", "' ' '\\xFF'"},
        {"&#1234567;", "'&#123456' '7;'"},
        // hexadecimal
        {"&#x41;", "'A'"},
        {"&#X6a", "'j'"},
        {"&#x;", "'&#x;'"},
        {"&#xg", "'&#x' 'g'"},
        {"&#x1234567;", "'&#x123456' '7;'"},
        // unterminated at the end of the document
        {"&", "'&'"},
        {"&#", "'&#'"},
        {"&lt", "'<'"},
        {"a&", "'a' '&'"},
    });
}

// A reference to a character that Windows-1252 holds beyond Latin-1 shows
// as that byte; a character the page's single bytes cannot show stays as
// it was written.
TEST(HtmlTokenizer, ReferencesToCharactersOfTheCodePage)
{
    ExpectTokens({
        {"A &#8212; B", "'A ' '\\x97' ' B'"},
        {"&#8364;&#8482;&#338;&#376;", "'\\x80' '\\x99' '\\x8C' '\\x9F'"},
        {"&#xE9;&#x2014;&#X20ac", "'\\xE9' '\\x97' '\\x80'"},
        {"&#8213;", "'&#8213;'"},
        {"&#x3A9;", "'&#x3A9;'"},
        {"&#65533;", "'&#65533;'"},
        {"&mdash", "'\\x97'"},
        {"&MDASH;", "'&MDASH;'"},
        {"&Zcaron;", "'&Zcaron;'"},
        {"<img alt=\"a&ndash;b\">", "<IMG ALT=\"a\\x96b\"/0>"},
    });
    // Each of the 25 names of HTML 4 whose character the code page holds,
    // with the character's code point.
    const struct {
        const char* name;
        char16_t unicode;
    } names[] = {
        {"OElig", 0x152},  {"oelig", 0x153},  {"Scaron", 0x160}, {"scaron", 0x161}, {"Yuml", 0x178},
        {"fnof", 0x192},   {"circ", 0x2C6},   {"tilde", 0x2DC},  {"ndash", 0x2013}, {"mdash", 0x2014},
        {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"sbquo", 0x201A}, {"ldquo", 0x201C}, {"rdquo", 0x201D},
        {"bdquo", 0x201E}, {"dagger", 0x2020}, {"Dagger", 0x2021}, {"bull", 0x2022}, {"hellip", 0x2026},
        {"permil", 0x2030}, {"lsaquo", 0x2039}, {"rsaquo", 0x203A}, {"euro", 0x20AC}, {"trade", 0x2122},
    };
    for (const auto& n : names) {
        const std::vector<HtmlToken> named = TokenizeHtml(std::string("&") + n.name + ";");
        const std::vector<HtmlToken> numbered = TokenizeHtml("&#" + std::to_string(int(n.unicode)) + ";");
        ASSERT_EQ(named.size(), 1u) << n.name;
        ASSERT_EQ(named[0].Text.size(), 1u) << n.name << " stays " << named[0].Text;
        EXPECT_EQ(CharFrom1252(static_cast<unsigned char>(named[0].Text[0])), n.unicode) << n.name;
        ASSERT_EQ(numbered.size(), 1u) << n.name;
        EXPECT_EQ(numbered[0].Text, named[0].Text) << n.name;
    }
}

TEST(HtmlTokenizer, CharacterReferencesOutOfRangeStayLiteral)
{
    ExpectTokens({
        {"&#300;", "'&#300;'"},
        {"&#256;", "'&#256;'"},
        {"&#99999;", "'&#99999;'"},
        {"&#0;", "'&#0;'"},
        {"&#13;", "'&#13;'"},
        {"&#31", "'&#31'"},
        {"&#4294967296;", "'&#429496' '7296;'"},
        {"&#00000000065;", "'&#000000' '00065;'"},
    });
}

TEST(HtmlTokenizer, CommentsAndDeclarations)
{
    ExpectTokens({
        {"a<!-- x -->b", "'ab'"},
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">x", "'x'"},
        {"<!-- one -- two -->x", "'x'"},
        {"<!---->x", "'x'"},
        {"<!-- a ---- \r\n >x", "'x'"},
        {"<!-- a -- > b -->x", "' b --' !> 'x'"},
        {"<!-- a --x> b -->y", "'y'"},
        {"<!-x>y", "'y'"},
        {"<!>y", "'y'"},
        {"<!-- a --><!-- b -->c", "'c'"},
        {"a <!-- x --> b", "'a b'"},
        {"<b<!-- x -->>", "<B>"},
        // inside a quoted value too, when it ends there
        {"<img alt=\"a<!-- x -->b\" src='c<!---->d.gif'>e", "<IMG ALT=\"ab\"/0 SRC=\"cd.gif\"/0> 'e'"},
        {"<img alt=\"a<!-- x -- \r\n >b<!DOCTYPE x>c\">", "<IMG ALT=\"abc\"/0>"},
        {"<img alt=\"<!--\" src=x>e", "<IMG ALT=\"<!--\"/0 SRC=\"x\"/0> 'e'"},
        {"<img alt='<!-- a \"--> b'>e", "<IMG ALT=\"b\"/0> 'e'"},  // the other quote is the comment's
        {"<img alt=\"a<b<!x\">e", "<IMG ALT=\"a<b<!x\"/0> 'e'"},
    });
    for (const char* open : {"<!-- never closed", "<!-- a -- b", "<!DOCTYPE", "<!", "a<!-", "<!-- --x>"}) {
        try {
            TokenizeHtml(open);
            ADD_FAILURE() << "no error for " << open;
        } catch (const EParseError& e) {
            EXPECT_EQ(e.Message, "Open Comment at End of HTML File") << open;
        }
    }
}

TEST(HtmlTokenizer, Tags)
{
    ExpectTokens({
        {"<b>x</B>", "<B> 'x' </B>"},
        {"<TaBlE></table >", "<TABLE> </TABLE>"},
        {"<li>a</li>", "<LI> 'a' <?LI>"},
        {"</br>", "<?BR>"},
        {"<h3>t</h3>", "<H3> 't' </H3>"},
        {"<h 3>", "<H3>"},
        {"<h7 align=center>", "<H>"},
        {"<h>", "<H>"},
        {"<blink>x</blink>", "<?BLINK> 'x' <?BLINK>"},
        {"a < b", "'a ' '<' ' b'"},
        {"a>b", "'a' !> 'b'"},
        {"<>", "'<' !>"},
        {"</>", "<?>"},
        {"<1>", "'<' '1' !>"},
        {"x\x01y", "'x' !\\x01 'y'"},
        {"<b", "<B>"},
        {"<p align=center>", "<P ALIGN=\"center\"/0>"},
        {"</p align=center>", "</P>"},
        {"<h2 align=right>", "<H2 ALIGN=\"right\"/0>"},
        {"<wrap>", "<WRAP>"},
        {"<selected>", "<SELECTED>"},
    });
}

TEST(HtmlTokenizer, Attributes)
{
    ExpectTokens({
        {"<table border>", "<TABLE BORDER=\"\"/1>"},
        {"<table border=0 cellpadding=\"4\">", "<TABLE BORDER=\"0\"/0 CELLPADDING=\"4\"/4>"},
        {"<img width=50%>", "<IMG WIDTH=\"50%\"/50>"},
        {"<img width=50 % height=7>", "<IMG WIDTH=\"50%\"/50 HEIGHT=\"7\"/7>"},
        {"<img width=\" 50% \">", "<IMG WIDTH=\"50%\"/50>"},
        {"<img width=50px>", "<IMG WIDTH=\"50px\"/0>"},
        {"<font size=+1>", "<FONT SIZE=\"+1\"/1>"},
        {"<font size=-2>", "<FONT SIZE=\"-2\"/-2>"},
        {"<font size=->", "<FONT SIZE=\"-\"/0>"},
        {"<font color=#ff0000>", "<FONT COLOR=\"#ff0000\"/0>"},
        {"<a href='a b.htm' target = _top>", "<A HREF=\"a b.htm\"/0 TARGET=\"_top\"/0>"},
        {"<a href=\"x?a=1&amp;b=2\">", "<A HREF=\"x?a=1&b=2\"/0>"},
        {"<a href=x>y</a>", "<A HREF=\"x\"/0> 'y' </A>"},
        {"<img alt=\"two\r\nlines\">", "<IMG ALT=\"twolines\"/0>"},
        {"<img alt='say \"hi\"'>", "<IMG ALT=\"say \"hi\"\"/0>"},
        {"<td foo=1 colspan=2>", "<TD ?=\"1\"/1 COLSPAN=\"2\"/2>"},
        {"<td colspan=2 3 rowspan=4>", "<TD COLSPAN=\"2\"/2>"},
        {"<meta http-equiv=refresh content=\"10; url=a.htm\">",
         "<META HTTP-EQUIV=\"refresh\"/0 CONTENT=\"10; url=a.htm\"/0>"},
        {"<input type=checkbox value=a value=b checked>",
         "<INPUT TYPE=\"checkbox\"/0 VALUE=\"a\"/0 VALUE=\"b\"/0 CHECKED=\"\"/0>"},
        {"<input value=\"never closed", "<INPUT VALUE=\"never closed\"/0>"},
        {"<img src=a.gif alt=>", "<IMG SRC=\"a.gif\"/0 ALT=\"\"/0>"},
        {"<option selected value=\"2\">", "<OPTION SELECTED=\"\"/0 VALUE=\"2\"/2>"},
        {"<b class=x>", "<B>"},
    });
}

TEST(HtmlTokenizer, TagsWithoutAttributesKeepThePreviousList)
{
    const std::string html = "<a href=x><b class=y>";
    ParserState parser;
    parser.SetBufferSource(html.data(), html.size());
    parser.AdvanceChar();
    parser.NextToken();
    parser.NextToken();
    ASSERT_EQ(parser.Symbol, HtmlSymbol::B);
    TAttribute* href = nullptr;
    ASSERT_TRUE(parser.TagAttributes.FindSymbol(HtmlSymbol::Href, href));
    EXPECT_EQ(href->Text, "x");
}

TEST(HtmlTokenizer, ColoursFromAttributes)
{
    for (const char* html : {"<font color=ff0000>", "<font color=#ff0000>", "<font color=\"#FF0000\">",
                             "<font color='ff0000'>", "<font color=red>", "<font color=\"Red\">"}) {
        const std::vector<HtmlToken> tokens = TokenizeHtml(html);
        ASSERT_EQ(tokens.size(), 1u);
        ASSERT_EQ(tokens[0].Attributes.size(), 1u);
        TColor color = clNone;
        EXPECT_TRUE(ParseColor(tokens[0].Attributes[0].Text, color)) << html;
        EXPECT_EQ(color, clRed) << html;
    }
}

TEST(HtmlTokenizer, ParseColor)
{
    const struct {
        const char* text;
        bool ok;
        TColor color;
    } cases[] = {
        {"navy", true, clNavy},        {"SILVER", true, clSilver},     {"Fuchsia", true, clFuchsia},
        {"00ff00", true, clLime},      {"#123456", true, RGB(0x12, 0x34, 0x56)},
        {"12#3456", true, RGB(0x12, 0x34, 0x56)},
        {"fff", true, RGB(0x00, 0x0F, 0xFF)},
        {"", false, clNone},           {"#", false, clNone},           {"nonsense", false, clNone},
        {"#12345g", false, clNone},    {"reddish", false, clNone},     {"- 1", false, clNone},
    };
    for (const auto& c : cases) {
        TColor color = clNone;
        EXPECT_EQ(ParseColor(c.text, color), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(color, c.color) << c.text;
        }
    }
}

TEST(HtmlTokenizer, FontSizeSteps)
{
    const struct {
        bool pre;
        int points;
        int step;
    } cases[] = {
        {false, 8, 1}, {false, 14, 4}, {false, 36, 7}, {false, 15, -1}, {false, 7, -1}, {false, 13, -1},
        {true, 7, 1},  {true, 15, 5},  {true, 12, 3},  {true, 36, 7},   {true, 30, 7},  {true, 9, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SizeStepOf(c.pre, c.points), c.step) << c.pre << " " << c.points;
}

TEST(HtmlTokenizer, LongTextsAndTagNames)
{
    const std::string run(250, 'x');
    const std::vector<HtmlToken> text = TokenizeHtml(run);
    ASSERT_EQ(text.size(), 3u);
    EXPECT_EQ(text[0].Text, std::string(100, 'x'));
    EXPECT_EQ(text[1].Text, std::string(100, 'x'));
    EXPECT_EQ(text[2].Text, std::string(50, 'x'));

    const std::string name(200, 'q');
    const std::vector<HtmlToken> tag = TokenizeHtml("<" + name + " a=1>after");
    ASSERT_EQ(tag.size(), 2u);
    EXPECT_EQ(tag[0].Symbol, HtmlSymbol::UnknownTag);
    EXPECT_EQ(tag[0].Text, std::string(150, 'Q'));
    EXPECT_EQ(tag[1].Text, "after");

    // A blank that fills a token's last place still swallows the white space after it.
    const std::vector<HtmlToken> edge = TokenizeHtml(std::string(99, 'y') + "    z");
    ASSERT_EQ(edge.size(), 2u);
    EXPECT_EQ(edge[0].Text, std::string(99, 'y') + " ");
    EXPECT_EQ(edge[1].Text, "z");
}

TEST(HtmlTokenizer, EndOfInputByteEndsTheDocument)
{
    ExpectTokens({
        {"ab\x1a" "cd<b>", "'ab'"},
        {"<a href=\"x\x1ay\">", "<A HREF=\"x\"/0>"},
        {"\x1a<b>", ""},
    });
}

// Ending the input where a token ends: the next token is the end, whatever
// the source, a character read ahead, an include buffer or an open comment
// after it.
TEST(HtmlTokenizer, EndingTheInputEndsTheDocumentThere)
{
    const std::string included = "<i>in</i>";
    const TIncludeEvent include = [&](TObject*, const CodePageString&, TStrings*, const char*& buffer, int& size) {
        buffer = included.data();
        size = int(included.size());
    };
    const struct {
        const char* page;
        HtmlSymbol first;
    } cases[] = {
        {"<b>text", HtmlSymbol::B},
        {"<b>\r\n<i>", HtmlSymbol::B},
        {"text\n\rmore", HtmlSymbol::Text},
        {"<b>x<!-- open", HtmlSymbol::B},
        {"<!--#include file=x --><b>", HtmlSymbol::I},
    };
    TempDir dir;
    for (const auto& c : cases) {
        TStringList lines;
        lines.SetText(c.page);
        const std::string file = dir.Write("page.htm", c.page);
        for (int source = 0; source < 3; ++source) {
            SCOPED_TRACE(std::string(c.page) + " source " + std::to_string(source));
            ParserState parser;
            parser.IncludeEvent = include;
            if (source == 0)
                parser.SetBufferSource(c.page, std::strlen(c.page));
            else if (source == 1)
                parser.SetStringsSource(lines);
            else
                parser.SetFileSource(file);
            parser.AdvanceChar();
            parser.NextToken();
            EXPECT_EQ(parser.Symbol, c.first);
            parser.EndInput();
            EXPECT_EQ(parser.CurrentChar, EndOfInputChar);
            for (int i = 0; i < 2; ++i) {
                parser.AdvanceChar();
                parser.NextToken();
                EXPECT_EQ(parser.Symbol, HtmlSymbol::EndOfInput);
            }
        }
    }
}

TEST(HtmlTokenizer, IncludeDirectivesReadTheHandlersBytes)
{
    std::vector<CodePageString> calls;
    std::string included = "<b>in</b>";
    const TIncludeEvent include = [&](TObject*, const CodePageString& command, TStrings* params, const char*& buffer,
                                      int& size) {
        calls.push_back(command + " " + params->CommaText());
        buffer = included.data();
        size = int(included.size());
    };
    EXPECT_EQ(Dump(TokenizeHtml("a<!--#include file=\"x.htm\" virtual=y -->c", include)),
              "'a' <B> 'in' </B> 'c'");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], "include \"FILE=\"\"x.htm\"\"\",\"VIRTUAL=\"\"y\"\"\"");

    // Without a handler a directive is a comment; so is one inside included bytes.
    EXPECT_EQ(Dump(TokenizeHtml("a<!--#include file=x -->c")), "'ac'");
    included = "[<!--#echo var=x -->]";
    calls.clear();
    EXPECT_EQ(Dump(TokenizeHtml("<!--#include file=x -->!", include)), "'[]!'");
    EXPECT_EQ(calls.size(), 1u);

    // A handler that gives nothing leaves the document as it is.
    const TIncludeEvent nothing = [](TObject*, const CodePageString&, TStrings*, const char*&, int& size) { size = 0; };
    EXPECT_EQ(Dump(TokenizeHtml("a<!--#x-->b", nothing)), "'ab'");

    // A directive or its quoted value still open at the end is an open comment.
    for (const char* open : {"<!--#include file=x", "<!--#include file=\"x -->"})
        EXPECT_THROW(TokenizeHtml(open, include), EParseError) << open;
}

TEST(HtmlTokenizer, StringListLinesEachEndWithACarriageReturn)
{
    TStringList lines;
    lines.Add("<p>one");
    lines.Add("two");
    EXPECT_EQ(Dump(TokenizeHtml(lines)), "<P> 'one two '");
    TStringList none;
    EXPECT_EQ(Dump(TokenizeHtml(none)), "");
}

TEST(HtmlTokenizer, FileSource)
{
    TempDir dir;
    std::string page;
    for (int i = 0; i < 500; ++i)
        page += "<p>line " + std::to_string(i) + "\r\n";
    const std::string path = dir.Write("page.htm", page);

    ParserState fromFile;
    fromFile.SetFileSource(path);
    EXPECT_EQ(ReadTokens(fromFile), TokenizeHtml(page)) << "blocks of the file join seamlessly";

    ParserState missing;
    EXPECT_THROW(missing.SetFileSource(dir.File("none.htm")), EInOutError);
}

TEST(HtmlTokenizer, ContentClearsTheParagraphSpaceFlag)
{
    const std::string html = "<b><br>x";
    ParserState parser;
    parser.SetBufferSource(html.data(), html.size());
    parser.AdvanceChar();
    parser.ParagraphSpaceDone = true;
    parser.NextToken();
    EXPECT_TRUE(parser.ParagraphSpaceDone) << "a style tag is no content";
    parser.NextToken();
    EXPECT_FALSE(parser.ParagraphSpaceDone);
    parser.ParagraphSpaceDone = true;
    parser.NextToken();
    EXPECT_FALSE(parser.ParagraphSpaceDone);
}
