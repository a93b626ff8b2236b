#include "htmlview/HtmlUtil.h"

#include <algorithm>
#include <cctype>

#include "classlib/Strings.h"

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decodes "%hh" escapes from the first "%" on. A decoded "%" may start the
// next escape with the two characters after it. Decoding stops for good at a
// "%" in the first position, a "%" with fewer than two characters after it,
// or a pair that is not hexadecimal.
CodePageString DecodePercentEscapes(const CodePageString& in)
{
    CodePageString out;
    out.reserve(in.size());
    std::size_t next = 0;  // first byte of `in` not yet looked at
    bool decodedPercent = false;  // a decoded "%" stands at out.size()
    for (;;) {
        if (!decodedPercent) {
            const std::size_t percent = in.find('%', next);
            if (percent == CodePageString::npos) {
                out.append(in, next, CodePageString::npos);
                return out;
            }
            out.append(in, next, percent - next);
            next = percent + 1;
        }
        const int high = next + 2 <= in.size() ? HexValue(in[next]) : -1;
        const int low = next + 2 <= in.size() ? HexValue(in[next + 1]) : -1;
        if (out.empty() || high < 0 || low < 0) {
            out += '%';
            out.append(in, next, CodePageString::npos);
            return out;
        }
        next += 2;
        const char decoded = char(high * 16 + low);
        decodedPercent = decoded == '%';
        if (!decodedPercent)
            out += decoded;
    }
}

}  // namespace

// --- the indent manager --------------------------------------------------------

void IndentManagerBasic::Reset(int left, int right)
{
    LeftEdge = left;
    RightEdge = right;
    CurrentLevel = 0;
}

void IndentManagerBasic::Clear()
{
    LeftList.clear();
    RightList.clear();
    FLeftIndex = TSideIndex();
    FRightIndex = TSideIndex();
    FOpenLevels.clear();
    FAnyLevelZero = false;
    FLastLevelZero = 0;
    FLevelZeroEnds.clear();
}

void IndentManagerBasic::NoteLevelZero(TSideIndex& side, std::size_t index, bool left) const
{
    const IndentRec& r = left ? LeftList[index] : RightList[index];
    side.FloatEnd = side.AnyFloat ? std::max(side.FloatEnd, r.EndY) : r.EndY;
    side.AnyFloat = true;
    if (!left)
        return;
    FLastLevelZero = FAnyLevelZero ? std::max(FLastLevelZero, index) : index;
    FAnyLevelZero = true;
    const auto [at, added] = FLevelZeroEnds.emplace(r.X, r.EndY);
    if (!added)
        at->second = std::max(at->second, r.EndY);
}

void IndentManagerBasic::TakeIn(const std::vector<IndentRec>& list, TSideIndex& side, bool left) const
{
    if (list.size() < side.Seen) {
        // Emptied from outside: everything is taken in again.
        side = TSideIndex();
        if (left) {
            FOpenLevels.clear();
            FAnyLevelZero = false;
            FLastLevelZero = 0;
            FLevelZeroEnds.clear();
        }
    }
    for (; side.Seen < list.size(); ++side.Seen) {
        side.Live.push_back(side.Seen);
        if (list[side.Seen].Level == 0)
            NoteLevelZero(side, side.Seen, left);
        else if (left)
            FOpenLevels.push_back(side.Seen);
    }
}

int IndentManagerBasic::IndentAt(const std::vector<IndentRec>& list, TSideIndex& side, int y, bool left) const
{
    TakeIn(list, side, left);
    int indent = 0;
    const auto apply = [&](const IndentRec& r) {
        if (r.StartY <= y && y < r.EndY)
            indent = left ? std::max(indent, r.X) : std::min(indent, r.X);
    };
    if (y < side.SweepY) {
        // Above the layout's way down (a paint asks there): every record.
        for (const IndentRec& r : list)
            apply(r);
        return indent;
    }
    if (y > side.SweepY) {
        // Records that end at or above y apply to nothing lower.
        side.Live.erase(std::remove_if(side.Live.begin(), side.Live.end(),
                                       [&](std::size_t i) { return list[i].EndY <= y; }),
                        side.Live.end());
        side.SweepY = y;
    }
    for (const std::size_t i : side.Live)
        apply(list[i]);
    return indent;
}

