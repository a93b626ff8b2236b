// Result pages of the twelve search engines, as each engine served them: a
// page of ten results with CR LF line ends, made of one entry per result.
// Shared by the ranking data tests and the ranking page's loopback tests.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "classlib/Dates.h"
#include "platform/Hooks.h"

namespace rankpages {

// The clock and the date format of a check's date column, fixed; and name
// lookups trapped and counted, since a name that were looked up would leave
// the machine.
inline void FixTheDayAndTrapLookups(std::atomic<int>& lookups)
{
    FormatSettings().ShortDateFormat = "m/d/yyyy";
    FormatSettings().DateSeparator = '/';
    GetHooks().now = [] { return EncodeDate(2026, 12, 9) + EncodeTime(10, 30, 0, 0); };
    GetHooks().resolveName = [&lookups](const std::string&) {
        ++lookups;
        return ResolveResult{11001, {}, {}};
    };
}

inline std::string Replace(std::string text, const std::string& what, const std::string& with)
{
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

inline std::string WithoutSlash(std::string url)
{
    if (!url.empty() && url.back() == '/')
        url.pop_back();
    return url;
}

// The URL as the engines that pass it through their redirector write it.
inline std::string Escaped(const std::string& url)
{
    return Replace(Replace(Replace(url, ":", "%3A"), "/", "%2F"), ".", "%2E");
}

// One result, number n of the whole list, of the engine of row `engine`.
inline std::string Entry(int engine, int n, const std::string& url)
{
    const std::string num = std::to_string(n);
    switch (engine) {
    case 0: return "<dl><dt><b>Site " + num + "</b><dd>About it.<br><span class=x>URL: " + url + "</span></dl>";
    case 1: return "<tr><td align=left colspan=2><a href='" + url + "' class=result>Site " + num + "</a></td></tr>";
    case 2: return "<b>Site " + num + "</b><br><span class=\"FinePrint\">" + WithoutSlash(url) + "</span><br>";
    case 3: return "<a href=\"/r\" name=pos=" + num + ";" + url + " onMouseOver=\"return 0\">Site " + num + "</a><br>";
    case 4: return "<li><b>Site " + num + "</b><br><em>" + WithoutSlash(url.substr(7)) + "</em></li>";
    case 5: return "<p><a href=" + url + ">Site " + num + "</a><br><font size=-1>About it.</font>";
    case 6: return "<b>" + num + ".&nbsp;<a href=\"/director.asp?target=" + Escaped(url) + "&id=" + num +
                   "\">Site " + num + "</a></b><br>";
    case 7: return "<li><a href=\"http://click.example/director.asp?id=" + num + "&amp;target=" + Escaped(url) +
                   "&amp;query=x\">Site " + num + "</a></li>";
    case 8: return "<A CLASS=\"clsResultTitle\" href=\"" + url + "\">Site " + num + "</A><br>";
    case 9: return "<font><b><a href=\"" + url + "\">Site " + num + "</a></b></font><br>";
    case 10: return "<span class=size10><a href=" + url + ">Site " + num + "</a></span><br>";
    case 11: return "<li><b>Site " + num + "</b><br><font color=#006600>" + url + "&nbsp;- 5k</font></li>";
    default: return "";
    }
}

// Page `page` (from 1) of the engine: ten results numbered from 10 * page - 9,
// the given URLs in their places (index 0 the page's first result), other
// sites in the rest.
inline std::string Page(int engine, int page, std::vector<std::string> urls)
{
    const int first = 10 * page - 9;
    urls.resize(10);
    std::string html = "<html><head><title>Results</title></head>\r\n<body>\r\n";
    for (int i = 0; i < 10; ++i) {
        const std::string url = urls[std::size_t(i)].empty()
                                    ? "http://www.other" + std::to_string(first + i) + ".example/"
                                    : urls[std::size_t(i)];
        html += Entry(engine, first + i, url) + "\r\n";
    }
    return html + "</body></html>\r\n";
}

}  // namespace rankpages
