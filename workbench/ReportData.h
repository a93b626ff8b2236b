// The submission report of one project, the report settings and the proxy
// settings, as data.
#pragma once

#include <optional>
#include <vector>

#include "classlib/Dates.h"
#include "classlib/IniFiles.h"

// [Reports] of the settings file.
struct ReportSettings {
    bool genReport = true;   // GenReport  -> GenReportCk
    bool header = true;      // HeaderCK   -> HeaderCk
    bool footer = true;      // FooterCk   -> FooterCk
    bool title = true;       // TitleCk    -> TitleRepCk
    CodePageString headerPath = "error";  // HeaderPath -> Header
    CodePageString footerPath = "error";  // FooterPath -> Footer
    CodePageString titleText = "error";   // TitleTxt   -> TitleRep
};
ReportSettings ReadReportSettings(const TIniFile& ini);
// The seven keys in one rewrite of the file.
void WriteReportSettings(TIniFile& ini, const ReportSettings& settings);

// One checked row of the engine list, as its columns show it.
struct ReportRow {
    CodePageString name;
    CodePageString url;
    CodePageString result;
    CodePageString date;
    CodePageString type;
};

struct ReportInput {
    ReportSettings settings;
    // The header and footer files' lines; nothing when the file could not be read.
    std::optional<std::vector<CodePageString>> headerLines;
    std::optional<std::vector<CodePageString>> footerLines;
    CodePageString homeLocation;
    CodePageString projectUrl;
    CodePageString projectName;
    std::vector<ReportRow> rows;
};

// The report's lines, each to be ended by CR LF. The header and footer files
// are the user's own HTML and go in as they stand; every other text (the
// title, the project's URL and name, each engine's name, URL, result, date
// and type) is HTML-escaped, and the link addresses are in quotes.
std::vector<CodePageString> SubmissionReportLines(const ReportInput& input);

// The project's name, the date in the short date format with "/" turned
// into "-", and ".htm": "Shop12-9-2026.htm".
CodePageString ReportFileName(const CodePageString& projectName, TDateTime date);

// "&", "<", ">" and '"' as entities.
CodePageString EscapeHtml(const CodePageString& text);

// [Proxy] of the settings file.
struct ProxySettings {
    CodePageString host;      // ProxyHost
    CodePageString port;      // ProxyPort
    CodePageString userName;  // ProxyUserName
    CodePageString password;  // ProxyPassword, stored as plain text
    bool on = false;      // KeyProxy
};
ProxySettings ReadProxySettings(const TIniFile& ini);
// The five keys in one rewrite of the file.
void WriteProxySettings(TIniFile& ini, const ProxySettings& settings);
