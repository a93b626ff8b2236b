#include "workbench/MetaData.h"

#include "classlib/Files.h"
#include "classlib/Strings.h"

namespace {

CodePageString MetaLine(const char* name, const CodePageString& content)
{
    return CodePageString("<META NAME=\"") + name + "\" CONTENT=\"" + content + "\">";
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// The first tag named by `open` ("<HEAD", "</HEAD") in the upper-cased text
// from `from` on: followed by ">" or a blank, so that a longer name is no
// match, and outside comments: a head or a script commented out is none.
// A comment left open hides the rest of the page.
std::size_t FindTag(const CodePageString& upper, const CodePageString& open, std::size_t from = 0)
{
    for (std::size_t at = upper.find('<', from); at != CodePageString::npos; at = upper.find('<', at + 1)) {
        if (upper.compare(at, 4, "<!--") == 0) {
            // "<!-->" and "<!--->" end where they start.
            const std::size_t close = upper.find("-->", at + 2);
            if (close == CodePageString::npos)
                return CodePageString::npos;
            at = close + 2;
            continue;
        }
        const std::size_t after = at + open.size();
        if (upper.compare(at, open.size(), open) == 0 && after < upper.size() &&
            (upper[after] == '>' || IsBlank(upper[after])))
            return at;
    }
    return CodePageString::npos;
}

CodePageString BlockText(const std::vector<CodePageString>& lines)
{
    CodePageString text;
    for (const CodePageString& line : lines)
        text += line + "\r\n";
    return text;
}

}  // namespace

std::vector<CodePageString> BuildMetaBlock(const MetaTagFields& f)
{
    std::vector<CodePageString> block;
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

std::optional<MetaSplice> SpliceMetaBlock(const CodePageString& page, const std::vector<CodePageString>& block)
{
    const CodePageString upper = UpperCase(page);
    const std::size_t head = FindTag(upper, "<HEAD");
    const std::size_t end = FindTag(upper, "</HEAD");
    if (head == CodePageString::npos || end == CodePageString::npos || end < head)
        return std::nullopt;
    // "</HEAD >" ends the head as "</HEAD>" does.
    const std::size_t endClose = upper.find('>', end);
    if (endClose == CodePageString::npos)
        return std::nullopt;

    // A script in the head stays where it is, with everything after it.
    const std::size_t script = FindTag(upper, "<SCRIPT", head);
    if (script != CodePageString::npos && script < end) {
        std::vector<CodePageString> opening = block;
        if (!opening.empty() && opening.back() == "</HEAD>")
            opening.pop_back();
        return MetaSplice{page.substr(0, head) + BlockText(opening) + page.substr(script), true};
    }

    std::size_t after = endClose + 1;
    // The block ends its last line itself: the line break after the head's
    // end goes with the head, and nothing else does.
    if (after < page.size() && page[after] == '\r')
        ++after;
    if (after < page.size() && page[after] == '\n')
        ++after;
    return MetaSplice{page.substr(0, head) + BlockText(block) + page.substr(after), false};
}

TMetaInjected InjectMetaBlockIntoFile(const CodePageString& fileName, const std::vector<CodePageString>& block)
{
    // A page reached through a link is changed where it lies: a new file in
    // the link's place would leave the page itself as it was.
    const CodePageString page = LinkTarget(fileName);
    const std::string original = ReadFileBytes(page);
    const std::optional<MetaSplice> injected = SpliceMetaBlock(original, block);
    if (!injected)
        return {};
    // Refused before its copy is made: nothing is written for a page that stays as it is.
    RefuseReadOnlyFile(page);
    TMetaInjected done;
    done.how = injected->beforeScript ? MetaInjection::InjectedBeforeScript : MetaInjection::Injected;
    const CodePageString backup = fileName + ".bac";
    if (!FileExists(backup)) {
        WriteFileAtomic(backup, original);
        done.backupSaved = true;
    }
    WriteFileAtomic(page, injected->page);
    return done;
}
