#include "workbench/DoorwayData.h"

#include "classlib/Strings.h"

std::vector<CodePageString> DoorwayKeywords(const CodePageString& keywords, bool singleKeyword)
{
    if (singleKeyword)
        return {keywords};
    std::vector<CodePageString> list;
    CodePageString rest = keywords;
    for (std::size_t comma = rest.find(','); comma != CodePageString::npos; comma = rest.find(',')) {
        list.push_back(rest.substr(0, comma));
        rest.erase(0, comma + 1);
        if (rest.size() > 2 && rest[0] == ' ')
            rest.erase(0, 1);
    }
    list.push_back(rest);
    return list;
}

std::vector<CodePageString> DoorwayPageLines(const DoorwayProject& p)
{
    const CodePageString& T = p.Title;
    const CodePageString& D = p.Description;
    const CodePageString& K = p.Keywords;
    const CodePageString& U = p.Url;
    std::vector<CodePageString> lines = {
        "<HTML>",
        "<HEAD>",
        "<TITLE>" + T + "</TITLE>",
        "<META NAME=\"DESCRIPTION\" CONTENT=\"" + D + "\">",
        "<META NAME=\"KEYWORDS\" CONTENT=\"" + K + "\">",
        "<META NAME=\"Creator\" CONTENT=\"" + p.AppName + " Doorway Page Generator\">",
        "<SCRIPT LANGUAGE=\"JavaScript\" TYPE=\"text/javascript\">function Start()",
        "{brwName = navigator.appName; if (brwName == \"Netscape\" )",
        "{window.parent.location=\"" + U + "\"} else",
        "{window.parent.location=\"" + U + "\"}}</SCRIPT>",
        "</HEAD>",
        "<BODY ONLOAD=\"Start()\" BGCOLOR=\"#FFFFFF\" TEXT=\"#000000\" LINK=\"#0000FF\" VLINK=\"#0000FF\" "
        "ALINK=\"#FF0000\">",
        "<center><TABLE WIDTH=\"600\" CELLPADDING=\"5\" CELLSPACING=\"0\" BORDER=\"0\">",
        "<TR><TD VALIGN=\"TOP\">",
        "<p>",
        "<IMG SRC=\"nil.gif\" WIDTH=\"1\" HEIGHT=\"1\" ALIGN=\"LEFT\" BORDER=\"0\" ALT=\"" + T + "\">",
        "</p>",
        "<center><h1>" + T + "</h1></center><HR WIDTH=\"90%\" COLOR=\"#0000CC\">",
        "<!--" + D + "-->",
        "<INPUT TYPE=\"HIDDEN\" NAME=\"" + K + "\">",
        "<!--" + T + "-->",
        "<INPUT TYPE=\"hidden\" NAME=\"" + D + "\">",
        "<!--" + K + "-->",
        "<INPUT TYPE=\"hidden\" NAME=\"" + T + "\">",
        "&nbsp;",
        "Are you searching for one or more of the topics below<br>",
        "<IMG SRC=\"nil.gif\" WIDTH=\"1\" HEIGHT=\"1\" ALIGN=\"LEFT\" BORDER=\"0\" ALT=\"" + D +
            "\" BORDER=\"0\"><ul>",
    };
    const std::vector<CodePageString> keywords = DoorwayKeywords(K, p.SingleKeyword);
    for (std::size_t i = 0; i < keywords.size(); ++i)
        lines.push_back("<li><a href=\"" + U + "\">" + keywords[i] +
                        (i + 1 < keywords.size() ? "</a></li>" : "</a></li></ul>"));
    const std::vector<CodePageString> tail = {
        "<br>Then look no further  <A HREF=\"" + U + "\">" + U + "</a> has the topics you are looking for.<br>",
        "<br><font size=\"-1\">" + D + "</font>",
        "<br><br>",
        "<font size=\"-1\">You will find our site \"<A HREF=\"" + U + "\">" + U +
            "</a>\"friendly to navigate and full of information on your topic.<br><br>",
        "<A HREF=\"" + U + "\">click here</A> if you",
        "are not automatically forwarded to our site.</font><br><br>",
        "<HR WIDTH=\"90%\" COLOR=\"#0000CC\">",
        "<P><IMG SRC=\"nil.gif\" WIDTH=\"1\" HEIGHT=\"1\" BORDER=\"0\" ALT=\"" + K +
            "\"></P></TD></TR></TABLE></center></BODY>",
        "</HTML>",
    };
    lines.insert(lines.end(), tail.begin(), tail.end());
    return lines;
}

std::vector<CodePageString> DoorwayHelpLines()
{
    std::vector<CodePageString> lines = {"<ul>"};
    for (const char* text : {"To create a doorway page first select a project.",
                             "Your Dooway page will then be created and is ready to save.",
                             "To save the doorway page select the \"Doorway Pages\" on the top Menu and Save As."})
        lines.push_back(CodePageString("<li><font Style=\"ARIAL\" size=\"3\" COLOR=\"#0000A0\">") + text +
                        "</font></li><br><br>");
    lines.push_back("</ul>");
    return lines;
}
