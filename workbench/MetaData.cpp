#include "workbench/MetaData.h"

#include <filesystem>

namespace {

AnsiString MetaLine(const char* name, const AnsiString& content)
{
    return AnsiString("<META NAME=\"") + name + "\" CONTENT=\"" + content + "\">";
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// The first tag named by `open` ("<HEAD") in the upper-cased text from `from`
// on: followed by ">" or a blank, so that a longer name is no match.
std::size_t FindTag(const AnsiString& upper, const AnsiString& open, std::size_t from = 0)
{
    for (std::size_t at = upper.find(open, from); at != AnsiString::npos; at = upper.find(open, at + 1)) {
        const std::size_t after = at + open.size();
        if (after < upper.size() && (upper[after] == '>' || IsBlank(upper[after])))
            return at;
    }
    return AnsiString::npos;
}

AnsiString BlockText(const std::vector<AnsiString>& lines)
{
    AnsiString text;
    for (const AnsiString& line : lines)
        text += line + "\r\n";
    return text;
}

}  // namespace

std::vector<AnsiString> BuildMetaBlock(const MetaTagFields& f)
{
    std::vector<AnsiString> block;
    block.push_back("<HEAD>");
    block.push_back("<TITLE>" + f.title + "</TITLE>");
    if (f.keywordsOn)
        block.push_back(MetaLine("Keywords", f.keywords));
    if (f.descriptionOn)
        block.push_back(MetaLine("Description", f.description));
    if (f.authorOn)
        block.push_back(MetaLine("Author", f.author));
    if (f.copyrightOn)
        block.push_back(MetaLine("Copyright", f.copyright));
    block.push_back(MetaLine("Creator", f.creator));
    if (f.distributionOn)
        block.push_back(MetaLine("Distribution", f.distribution));
    if (f.ratingOn)
        block.push_back(MetaLine("Rating", f.rating));
    if (f.robotsOn)
        block.push_back(MetaLine("Robots", f.robots));
    block.push_back("</HEAD>");
    return block;
}

std::optional<MetaSplice> SpliceMetaBlock(const AnsiString& page, const std::vector<AnsiString>& block)
{
    const AnsiString upper = UpperCase(page);
    const std::size_t head = FindTag(upper, "<HEAD");
    const std::size_t end = upper.find("</HEAD>");
    if (head == AnsiString::npos || end == AnsiString::npos || end < head)
        return std::nullopt;

    // A script in the head stays where it is, with everything after it.
    const std::size_t script = FindTag(upper, "<SCRIPT", head);
    if (script != AnsiString::npos && script < end) {
        std::vector<AnsiString> opening = block;
        if (!opening.empty() && opening.back() == "</HEAD>")
            opening.pop_back();
        return MetaSplice{page.substr(0, head) + BlockText(opening) + page.substr(script), true};
    }

    std::size_t after = end + 7;
    // The block ends its last line itself: the line break after the head's
    // end goes with the head, and nothing else does.
    if (after < page.size() && page[after] == '\r')
        ++after;
    if (after < page.size() && page[after] == '\n')
        ++after;
    return MetaSplice{page.substr(0, head) + BlockText(block) + page.substr(after), false};
}

MetaInjection InjectMetaBlockIntoFile(const AnsiString& fileName, const std::vector<AnsiString>& block)
{
    // A page reached through a link is changed where it lies: a new file in
    // the link's place would leave the page itself as it was.
    std::error_code unresolved;
    const std::filesystem::path target = std::filesystem::canonical(fileName.c_str(), unresolved);
    const AnsiString page = unresolved ? fileName : AnsiString(target.string());
    const std::string original = ReadFileBytes(page);
    const std::optional<MetaSplice> injected = SpliceMetaBlock(original, block);
    if (!injected)
        return MetaInjection::NoHead;
    const AnsiString backup = fileName + ".bac";
    if (!FileExists(backup))
        WriteFileAtomic(backup, original);
    WriteFileAtomic(page, injected->page);
    return injected->beforeScript ? MetaInjection::InjectedBeforeScript : MetaInjection::Injected;
}
