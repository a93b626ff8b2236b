#include "workbench/ReportData.h"

#include "classlib/Dates.h"
#include "workbench/StrKit.h"

namespace {

// Reads one key in its own guarded step, so that a bad key leaves only its own value at the default.
template <typename Read>
void Guarded(Read read)
{
    try {
        read();
    } catch (const Exception&) {
        // The default stays; the other keys are still read.
    }
}

// A boolean as the INI file class stores it.
CodePageString IniBool(bool value)
{
    return value ? "1" : "0";
}

}  // namespace

ReportSettings ReadReportSettings(const TIniFile& ini)
{
    ReportSettings s;
    Guarded([&] { s.genReport = ini.ReadBool("Reports", "GenReport", true); });
    Guarded([&] { s.header = ini.ReadBool("Reports", "HeaderCK", true); });
    Guarded([&] { s.footer = ini.ReadBool("Reports", "FooterCk", true); });
    Guarded([&] { s.title = ini.ReadBool("Reports", "TitleCk", true); });
    Guarded([&] { s.headerPath = ini.ReadString("Reports", "HeaderPath", "error"); });
    Guarded([&] { s.footerPath = ini.ReadString("Reports", "FooterPath", "error"); });
    Guarded([&] { s.titleText = ini.ReadString("Reports", "TitleTxt", "error"); });
    return s;
}

void WriteReportSettings(TIniFile& ini, const ReportSettings& s)
{
    ini.WriteValues({
        {"Reports", "GenReport", IniBool(s.genReport)},
        {"Reports", "HeaderCK", IniBool(s.header)},
        {"Reports", "FooterCk", IniBool(s.footer)},
        {"Reports", "TitleCk", IniBool(s.title)},
        {"Reports", "HeaderPath", s.headerPath},
        {"Reports", "FooterPath", s.footerPath},
        {"Reports", "TitleTxt", s.titleText},
    });
}

CodePageString EscapeHtml(const CodePageString& text)
{
    CodePageString out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::vector<CodePageString> SubmissionReportLines(const ReportInput& in)
{
    std::vector<CodePageString> lines;
    const auto addAll = [&](const std::optional<std::vector<CodePageString>>& part) {
        if (part)
            lines.insert(lines.end(), part->begin(), part->end());
    };

    if (in.settings.header)
        addAll(in.headerLines);
    // The report is a page the user opens in a browser: every text of it
    // that comes from a project, an engine, a server or the settings is
    // escaped, and every attribute value is in quotes, so that a value
    // holding markup (an imported URL, say) shows as written and runs nothing.
    if (in.settings.title) {
        lines.push_back("<BLOCKQUOTE><P ALIGN=\"center\"><B><FONT SIZE=\"5\" COLOR=\"#00779E\">");
        lines.push_back(EscapeHtml(in.settings.titleText));
        lines.push_back("</FONT><FONT COLOR=\"#2400AA\" SIZE=\"5\"><BR>");
        lines.push_back("<A HREF=\"" + EscapeHtml(in.homeLocation) + "\" TARGET=\"_top\"></A><BR>");
        lines.push_back("</FONT></B><FONT SIZE=\"3\" COLOR=\"#00639D\"></FONT></P> </BLOCKQUOTE>");
    }
    lines.push_back("<center><b><FONT SIZE=\"5\" COLOR=\"#00779E\">" + EscapeHtml(in.projectUrl) + " (" +
                    EscapeHtml(in.projectName) + ")</font></b></center><br>");
    lines.push_back("<table border=\"1\" cellspacing=\"0\" width=\"100%\">");
    lines.push_back("<tr><td BGCOLOR=\"#C0C0C0\"><B>Buscador</B></td>");
    lines.push_back("<td BGCOLOR=\"#C0C0C0\"><B>URL</B></td>");
    lines.push_back("<td BGCOLOR=\"#C0C0C0\"><B>Resultado</B></td>");
    lines.push_back("<td BGCOLOR=\"#C0C0C0\"><B>Fecha</B></td>");
    lines.push_back("<td BGCOLOR=\"#C0C0C0\"><B>Tipo</B></td></tr>");
    for (const auto& row : in.rows) {
        const CodePageString url = EscapeHtml(row.url);
        lines.push_back("<tr><td>" + EscapeHtml(row.name) + "&nbsp;</td>");
        lines.push_back("<td><A HREF=\"" + url + "\">" + url + "</A>&nbsp;</td>");
        lines.push_back("<td>" + EscapeHtml(row.result) + "&nbsp;</td>");
        lines.push_back("<td>" + EscapeHtml(row.date) + "&nbsp;</td>");
        lines.push_back("<td>" + EscapeHtml(row.type) + "&nbsp;</td></tr>");
    }
    lines.push_back("</table>");
    if (in.settings.footer)
        addAll(in.footerLines);
    return lines;
}

CodePageString ReportFileName(const CodePageString& projectName, TDateTime date)
{
    CodePageString day = DateToStr(date);
    ReplaceAll(day, "/", "-", false);
    return projectName + day + ".htm";
}

ProxySettings ReadProxySettings(const TIniFile& ini)
{
    ProxySettings s;
    Guarded([&] { s.host = ini.ReadString("Proxy", "ProxyHost", ""); });
    Guarded([&] { s.port = ini.ReadString("Proxy", "ProxyPort", ""); });
    Guarded([&] { s.password = ini.ReadString("Proxy", "ProxyPassword", ""); });
    Guarded([&] { s.userName = ini.ReadString("Proxy", "ProxyUserName", ""); });
    Guarded([&] { s.on = ini.ReadBool("Proxy", "KeyProxy", false); });
    return s;
}

void WriteProxySettings(TIniFile& ini, const ProxySettings& s)
{
    ini.WriteValues({
        {"Proxy", "ProxyHost", s.host},
        {"Proxy", "ProxyPassword", s.password},
        {"Proxy", "ProxyPort", s.port},
        {"Proxy", "ProxyUserName", s.userName},
        {"Proxy", "KeyProxy", IniBool(s.on)},
    });
}