void IndentManagerBasic::AddFloat(int y, int w, TJustify align, int h)
{
    if (align == jLeft)
        LeftList.push_back({LeftEdgeAt(y) - LeftEdge + w, y, y + h, 0});
    else if (align == jRight)
        RightList.push_back({RightEdgeAt(y) - RightEdge - w, y, y + h, 0});
}

int IndentManagerBasic::LeftEdgeAt(int y) const
{
    return LeftEdge + IndentAt(LeftList, FLeftIndex, y, true);
}

int IndentManagerBasic::RightEdgeAt(int y) const
{
    return RightEdge + IndentAt(RightList, FRightIndex, y, false);
}

int IndentManagerBasic::FloatsBottom() const
{
    TakeIn(LeftList, FLeftIndex, true);
    TakeIn(RightList, FRightIndex, false);
    const TSideIndex& left = FLeftIndex;
    const TSideIndex& right = FRightIndex;
    if (left.AnyFloat && right.AnyFloat)
        return std::max(left.FloatEnd, right.FloatEnd);
    return left.AnyFloat ? left.FloatEnd : right.AnyFloat ? right.FloatEnd : 0;
}

void IndentManagerBasic::ClearLines(int& clearLeft, int& clearRight) const
{
    TakeIn(LeftList, FLeftIndex, true);
    TakeIn(RightList, FRightIndex, false);
    clearLeft = FLeftIndex.AnyFloat ? FLeftIndex.FloatEnd + 1 : 0;
    clearRight = FRightIndex.AnyFloat ? FRightIndex.FloatEnd + 1 : 0;
}

int IndentManagerBasic::NextLeftY() const
{
    TakeIn(LeftList, FLeftIndex, true);
    // The X of the last record of the current level: an open one, or for
    // level 0 the last level-0 record.
    int levelX = 0;
    if (CurrentLevel == 0) {
        if (FAnyLevelZero)
            levelX = LeftList[FLastLevelZero].X;
    } else {
        for (auto i = FOpenLevels.rbegin(); i != FOpenLevels.rend(); ++i) {
            if (LeftList[*i].Level == CurrentLevel) {
                levelX = LeftList[*i].X;
                break;
            }
        }
    }
    bool any = false;
    int end = 0;
    const auto take = [&](int endY) {
        end = any ? std::max(end, endY) : endY;
        any = true;
    };
    for (const std::size_t i : FOpenLevels)
        if (LeftList[i].X > levelX)
            take(LeftList[i].EndY);
    for (auto at = FLevelZeroEnds.upper_bound(levelX); at != FLevelZeroEnds.end(); ++at)
        take(at->second);
    return any ? end + 1 : 1;
}

void IndentManagerBasic::SetListLevel(int y, int level)
{
    if (level > CurrentLevel) {
        for (int l = CurrentLevel + 1; l <= level; ++l)
            LeftList.push_back({LeftEdgeAt(y) - LeftEdge + ListIndent, y, OpenEndY, l});
    } else if (level < CurrentLevel && CurrentLevel >= 1) {
        TakeIn(LeftList, FLeftIndex, true);
        std::vector<std::size_t> stillOpen;
        for (const std::size_t i : FOpenLevels) {
            IndentRec& r = LeftList[i];
            if (r.Level > level) {
                r.Level = 0;
                r.EndY = y - 1;
                NoteLevelZero(FLeftIndex, i, true);
            } else {
                stillOpen.push_back(i);
            }
        }
        FOpenLevels = std::move(stillOpen);
    }
    CurrentLevel = level;
}

// --- text helpers ----------------------------------------------------------------

