#include "htmlview/HtmlUtil.h"

#include <algorithm>
#include <cctype>

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
AnsiString DecodePercentEscapes(const AnsiString& in)
{
    AnsiString out;
    out.reserve(in.size());
    std::size_t next = 0;  // first byte of `in` not yet looked at
    bool decodedPercent = false;  // a decoded "%" stands at out.size()
    for (;;) {
        if (!decodedPercent) {
            const std::size_t percent = in.find('%', next);
            if (percent == AnsiString::npos) {
                out.append(in, next, AnsiString::npos);
                return out;
            }
            out.append(in, next, percent - next);
            next = percent + 1;
        }
        const int high = next + 2 <= in.size() ? HexValue(in[next]) : -1;
        const int low = next + 2 <= in.size() ? HexValue(in[next + 1]) : -1;
        if (out.empty() || high < 0 || low < 0) {
            out += '%';
            out.append(in, next, AnsiString::npos);
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

bool TAttributeList::FindSymbol(HtmlSymbol symbol, TAttribute*& attribute) const
{
    for (const auto& item : *this) {
        if (item->Symbol == symbol) {
            attribute = item.get();
            return true;
        }
    }
    return false;
}

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
    int indent = 0;
    for (const IndentRec& r : LeftList)
        if (r.StartY <= y && y < r.EndY)
            indent = std::max(indent, r.X);
    return LeftEdge + indent;
}

int IndentManagerBasic::RightEdgeAt(int y) const
{
    int indent = 0;
    for (const IndentRec& r : RightList)
        if (r.StartY <= y && y < r.EndY)
            indent = std::min(indent, r.X);
    return RightEdge + indent;
}

namespace {

// The largest EndY of the floats of one side, 0 when there is none.
int FloatsEnd(const std::vector<IndentRec>& list, bool& any)
{
    int end = 0;
    any = false;
    for (const IndentRec& r : list) {
        if (r.Level == 0) {
            end = any ? std::max(end, r.EndY) : r.EndY;
            any = true;
        }
    }
    return end;
}

}  // namespace

int IndentManagerBasic::FloatsBottom() const
{
    bool anyLeft = false;
    bool anyRight = false;
    const int left = FloatsEnd(LeftList, anyLeft);
    const int right = FloatsEnd(RightList, anyRight);
    if (anyLeft && anyRight)
        return std::max(left, right);
    return anyLeft ? left : anyRight ? right : 0;
}

void IndentManagerBasic::ClearLines(int& clearLeft, int& clearRight) const
{
    bool any = false;
    const int left = FloatsEnd(LeftList, any);
    clearLeft = any ? left + 1 : 0;
    const int right = FloatsEnd(RightList, any);
    clearRight = any ? right + 1 : 0;
}

int IndentManagerBasic::NextLeftY() const
{
    int levelX = 0;
    for (const IndentRec& r : LeftList)
        if (r.Level == CurrentLevel)
            levelX = r.X;
    bool any = false;
    int end = 0;
    for (const IndentRec& r : LeftList) {
        if (r.X > levelX) {
            end = any ? std::max(end, r.EndY) : r.EndY;
            any = true;
        }
    }
    return any ? end + 1 : 1;
}

void IndentManagerBasic::SetListLevel(int y, int level)
{
    if (level > CurrentLevel) {
        for (int l = CurrentLevel + 1; l <= level; ++l)
            LeftList.push_back({LeftEdgeAt(y) - LeftEdge + ListIndent, y, OpenEndY, l});
    } else if (level < CurrentLevel && CurrentLevel >= 1) {
        for (IndentRec& r : LeftList) {
            if (r.Level > level) {
                r.Level = 0;
                r.EndY = y - 1;
            }
        }
    }
    CurrentLevel = level;
}

// --- text helpers ----------------------------------------------------------------

namespace {

// "file:///C|/dir" or "file:///C:/dir": a drive follows the three slashes.
bool FileUrlHasDrive(const AnsiString& path, std::size_t scheme)
{
    const std::size_t at = scheme + 8;
    return at + 1 < path.size() && std::isalpha(static_cast<unsigned char>(path[at])) &&
           (path[at + 1] == '|' || path[at + 1] == ':');
}

}  // namespace

AnsiString UrlToLocalPath(const AnsiString& url)
{
    AnsiString path = DecodePercentEscapes(url);
    if (path.find('/') == AnsiString::npos)
        return path;
    // File names keep their case: here they are told apart by it. The
    // scheme is found in any case.
    const AnsiString lower = LowerCase(path);
    std::size_t scheme = lower.find("file:///");
    if (scheme != AnsiString::npos)
        path.erase(scheme, FileUrlHasDrive(path, scheme) ? 8 : 7);  // "/home/..." keeps its root
    else if ((scheme = lower.find("file://")) != AnsiString::npos)
        path.erase(scheme, 7);
    std::replace(path.begin(), path.end(), '|', ':');
    return path;
}

AnsiString UrlToServerPath(const AnsiString& url, const AnsiString& root)
{
    const AnsiString path = UrlToLocalPath(url);
    // A file URL names a path of the file system, not one under the root.
    const bool fileUrl = LowerCase(url).find("file://") != AnsiString::npos;
    return !path.empty() && path[0] == '/' && !fileUrl ? root + path : path;
}

AnsiString TrimBlanks(const AnsiString& s)
{
    return Trim(s);
}

void DrawWrapped(TCanvas* canvas, int x1, int y1, int x2, int y2, const AnsiString& s)
{
    const int lineHeight = canvas->TextHeight("A");
    const TRect clip = Rect(x1, y1, x2, y2);
    // The text goes over whatever is drawn there already.
    const TBrushStyle brushStyle = canvas->Brush()->Style();
    canvas->Brush()->SetStyle(bsClear);

    AnsiString line;
    int y = y1;
    std::size_t next = 0;
    for (;;) {
        while (next < s.size() && static_cast<unsigned char>(s[next]) <= ' ')
            ++next;
        if (next >= s.size() || y + lineHeight > y2)
            break;
        std::size_t wordEnd = s.find(' ', next);
        if (wordEnd == AnsiString::npos)
            wordEnd = s.size();
        const AnsiString word = s.substr(next, wordEnd - next);
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

int TextWidth(TCanvas* canvas, const AnsiString& text, int count)
{
    const std::size_t n = std::size_t(std::clamp(count, 0, int(text.size())));
    return canvas->TextExtent(text.substr(0, n)).cx;
}

void WriteLine(TStream& stream, const AnsiString& text, int count)
{
    const std::size_t n = std::size_t(std::clamp(count, 0, int(text.size())));
    stream.WriteBuffer(text.data(), std::int64_t(n));
    stream.WriteBuffer("\r\n", 2);
}
