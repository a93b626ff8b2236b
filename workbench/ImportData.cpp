#include "workbench/ImportData.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t npos = std::string::npos;

constexpr const char* TitleOpen = "<TITLE>";
constexpr const char* TitleClose = "</TITLE>";
constexpr const char* ContentMarker = "CONTENT=";

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
        const char c = data[i];
        if (c == '\r' || c == '\n' || c == '\0')
            continue;
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

bool TPageScraper::Complete() const
{
    return FTags.hasTitle && FDescription.done && FKeywords.done;
}

unsigned TPageScraper::Feed(const char* data, std::size_t length)
{
    if (Complete() || length == 0)
        return FoundNone;
    FText.Append(data, length);
    unsigned found = ScanTitle();
    if (ScanMeta(FDescription, FTags.description)) {
        FTags.hasDescription = true;
        found |= FoundDescription;
    }
    AnsiString keywordsValue;
    if (ScanMeta(FKeywords, keywordsValue)) {
        FTags.keywords = KeywordsOfValue(keywordsValue);
        FTags.hasKeywords = true;
        found |= FoundKeywords;
    }
    Trim();
    return found;
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
    FTags.title = FText.Text(FTitleOpen, close);
    FTags.hasTitle = true;
    return FoundTitle;
}

bool TPageScraper::ScanMeta(TMetaSearch& meta, AnsiString& value)
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
        // The value is whatever follows the next CONTENT=, in this tag or a later one.
        const std::size_t content = FText.Find(ContentMarker, meta.searched);
        if (content == npos) {
            meta.searched = ResumeAt(meta.searched, FText.End(), std::strlen(ContentMarker));
            return false;
        }
        meta.valueAt = content + std::strlen(ContentMarker);
        meta.searched = meta.valueAt;
    }
    // Whether the value opens with a quote is known once its first byte is here.
    if (!meta.quoteChecked) {
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

void TPageScraper::Trim()
{
    std::size_t keep = FText.End();
    if (!FTags.hasTitle)
        keep = std::min(keep, FTitleOpen != npos ? FTitleOpen : FTitleSearched);
    for (const TMetaSearch* meta : {&FDescription, &FKeywords})
        if (!meta->done)
            keep = std::min(keep, meta->valueAt != npos ? meta->valueAt : meta->searched);
    FText.DropBefore(keep);
}

AnsiString KeywordsOfValue(const AnsiString& value)
{
    AnsiString keywords;
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

PageTags ScrapePage(const std::string& page)
{
    TPageScraper scraper;
    scraper.Feed(page.data(), BytesWithinScanLimit(0, page.size()));
    return scraper.Tags();
}
