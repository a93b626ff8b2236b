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
    AnsiString headerPath = "error";  // HeaderPath -> Header
    AnsiString footerPath = "error";  // FooterPath -> Footer
    AnsiString titleText = "error";   // TitleTxt   -> TitleRep
};
ReportSettings ReadReportSettings(const TIniFile& ini);
// The seven keys in one rewrite of the file.
void WriteReportSettings(TIniFile& ini, const ReportSettings& settings);

// One checked row of the engine list, as its columns show it.
struct ReportRow {
    AnsiString name;
    AnsiString url;
    AnsiString result;
    AnsiString date;
    AnsiString type;
};

struct ReportInput {
    ReportSettings settings;
    // The header and footer files' lines; nothing when the file could not be read.
    std::optional<std::vector<AnsiString>> headerLines;
    std::optional<std::vector<AnsiString>> footerLines;
    AnsiString homeLocation;
    AnsiString projectUrl;
    AnsiString projectName;
    std::vector<ReportRow> rows;
};

// The report's lines, each to be ended by CR LF. The header and footer files
// are the user's own HTML and go in as they stand; every other text (the
// title, the project's URL and name, each engine's name, URL, result, date
// and type) is HTML-escaped, and the link addresses are in quotes.
std::vector<AnsiString> SubmissionReportLines(const ReportInput& input);

// The project's name, the date in the short date format with "/" turned
// into "-", and ".htm": "Shop12-9-2026.htm".
AnsiString ReportFileName(const AnsiString& projectName, TDateTime date);

// "&", "<", ">" and '"' as entities.
AnsiString EscapeHtml(const AnsiString& text);

// [Proxy] of the settings file.
struct ProxySettings {
    AnsiString host;      // ProxyHost
    AnsiString port;      // ProxyPort
    AnsiString userName;  // ProxyUserName
    AnsiString password;  // ProxyPassword, stored as plain text
    bool on = false;      // KeyProxy
};
ProxySettings ReadProxySettings(const TIniFile& ini);
// The five keys in one rewrite of the file.
void WriteProxySettings(TIniFile& ini, const ProxySettings& settings);
