#include "workbench/RankData.h"

#include "classlib/Strings.h"
#include "transport/HttpUtil.h"
#include "workbench/StrKit.h"
#include "workbench/SubmitData.h"

// The engines' pages as they were served when the markers were taken from
// them. Webcrawler's queries go to Excite's host; each query names its engine
// in the check's query list, so the host tells nothing about the engine.
const TRankEngine RankEngines[RankEngineCount] = {
    {"Altavista", "www.altavista.com", "/sites/search/web?q={K}&pg=q&kl=XX&search=Search&stq={O}", 10, 0,
     "<span class=x>URL:", 0, "<span class=x>", "URL:", "<span class=x>", "URL: ", TRankTarget::Text, "", true},
    {"Anzwers", "www.anzwers.com.au",
     "/cgi-bin/process_search.pl?firstresult={O}&pageid=search&query_type=all+the+words&numperpage=10"
     "&result_type=detailed&query={K}&location=The+World&search.x=48&search.y=16",
     10, 0, "align=left colspan=2><a href=", 1, "<results", ">", "<results", ">", TRankTarget::Text, "' class=result>",
     true},
    // Only the span's tag (24 characters) is replaced, so the "http://" after it stays.
    {"DirectHit", "www.directhit.com", "/search.asp?alias=websrch&qry={K}&base={O}", 10, 0,
     "<span class=\"FinePrint\">http://", -7, "<results", ">", "<results", ">", TRankTarget::NoSlash, "</span>", true},
    {"Excite", "search.excite.com", "/search.gw?s={K}&c=web&showSummary=true&lang=en&perPage=10&start={O}", 1, 0,
     nullptr, 0, "", "", "pos=", ";", TRankTarget::Text, " onMouseOver", true},
    {"GoTo", "www.goto.com", "/d/search/p/go/?Keywords={K}&view=1+{O}&goAdultStatus=null", 1, 0, "<br><em>", 0,
     "<results", ">http://", "<results", ">", TRankTarget::NoSlash, "</em>", true},
    {"Google", "www.google.com", "/search?q={K}&hl=en&lr=&safe=off&start={O}&sa=N", 10, 0, "<p><a href=", 0,
     "<results", ">", "<results", ">", TRankTarget::Text, ">", true},
    {"HotBot", "hotbot.lycos.com", "/?MT={K}&II=28&OSI=2&RPN={O}&SQ=1&TR=16659&AM1=MC", 1, 1, nullptr, 0, "", "",
     "<b>", ".&nbsp;<a href=\"/director.asp?target=", TRankTarget::Escaped, "&id", false},
    {"Lycos", "search.lycos.com",
     "/srch/more.html?lpv=1&type=websites&loc=next_websites&l=4&y=26772&c=0&o=2&s=26778&cw=3&xs=FW&gw=0&page=2"
     "&query={K}&first={O}",
     10, 1, nullptr, 0, "", "", "director.asp?id=", "&amp;target=", TRankTarget::Escaped, "&amp;query=", true},
    {"MSN", "search.msn.com", "/results.asp?ba=(0.{O})0&co=(0.10)4.1..2.1.4.1&FORM=MSNH&RS=CHECKED&q={K}&v=1", 10, 0,
     "<A CLASS=\"clsResultTitle\" href=\"", 0, "<results", ">", "<results", ">", TRankTarget::Text, "\">", true},
    {"NBCi (Snap)", "www.snap.com", "/search/directory/results/1,61,home-0,00.html?stype=0&keyword={K}&ifo=0&start={O}",
     10, 0, "<font><b><a href=\"", 0, "<results", ">", "<results", ">", TRankTarget::Text, "\">", true},
    {"Webcrawler", "search.excite.com",
     "/search.gw?s={K}&c=web&showSummary=false&start={O}&perPage=10&lang=en&lk=webcrawler"
     "&next=%A0%A0%A0Next%A0%3E%3E%A0",
     1, 0, "<span class=size10><a href=", 0, "<results", ">", "<results", ">", TRankTarget::Text, ">", true},
    {"Yahoo", "search.yahoo.com", "/bin/query?p={K}&b={O}&hc=0&hs=0", 10, 1, "<font color=#006600>", 0, "<results",
     ">", "<results", ">", TRankTarget::Text, "&nbsp;", true},
};

