// The site spider's rules as data: the links of a page, found chunk by
// chunk as it arrives; each link made absolute against the page, normalised
// and judged against the site being crawled; and the project names the
// crawled pages are saved under. The main window feeds these and shows
// what they decide.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "classlib/Strings.h"
#include "workbench/ImportData.h"

// --- links of a page ------------------------------------------------------------

// Every HREF= value of a page (the marker in any letter case), in order. A
// value that opens with a double quote (and has more than two characters
// after HREF=) ends at the next double quote, any other at the next ">".
// A value whose end has not arrived yet is kept with the rest of the page
// from there, so a link split across chunks is found once it is whole; only
// at the end of the page is an unended one given up, and the search goes
// on after its HREF=.
class TLinkExtractor {
public:
    using TFound = std::function<void(const CodePageString& link)>;

    // Reads the next bytes of the page; line ends and NUL bytes are not part of the text.
    void Feed(const char* data, std::size_t length, const TFound& found);
    // The page ended: what is held gives its last links.
    void Finish(const TFound& found);
    // Bytes held for the link being read.
    std::size_t Held() const { return FText.Size(); }

private:
    void Scan(bool pageEnded, const TFound& found);
    void Trim();

    TPageText FText;
    std::size_t FScanned = 0;   // where the search for the next HREF= goes on
    bool FPending = false;      // a value has started and not ended
    bool FDecided = false;      // ... and whether it is quoted is known
    std::size_t FValueAt = 0;   // after its HREF=
    std::size_t FLinkAt = 0;    // where its link text starts
    char FTerminator = '>';
    std::size_t FEndSearched = 0;
};

// A found link cut before its first blank.
CodePageString CleanLink(const CodePageString& raw);

// The page's address, split once for the links found on it. An address
// without "://", or with no scheme before it, is an http one.
struct TPageAddress {
    CodePageString scheme;     // lower case
    CodePageString authority;  // lower case, without the default port
    CodePageString path;       // "." and ".." segments and repeated "/" taken out; "/" at least
    CodePageString query;      // with its "?"
};
TPageAddress PageAddressOf(const CodePageString& pageUrl);

// The address a link on the page leads to, by the ordinary rules of
// relative references: "//host/x" names another host, "/x" a path on the
// page's host, "x" a page beside the page, "?q" and "#f" the page itself. In
// the path "." and ".." segments are taken out, repeated "/" collapsed and
// letters, digits and "-._~" written as "%" escapes decoded, so that one
// page under many spellings is one address and ".." never leaves a folder
// unseen. A reference of another scheme ("mailto:", "javascript:") stays as
// it is, and so does an empty link.
CodePageString ResolveLink(const CodePageString& link, const TPageAddress& page);

// The key of the duplicate test: one trailing "/" dropped; cut before the
// first "/index." and the first "/default." (letter case counts), so that a
// folder and its index page are found once.
CodePageString NormaliseLink(const CodePageString& link);

// --- the site ---------------------------------------------------------------------

// What the crawl stays within: the start address's scheme, host and port,
// and its folder, after the start is resolved as a link is. A start in the top folder, or a file there, spans the
// whole host; "/a/b/page.htm" limits the crawl to "/a/b"; "/a" (a name
// without a ".") to "/a".
struct TSpiderSite {
    CodePageString scheme;  // lower case
    CodePageString host;    // lower case
    CodePageString port;    // "80" when the address has none
    CodePageString folder;  // "/" or "/a/b", without a trailing "/"
};
TSpiderSite SpiderSiteOf(const CodePageString& startUrl);

// True when the resolved link is on the site: the same scheme, host (any
// letter case) and port, and a path that is the folder or lies under it.
bool OnSpiderSite(const CodePageString& link, const TSpiderSite& site);

// The texts whose presence (in any letter case) keeps a link from being
// followed. A double quote, like "<" and ">", would let a page write markup
// into every doorway page and submission made from its address; control
// characters are kept out as well (see JudgeLink).
inline constexpr const char* SpiderExcludedTexts[] = {
    "JAVASCRIPT:", "#",    ">",    "<",    "MAILTO:", "@",    "=",    ".CGI", ".PL",  ".GIF",  ".JPG",
    ".EXE",        ".TAR", ".ZIP", ".RAR", "?",       "FTP:", ";",    ".ZRO", ".ZDB", "\"",
};
inline constexpr std::size_t SpiderLinkLimit = 100;  // links this long or longer are not followed

enum class TLinkVerdict {
    Follow,
    OtherSite,  // another host, port or scheme, or outside the start's folder
    Excluded,   // holds one of SpiderExcludedTexts or a control character
    Duplicate,  // found before
    TooLong,    // SpiderLinkLimit characters or more
};

// Every page the crawl has found, in order, each under the address it is
// fetched by, looked up by its duplicate key (NormaliseLink; letter case counts).
class TFoundLinks {
public:
    // Index of the page whose key the link has, or -1.
    int IndexOf(const CodePageString& link) const;
    // Adds the link as a page of its own; returns its index.
    int Add(const CodePageString& link);
    // Makes `alias` find the page at index (an address that stands for the
    // same page, such as the one a page was relocated to).
    void AddAlias(const CodePageString& alias, int index);
    int Count() const { return static_cast<int>(FLinks.size()); }
    const CodePageString& Link(int index) const { return FLinks[static_cast<std::size_t>(index)]; }
    void Clear();

private:
    std::vector<CodePageString> FLinks;
    std::unordered_map<CodePageString, int> FIndex;
};

// The filters in order, on a resolved link: the site, the excluded texts,
// duplicates, length. `duplicateIndex` is set to the earlier link's index whenever the link was
// found before, whatever the verdict.
TLinkVerdict JudgeLink(const CodePageString& link, const TSpiderSite& site, const TFoundLinks& found, int& duplicateIndex);

// --- project names -------------------------------------------------------------------

// The word the crawl's projects are named after: the host without its first
// four characters when it holds "www.", then cut before its first "."
// (empty when it has none).
CodePageString SpiderSiteWord(const CodePageString& host);

// The smallest n >= 1 for which word followed by decimal n (letter case
// ignored) occurs in none of the names, also inside a longer name.
long long FirstFreeNumber(const CodePageString& word, const std::vector<CodePageString>& names);

// The numbers that names take after one word, kept as names are added: a
// crawl asks for its next number after every page it saves, without going
// over the whole project list each time. FirstFree() is FirstFreeNumber of
// the word and the names taken so far.
class TNameNumbers {
public:
    explicit TNameNumbers(const CodePageString& word);
    const CodePageString& Word() const { return FWord; }
    void Take(const CodePageString& name);
    long long FirstFree();

private:
    CodePageString FWord;
    CodePageString FUpperWord;
    std::unordered_set<long long> FTaken;
    long long FFirst = 1;  // no number below it is free; taking only ever adds
};
