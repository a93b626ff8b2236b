// The ranking check as data: the twelve search engines with their queries,
// result markers and needles, the query list of a check, and what one result
// page does to its engine's row of the ranking list.
#pragma once

#include <string>
#include <vector>

#include "classlib/Strings.h"

// Which form of the site's URL a needle holds.
enum class TRankTarget {
    Text,     // as typed, with "/" appended to a bare host
    NoSlash,  // the same without one trailing "/"
    Escaped,  // the first with ":", "/" and "." as %3A, %2F and %2E
};

// One search engine. A query is "http://" + Host + Query, where "{K}" stands
// for the keyword and "{O}" for the page's offset, (page - 1) * OffsetStep +
// OffsetFirst. Engines whose pages do not number their results get numbers
// written in: the first Marker still on the page, and SpanExtra characters
// more (fewer when negative), becomes NumberBefore + n + NumberAfter. The site
// is listed as result n when NeedleBefore + n + NeedleMiddle + target +
// NeedleAfter occurs in the page.
struct TRankEngine {
    const char* Caption;  // the row's caption
    const char* Host;
    const char* Query;
    int OffsetStep;
    int OffsetFirst;
    const char* Marker;  // nullptr: the page numbers its results itself
    int SpanExtra;
    const char* NumberBefore;
    const char* NumberAfter;
    const char* NeedleBefore;
    const char* NeedleMiddle;
    TRankTarget Target;
    const char* NeedleAfter;
    bool DatesNotFound;  // a page without the site writes the date into the row
};

// The ranking list's rows, in order; a row's index is its engine's.
inline constexpr int RankEngineCount = 12;
extern const TRankEngine RankEngines[RankEngineCount];

// The engine whose row has this caption (exact, case counts); -1 when none.
int RankEngineIndex(const CodePageString& caption);

// The deepest check: a depth beyond it is refused, since no engine lists
// more results and each page is one request.
inline constexpr int MaxRankDepth = 1000;

// The query of one engine and page. The keyword goes as a form value: blanks
// as "+", every byte but A-Z a-z 0-9 - . _ ~ as %XX.
CodePageString RankQueryUrl(const TRankEngine& engine, const CodePageString& keyword, int page);

struct TRankQuery {
    int Engine;  // index into RankEngines, and the row
    int Page;    // from 1
    CodePageString Url;
};

// The row captions of the ranking list, and whether each is checked.
struct TRankRow {
    CodePageString Caption;
    bool Checked;
};

// The depth as typed: its integer value. Throws EConvertError for a text that
// is not an integer, and for a depth beyond MaxRankDepth.
int RankDepth(const CodePageString& depthText);

// Every query of a check, by row and then by page: depth div 10 pages of
// each checked row whose caption names an engine. Throws as RankDepth does.
std::vector<TRankQuery> BuildRankQueries(const std::vector<TRankRow>& rows, const CodePageString& keyword,
                                         const CodePageString& depthText);

// The three forms of the site's URL that needles hold.
struct TRankTargets {
    CodePageString Text;
    CodePageString NoSlash;
    CodePageString Escaped;
    const CodePageString& Of(TRankTarget target) const;
};
TRankTargets RankTargets(const CodePageString& siteUrl);

// A result page as one line: every CR, LF and NUL byte removed.
CodePageString FlattenRankPage(const std::string& bytes);

// Numbers the results of a flattened page from `first` on, at most up to
// `depth`, for engines with a marker.
void NumberRankResults(CodePageString& page, const TRankEngine& engine, int first, int depth);

// The numbers first .. first + 10 whose needle the page holds.
std::vector<int> FindRankListings(const CodePageString& page, const TRankEngine& engine, const TRankTargets& targets,
                                  int first);

// The cells of one row of the ranking list.
struct TRankCell {
    CodePageString Ranking;  // markup: one "You Ranked #" link per listing
    CodePageString Date;
    int Image = -1;
};

// Row images of the ranking list.
constexpr int RankImageNotFound = 0;
constexpr int RankImageRunning = 1;
constexpr int RankImageFound = 2;

// What a scanned page does to its row: a link to the page for every listing
// found, else the images and the not-found text.
struct TRankPageScan {
    int First;              // the page's first result number
    int Depth;              // the depth of the check
    CodePageString DepthText;   // as typed, for the not-found text
    CodePageString QueryUrl;    // the page's query, the links' target
    CodePageString Today;       // the date as shown
};
void ApplyRankListings(TRankCell& cell, const TRankEngine& engine, const std::vector<int>& listings,
                       const TRankPageScan& scan);

// A page whose request failed or was stopped: its row tells so, with the
// reason, instead of telling that the site was not found.
void ApplyRankFailure(TRankCell& cell, int page, const CodePageString& reason, const CodePageString& today);

// A whole result page: flattened, numbered, searched and applied to its row.
void ScanRankPage(TRankCell& cell, const std::string& pageBytes, const TRankEngine& engine,
                  const TRankTargets& targets, const TRankPageScan& scan);

// The first result number of a page.
inline int RankFirstOfPage(int page)
{
    return 10 * page - 9;
}