namespace {

// "file:///C|/dir" or "file:///C:/dir": a drive follows the three slashes.
bool FileUrlHasDrive(const CodePageString& path, std::size_t scheme)
{
    const std::size_t at = scheme + 8;
    return at + 1 < path.size() && std::isalpha(static_cast<unsigned char>(path[at])) &&
           (path[at + 1] == '|' || path[at + 1] == ':');
}

}  // namespace

CodePageString UrlToLocalPath(const CodePageString& url)
{
    CodePageString path = DecodePercentEscapes(url);
    if (path.find('/') == CodePageString::npos)
        return path;
    // File names keep their case: here they are told apart by it. The
    // scheme is found in any case.
    const CodePageString lower = LowerCase(path);
    std::size_t scheme = lower.find("file:///");
    if (scheme != CodePageString::npos)
        path.erase(scheme, FileUrlHasDrive(path, scheme) ? 8 : 7);  // "/home/..." keeps its root
    else if ((scheme = lower.find("file://")) != CodePageString::npos)
        path.erase(scheme, 7);
    std::replace(path.begin(), path.end(), '|', ':');
    return path;
}

CodePageString UrlToServerPath(const CodePageString& url, const CodePageString& root)
{
    const CodePageString path = UrlToLocalPath(url);
    // A file URL names a path of the file system, not one under the root.
    const bool fileUrl = LowerCase(url).find("file://") != CodePageString::npos;
    return !path.empty() && path[0] == '/' && !fileUrl ? root + path : path;
}

CodePageString TrimBlanks(const CodePageString& s)
{
    return Trim(s);
}

void DrawWrapped(TCanvas* canvas, int x1, int y1, int x2, int y2, const CodePageString& s)
{
    const int lineHeight = canvas->TextHeight("A");
    const TRect clip = Rect(x1, y1, x2, y2);
    // The text goes over whatever is drawn there already.
    const TBrushStyle brushStyle = canvas->Brush()->Style();
    canvas->Brush()->SetStyle(bsClear);

    CodePageString line;
    int y = y1;
    std::size_t next = 0;
    for (;;) {
        while (next < s.size() && static_cast<unsigned char>(s[next]) <= ' ')
            ++next;
        if (next >= s.size() || y + lineHeight > y2)
            break;
        std::size_t wordEnd = s.find(' ', next);
        if (wordEnd == CodePageString::npos)
            wordEnd = s.size();
        const CodePageString word = s.substr(next, wordEnd - next);
        next = wordEnd;
        if (canvas->TextWidth(line + word) > x2 - x1) {
            if (!line.empty()) {
                canvas->TextRect(clip, x1, y, line);
                y += lineHeight;
            }
            line = word + ' ';
        } else {
            line += word + ' ';
        }
    }
    if (!line.empty() && y + lineHeight <= y2)
        canvas->TextRect(clip, x1, y, line);
    canvas->Brush()->SetStyle(brushStyle);
}

void Draw3DFrame(TColor background, TCanvas* canvas, int x1, int y1, int x2, int y2, bool raised)
{
    const TColor page = background & ~PaletteFlag;
    const bool whitePage = page == clWhite || (page == clWindow && ColorToRGB(clWindow) == clWhite);
    const TColor light = whitePage ? clSilver : clBtnHighlight;
    const TColor dark = clBtnShadow;
    canvas->Pen()->SetColor(raised ? light : dark);
    canvas->MoveTo(x1, y2);
    canvas->LineTo(x1, y1);
    canvas->LineTo(x2, y1);
    canvas->Pen()->SetColor(raised ? dark : light);
    canvas->LineTo(x2, y2);
    canvas->LineTo(x1, y2);
}

int TextWidth(TCanvas* canvas, const CodePageString& text, int count)
{
    const std::size_t n = std::size_t(std::clamp(count, 0, int(text.size())));
    return canvas->TextExtent(text.substr(0, n)).cx;
}

void WriteLine(TStream& stream, const CodePageString& text, int count)
{
    const std::size_t n = std::size_t(std::clamp(count, 0, int(text.size())));
    stream.WriteBuffer(text.data(), std::int64_t(n));
    stream.WriteBuffer("\r\n", 2);
}
