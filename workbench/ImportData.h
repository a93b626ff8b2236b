// What the page import takes from a web page: its title and the contents of
// its description and keywords meta tags. The page is read chunk by chunk as
// it arrives, and a tag split across chunks comes out the same as a tag that
// arrived whole: the scraper keeps the unfinished part of each tag it is
// reading and searches only what is new, so a page sent a byte at a time
// costs no more than one sent at once, and memory stays at the longest value
// being read.
#pragma once

#include <cstddef>
#include <string>

#include "classlib/Strings.h"

// The part of a page that the import and the spider read; the rest is left
// unread. It is the 8 MB every page the program reads is allowed: a site's
// table of contents is the page that grows largest, and the one that links
// to most of its pages.
inline constexpr std::size_t PageScanLimit = 8u << 20;
inline constexpr const char* PageScanLimitNote = "Only the first 8 MB of the page was read";

// The part of a page held while it is read: NUL bytes are not part of the
// text, nor are line ends, or each line end (CR LF, CR or LF) is one blank,
// and an upper-cased copy serves the searches that ignore letter case.
// Offsets count the page's text from its start, so they stay valid as the
// text before them is let go.
class TPageText {
public:
    static constexpr std::size_t npos = std::string::npos;
    enum class TLineEnds { Removed, Blank };

    explicit TPageText(TLineEnds lineEnds = TLineEnds::Removed) : FLineEnds(lineEnds) {}
    void Append(const char* data, std::size_t length);
    std::size_t Start() const { return FStart; }
    std::size_t End() const { return FStart + FText.size(); }
    std::size_t Size() const { return FText.size(); }
    char At(std::size_t offset) const { return FText[offset - FStart]; }
    // The first upperNeedle (upper case) at or after `from`, or npos.
    std::size_t Find(const char* upperNeedle, std::size_t from) const;
    // The first of the characters at or after `from`, or npos.
    std::size_t FindFirstOf(const char* characters, std::size_t from) const;
    // The last c held, or npos.
    std::size_t FindLast(char c) const;
    std::string Text(std::size_t from, std::size_t to) const { return FText.substr(from - FStart, to - from); }
    // Lets go of the text before offset (at most all of it).
    void DropBefore(std::size_t offset);

private:
    std::string FText;
    std::string FUpper;
    std::size_t FStart = 0;
    TLineEnds FLineEnds;
    bool FAfterCR = false;  // the last line end was a CR, which an LF completes
};

// How much of a chunk still fits under PageScanLimit when `scanned` bytes of
// the page were read before it.
std::size_t BytesWithinScanLimit(std::size_t scanned, std::size_t chunkLength);

// The tags of one page. Each is taken from its first complete occurrence:
// the title between "<TITLE>" and "</TITLE>"; the value of the CONTENT= of
// the tag that starts <META NAME="DESCRIPTION" or <META NAME="KEYWORDS"
// (markers in any letter case; a tag without CONTENT= has an empty value),
// without the blanks and the double quote that open it and cut before the
// first double quote or ">". A line end inside a tag is a blank. The
// keywords are the value's comma-separated items joined by ", ", a blank
// after a comma dropped, empty leading items dropped. The texts are as the
// program keeps a text from another site (ImportedText).
struct PageTags {
    CodePageString title;
    CodePageString description;
    CodePageString keywords;
    bool hasTitle = false;
    bool hasDescription = false;
    bool hasKeywords = false;
};

class TPageScraper {
public:
    enum TFound : unsigned { FoundNone = 0, FoundTitle = 1, FoundDescription = 2, FoundKeywords = 4 };

    TPageScraper();
    // The Content-Type of the reply, given before the page's first bytes: a
    // charset it names holds over the one the page's META tags name.
    void DeclareContentType(const CodePageString& contentType);
    // Reads the next bytes of the page. Returns the tags that became
    // complete with these bytes, and those complete before whose text
    // changed with a charset found in them.
    unsigned Feed(const char* data, std::size_t length);
    unsigned Feed(const std::string& data) { return Feed(data.data(), data.size()); }
    const PageTags& Tags() const { return FTags; }
    // True once every tag is complete and the page's charset is known: the
    // rest of the page is not looked at.
    bool Complete() const;
    // Bytes of the page held for the tags still being read.
    std::size_t Held() const { return FText.Size(); }

private:
    struct TMetaSearch {
        const char* marker;  // upper case
        std::size_t markerAt = std::string::npos;
        std::size_t valueAt = std::string::npos;
        std::size_t searched = 0;  // stream offset up to which the current search has looked
        bool quoteChecked = false;
        bool done = false;
    };
    unsigned ScanTitle();
    bool ScanMeta(TMetaSearch& meta, CodePageString& value);
    bool ScanCharset();
    void ConvertTags(unsigned which);
    void Trim();

    PageTags FTags;
    PageTags FRaw;  // the texts as the page holds them; keywords as the tag's whole value
    TPageText FText{TPageText::TLineEnds::Blank};
    std::size_t FTitleOpen = std::string::npos;  // where the title text starts
    std::size_t FTitleSearched = 0;
    TMetaSearch FDescription;
    TMetaSearch FKeywords;
    // The first META tag that names a charset.
    std::size_t FCharsetTagAt = std::string::npos;
    std::size_t FCharsetSearched = 0;
    bool FCharsetKnown = false;
    bool FUtf8 = false;
};

// The charset that a Content-Type value or a META tag names after
// "charset=" (any letter case), without its quotes; "" when none.
CodePageString CharsetOf(const CodePageString& text);
// Whether a charset label names UTF-8 (letter case ignored).
bool IsUtf8Charset(const CodePageString& charset);

// A text from another site's page as the program keeps it: in its code page
// (from UTF-8 when the page is in UTF-8, "?" for what the code page cannot
// hold), and with "<", ">", double quotes and each "&" that starts no
// character reference written as references. The page's own references
// ("&amp;", "&#8212;") stay as they are, so the text shows as the page showed
// it wherever generated HTML places it, and brings no markup of its own into
// a doorway page or a meta tag.
CodePageString ImportedText(const CodePageString& pageText, bool utf8);
// The escaping step of ImportedText alone.
CodePageString EscapeStrayMarkup(const CodePageString& text);

// The keywords of a keywords tag's value: the items before each comma in
// order, each appended with ", " (the first alone while nothing is taken), a
// blank that starts the rest dropped while the rest is longer than two
// characters; then the item after the last comma, once, without its leading
// blank.
CodePageString KeywordsOfValue(const CodePageString& value);

// The whole of a page's first PageScanLimit bytes at once, as TPageScraper reads them.
PageTags ScrapePage(const std::string& page, const CodePageString& contentType = CodePageString());
