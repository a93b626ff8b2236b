#include "workbench/ImportData.h"

#include <algorithm>
#include <cstring>

#include "classlib/Strings.h"
#include "platform/CodePage.h"

namespace {

constexpr std::size_t npos = std::string::npos;

constexpr const char* TitleOpen = "<TITLE>";
constexpr const char* TitleClose = "</TITLE>";
constexpr const char* ContentMarker = "CONTENT=";
constexpr const char* MetaOpen = "<META";
constexpr const char* CharsetMarker = "CHARSET=";

// The labels under which pages name UTF-8, in lower case.
constexpr const char* Utf8Labels[] = {
    "utf-8", "utf8", "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8", "x-unicode20utf8",
};

// Where a search for a needle of this length may start again once the text
// up to `end` was searched without finding it: its first length - 1 bytes
// may be the start of a needle that the next bytes complete.
std::size_t ResumeAt(std::size_t searched, std::size_t end, std::size_t needleLength)
{
    return std::max(searched, end >= needleLength ? end - needleLength + 1 : 0);
}

}  // namespace

void TPageText::Append(const char* data, std::size_t length)
{
    FText.reserve(FText.size() + length);
    FUpper.reserve(FUpper.size() + length);
    for (std::size_t i = 0; i < length; ++i) {
        char c = data[i];
        if (c == '\0')
            continue;
        if (c == '\r' || c == '\n') {
            const bool endsPair = c == '\n' && FAfterCR;
            FAfterCR = c == '\r';
            if (FLineEnds == TLineEnds::Removed || endsPair)
                continue;
            c = ' ';
        } else {
            FAfterCR = false;
        }
        FText += c;
        FUpper += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
}

std::size_t TPageText::Find(const char* upperNeedle, std::size_t from) const
{
    const std::size_t at = FUpper.find(upperNeedle, std::max(from, FStart) - FStart);
    return at == npos ? npos : FStart + at;
}

std::size_t TPageText::FindFirstOf(const char* characters, std::size_t from) const
{
    const std::size_t at = FText.find_first_of(characters, std::max(from, FStart) - FStart);
    return at == npos ? npos : FStart + at;
}

std::size_t TPageText::FindLast(char c) const
{
    const std::size_t at = FText.rfind(c);
    return at == npos ? npos : FStart + at;
}

void TPageText::DropBefore(std::size_t offset)
{
    if (offset <= FStart)
        return;
    const std::size_t drop = std::min(offset - FStart, FText.size());
    FText.erase(0, drop);
    FUpper.erase(0, drop);
    FStart += drop;
}

std::size_t BytesWithinScanLimit(std::size_t scanned, std::size_t chunkLength)
{
    return scanned >= PageScanLimit ? 0 : std::min(chunkLength, PageScanLimit - scanned);
}

TPageScraper::TPageScraper()
{
    FDescription.marker = "<META NAME=\"DESCRIPTION\"";
    FKeywords.marker = "<META NAME=\"KEYWORDS\"";
}

void TPageScraper::DeclareContentType(const CodePageString& contentType)
{
    const CodePageString charset = CharsetOf(contentType);
    if (charset.empty())
        return;
    FCharsetKnown = true;
    FUtf8 = IsUtf8Charset(charset);
}

bool TPageScraper::Complete() const
{
    return FTags.hasTitle && FDescription.done && FKeywords.done && FCharsetKnown;
}

unsigned TPageScraper::Feed(const char* data, std::size_t length)
{
    if (Complete() || length == 0)
        return FoundNone;
    FText.Append(data, length);
    unsigned found = FoundNone;
    // Tags read before the page named its charset are read again in it.
    if (!FCharsetKnown && ScanCharset() && FUtf8)
        found |= (FTags.hasTitle ? unsigned(FoundTitle) : 0u) | (FTags.hasDescription ? unsigned(FoundDescription) : 0u) |
                 (FTags.hasKeywords ? unsigned(FoundKeywords) : 0u);
    found |= ScanTitle();
    if (ScanMeta(FDescription, FRaw.description)) {
        FTags.hasDescription = FRaw.hasDescription = true;
        found |= FoundDescription;
    }
    if (ScanMeta(FKeywords, FRaw.keywords)) {
        FTags.hasKeywords = FRaw.hasKeywords = true;
        found |= FoundKeywords;
    }
    ConvertTags(found);
    Trim();
    return found;
}

void TPageScraper::ConvertTags(unsigned which)
{
    if (which & FoundTitle)
        FTags.title = ImportedText(FRaw.title, FUtf8);
    if (which & FoundDescription)
        FTags.description = ImportedText(FRaw.description, FUtf8);
    // Split before the escaping, which would lengthen the items the split measures.
    if (which & FoundKeywords)
        FTags.keywords =
            EscapeStrayMarkup(KeywordsOfValue(FUtf8 ? CodePageString(Utf8ToCodePage(FRaw.keywords)) : FRaw.keywords));
}

unsigned TPageScraper::ScanTitle()
{
    if (FTags.hasTitle)
        return FoundNone;
    if (FTitleOpen == npos) {
        const std::size_t open = FText.Find(TitleOpen, FTitleSearched);
        if (open == npos) {
            FTitleSearched = ResumeAt(FTitleSearched, FText.End(), std::strlen(TitleOpen));
            return FoundNone;
        }
        FTitleOpen = open + std::strlen(TitleOpen);
        FTitleSearched = FTitleOpen;
    }
    const std::size_t close = FText.Find(TitleClose, FTitleSearched);
    if (close == npos) {
        FTitleSearched = ResumeAt(FTitleSearched, FText.End(), std::strlen(TitleClose));
        return FoundNone;
    }
    FRaw.title = FText.Text(FTitleOpen, close);
    FTags.hasTitle = FRaw.hasTitle = true;
    return FoundTitle;
}

bool TPageScraper::ScanMeta(TMetaSearch& meta, CodePageString& value)
{
    if (meta.done)
        return false;
    if (meta.markerAt == npos) {
        const std::size_t at = FText.Find(meta.marker, meta.searched);
        if (at == npos) {
            meta.searched = ResumeAt(meta.searched, FText.End(), std::strlen(meta.marker));
            return false;
        }
        meta.markerAt = at;
        meta.searched = at + std::strlen(meta.marker);
    }
    if (meta.valueAt == npos) {
        // The value is the tag's own: one that ends before a CONTENT= has none.
        const std::size_t content = FText.Find(ContentMarker, meta.searched);
        const std::size_t tagEnd = FText.FindFirstOf(">", meta.searched);
        if (tagEnd != npos && (content == npos || tagEnd < content)) {
            value.clear();
            meta.done = true;
            return true;
        }
        if (content == npos) {
            meta.searched = ResumeAt(meta.searched, FText.End(), std::strlen(ContentMarker));
            return false;
        }
        meta.valueAt = content + std::strlen(ContentMarker);
        meta.searched = meta.valueAt;
    }
    // Whether the value opens with a quote is known once its first byte
    // after the blanks (a line end among them) is here.
    if (!meta.quoteChecked) {
        while (meta.valueAt < FText.End() && FText.At(meta.valueAt) == ' ')
            ++meta.valueAt;
        if (FText.End() <= meta.valueAt)
            return false;
        if (FText.At(meta.valueAt) == '"')
            ++meta.valueAt;
        meta.quoteChecked = true;
        meta.searched = meta.valueAt;
    }
    const std::size_t end = FText.FindFirstOf("\">", meta.searched);
    if (end == npos) {
        meta.searched = FText.End();
        return false;
    }
    value = FText.Text(meta.valueAt, end);
    meta.done = true;
    return true;
}

bool TPageScraper::ScanCharset()
{
    for (;;) {
        if (FCharsetTagAt == npos) {
            const std::size_t at = FText.Find(MetaOpen, FCharsetSearched);
            if (at == npos) {
                FCharsetSearched = ResumeAt(FCharsetSearched, FText.End(), std::strlen(MetaOpen));
                return false;
            }
            FCharsetTagAt = at;
            FCharsetSearched = at + std::strlen(MetaOpen);
        }
        const std::size_t end = FText.FindFirstOf(">", FCharsetSearched);
        if (end == npos) {
            FCharsetSearched = FText.End();
            return false;
        }
        const CodePageString charset = CharsetOf(FText.Text(FCharsetTagAt, end));
        FCharsetTagAt = npos;
        FCharsetSearched = end + 1;
        if (!charset.empty()) {
            FCharsetKnown = true;
            FUtf8 = IsUtf8Charset(charset);
            return true;
        }
    }
}

void TPageScraper::Trim()
{
    std::size_t keep = FText.End();
    if (!FTags.hasTitle)
        keep = std::min(keep, FTitleOpen != npos ? FTitleOpen : FTitleSearched);
    for (const TMetaSearch* meta : {&FDescription, &FKeywords})
        if (!meta->done)
            keep = std::min(keep, meta->valueAt != npos ? meta->valueAt : meta->searched);
    if (!FCharsetKnown)
        keep = std::min(keep, FCharsetTagAt != npos ? FCharsetTagAt : FCharsetSearched);
    FText.DropBefore(keep);
}

CodePageString KeywordsOfValue(const CodePageString& value)
{
    CodePageString keywords;
    auto take = [&keywords](const char* item, std::size_t length) {
        if (!keywords.empty())
            keywords += ", ";
        keywords.append(item, length);
    };
    std::size_t at = 0;
    for (std::size_t comma = value.find(','); comma != npos; comma = value.find(',', at)) {
        take(value.data() + at, comma - at);
        at = comma + 1;
        if (value.size() - at > 2 && value[at] == ' ')
            ++at;
    }
    // The item after the last comma is taken once; its blank goes like the others'.
    if (at < value.size() && value[at] == ' ')
        ++at;
    if (at < value.size())
        take(value.data() + at, value.size() - at);
    return keywords;
}

CodePageString CharsetOf(const CodePageString& text)
{
    const std::size_t named = UpperCase(text).find(CharsetMarker);
    if (named == npos)
        return CodePageString();
    std::size_t at = named + std::strlen(CharsetMarker);
    while (at < text.size() && (text[at] == ' ' || text[at] == '"' || text[at] == '\''))
        ++at;
    const std::size_t end = text.find_first_of(" \t\"';>/", at);
    return text.substr(at, end == npos ? npos : end - at);
}

bool IsUtf8Charset(const CodePageString& charset)
{
    const CodePageString label = LowerCase(charset);
    return std::any_of(std::begin(Utf8Labels), std::end(Utf8Labels), [&](const char* known) { return label == known; });
}

namespace {

// Whether an "&" at `at` starts a character reference: a name, a decimal or
// a hexadecimal number, ended by ";".
bool StartsReference(const CodePageString& text, std::size_t at)
{
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    auto isHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); };
    auto isAlnum = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    bool (*part)(char) = isAlnum;
    std::size_t i = at + 1;
    if (i < text.size() && text[i] == '#') {
        ++i;
        part = isDigit;
        if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
            ++i;
            part = isHex;
        }
    }
    const std::size_t first = i;
    while (i < text.size() && part(text[i]))
        ++i;
    return i > first && i < text.size() && text[i] == ';';
}

}  // namespace

CodePageString EscapeStrayMarkup(const CodePageString& text)
{
    CodePageString out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        switch (text[i]) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '&': out += StartsReference(text, i) ? "&" : "&amp;"; break;
        default: out += text[i];
        }
    }
    return out;
}

CodePageString ImportedText(const CodePageString& pageText, bool utf8)
{
    return EscapeStrayMarkup(utf8 ? CodePageString(Utf8ToCodePage(pageText)) : pageText);
}

PageTags ScrapePage(const std::string& page, const CodePageString& contentType)
{
    TPageScraper scraper;
    scraper.DeclareContentType(contentType);
    scraper.Feed(page.data(), BytesWithinScanLimit(0, page.size()));
    return scraper.Tags();
}