namespace {

// Every occurrence of what (which holds no "?") replaced by with.
CodePageString Replaced(CodePageString text, const CodePageString& what, const CodePageString& with)
{
    ReplaceAll(text, what, with, false);
    return text;
}

// A server's text inside the list view's markup shows as text, never as tags.
CodePageString MarkupText(const CodePageString& text)
{
    CodePageString out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace

int RankEngineIndex(const CodePageString& caption)
{
    for (int i = 0; i < RankEngineCount; ++i)
        if (caption == RankEngines[i].Caption)
            return i;
    return -1;
}

CodePageString RankQueryUrl(const TRankEngine& engine, const CodePageString& keyword, int page)
{
    const int offset = (page - 1) * engine.OffsetStep + engine.OffsetFirst;
    CodePageString query = engine.Query;
    // The offset first: an encoded keyword holds no "{", so it can hold no "{O}" either.
    query = Replaced(query, "{O}", IntToStr(offset));
    query = Replaced(query, "{K}", EncodeFormValue(keyword));
    return CodePageString("http://") + engine.Host + query;
}

int RankDepth(const CodePageString& depthText)
{
    const int depth = StrToInt(depthText);
    if (depth > MaxRankDepth)
        throw EConvertError("The ranking can be checked in the top " + IntToStr(MaxRankDepth) +
                            " results at most, not in the top " + depthText + ".");
    return depth;
}

std::vector<TRankQuery> BuildRankQueries(const std::vector<TRankRow>& rows, const CodePageString& keyword,
                                         const CodePageString& depthText)
{
    const int pages = RankDepth(depthText) / 10;
    std::vector<TRankQuery> queries;
    for (const TRankRow& row : rows) {
        const int engine = RankEngineIndex(row.Caption);
        if (!row.Checked || engine < 0)
            continue;
        for (int page = 1; page <= pages; ++page)
            queries.push_back({engine, page, RankQueryUrl(RankEngines[engine], keyword, page)});
    }
    return queries;
}

const CodePageString& TRankTargets::Of(TRankTarget target) const
{
    switch (target) {
    case TRankTarget::NoSlash: return NoSlash;
    case TRankTarget::Escaped: return Escaped;
    case TRankTarget::Text: break;
    }
    return Text;
}

TRankTargets RankTargets(const CodePageString& siteUrl)
{
    CodePageString proto, user, password, host, port, path;
    SplitURL(siteUrl, proto, user, password, host, port, path);
    TRankTargets targets;
    targets.Text = siteUrl;
    // A bare host is listed with its "/"; a text whose first "/" is its
    // next-to-last character ("x/y") is left as typed. A text without any
    // "/" has none there, however short it is.
    const int slash = Pos("/", siteUrl);
    if (path.empty() && (slash == 0 || slash != int(siteUrl.size()) - 1))
        targets.Text += "/";
    targets.NoSlash = targets.Text;
    if (!targets.NoSlash.empty() && targets.NoSlash.back() == '/')
        targets.NoSlash.pop_back();
    targets.Escaped = Replaced(Replaced(Replaced(targets.Text, ":", "%3A"), "/", "%2F"), ".", "%2E");
    return targets;
}

CodePageString FlattenRankPage(const std::string& bytes)
{
    CodePageString page;
    page.reserve(bytes.size());
    for (const char c : bytes)
        if (c != '\r' && c != '\n' && c != '\0')
            page += c;
    return page;
}

void NumberRankResults(CodePageString& page, const TRankEngine& engine, int first, int depth)
{
    if (!engine.Marker)
        return;
    const CodePageString marker = engine.Marker;
    const std::size_t span = marker.size() + std::size_t(engine.SpanExtra);
    // The page is copied once, each marker replaced on the way, so a large
    // page with many markers costs one pass, not one shift of its tail per
    // number. Each replacement starts with a "<" that no marker continues the
    // same way, so no number written in could have made a marker of its own.
    CodePageString numbered;
    std::size_t from = 0;
    for (int n = first; n <= depth; ++n) {
        const std::size_t at = page.find(marker, from);
        if (at == CodePageString::npos)
            break;
        if (numbered.empty())
            numbered.reserve(page.size() + 64);
        numbered.append(page, from, at - from);
        numbered += CodePageString(engine.NumberBefore) + IntToStr(n) + engine.NumberAfter;
        from = at + std::min(span, page.size() - at);
    }
    if (from == 0)
        return;
    numbered.append(page, from, CodePageString::npos);
    page = std::move(numbered);
}

std::vector<int> FindRankListings(const CodePageString& page, const TRankEngine& engine, const TRankTargets& targets,
                                  int first)
{
    std::vector<int> listings;
    const CodePageString& target = targets.Of(engine.Target);
    for (int n = first; n <= first + 10; ++n) {
        const CodePageString needle =
            CodePageString(engine.NeedleBefore) + IntToStr(n) + engine.NeedleMiddle + target + engine.NeedleAfter;
        if (page.find(needle) != CodePageString::npos)
            listings.push_back(n);
    }
    return listings;
}

namespace {

// Whether a ranking cell already holds a listing: the not-found images of
// later pages turn into the found one.
bool HoldsListing(const CodePageString& ranking)
{
    return ranking.find(">You Ranked #") != CodePageString::npos;
}

}  // namespace

void ApplyRankListings(TRankCell& cell, const TRankEngine& engine, const std::vector<int>& listings,
                       const TRankPageScan& scan)
{
    std::size_t next = 0;
    for (int n = scan.First; n <= scan.First + 10; ++n) {
        if (next < listings.size() && listings[next] == n) {
            ++next;
            cell.Ranking += "<IMG src=\"idx:2\"><a href=\"" + scan.QueryUrl + "\">You Ranked #" + IntToStr(n) +
                            "</a> | ";
            cell.Date = scan.Today;
        } else if (HoldsListing(cell.Ranking)) {
            cell.Image = RankImageFound;
        } else if (cell.Ranking.empty()) {
            cell.Image = RankImageNotFound;
            if (engine.DatesNotFound)
                cell.Date = scan.Today;
            if (n == scan.Depth)
                cell.Ranking = "<IMG src=\"idx:0\"><b></b>URL not found in top <b>" + scan.DepthText + "</b> Results";
        } else {
            // A row that tells of a failed page keeps its failure image.
            cell.Image = RankImageNotFound;
        }
    }
}

void ApplyRankFailure(TRankCell& cell, int page, const CodePageString& reason, const CodePageString& today)
{
    // A listing found on an earlier page still stands beside the failure.
    cell.Image = HoldsListing(cell.Ranking) ? RankImageFound : RankImageNotFound;
    cell.Ranking += "<IMG src=\"idx:0\">Page <b>" + IntToStr(page) + "</b> not checked: " + MarkupText(reason) + " | ";
    cell.Date = today;
}

void ScanRankPage(TRankCell& cell, const std::string& pageBytes, const TRankEngine& engine,
                  const TRankTargets& targets, const TRankPageScan& scan)
{
    CodePageString page = FlattenRankPage(pageBytes);
    NumberRankResults(page, engine, scan.First, scan.Depth);
    ApplyRankListings(cell, engine, FindRankListings(page, engine, targets, scan.First), scan);
}
