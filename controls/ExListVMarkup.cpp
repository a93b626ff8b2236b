#include "controls/ExListVMarkup.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <list>
#include <map>
#include <memory>
#include <sys/stat.h>

#include "classlib/ShellIcons.h"
#include "platform/Resources.h"

namespace {

// --- the colour names ------------------------------------------------------------------

struct TColorName {
    const char* Name;
    TColor Color;
};

constexpr TColorName ColorNames[] = {
    {"clred", clRed},
    {"clblack", clBlack},
    {"clblue", clBlue},
    {"clgreen", clGreen},
    {"claqua", clAqua},
    {"clyellow", clYellow},
    {"clfuchsia", clFuchsia},
    {"clwhite", clWhite},
    {"cllime", clLime},
    {"clsilver", clSilver},
    {"clgray", clGray},
    {"clolive", clOlive},
    {"clnavy", clNavy},
    {"clpurple", clPurple},
    {"clteal", clTeal},
    {"clmaroon", clMaroon},
    {"clbackground", clBackground},
    {"clactivecaption", clActiveCaption},
    {"clinactivecaption", clInactiveCaption},
    {"clmenu", clMenu},
    {"clwindow", clWindow},
    {"clwindowframe", clWindowFrame},
    {"clmenutext", clMenuText},
    {"clwindowtext", clWindowText},
    {"clcaptiontext", clCaptionText},
    {"clactiveborder", clActiveBorder},
    {"clinactiveborder", clInactiveBorder},
    {"clappworkspace", clAppWorkSpace},
    {"clhighlight", clHighlight},
    {"clhighlighttext", clHighlightText},
    {"clbtnface", clBtnFace},
    {"clbtnshadow", clBtnShadow},
    {"clgraytext", clGrayText},
    {"clbtntext", clBtnText},
    {"clinactivecaptiontext", clInactiveCaptionText},
    {"clbtnhighlight", clBtnHighlight},
    {"cl3ddkshadow", cl3DDkShadow},
    {"cl3dlight", cl3DLight},
    {"clinfotext", clInfoText},
    {"clinfobk", clInfoBk},
};

struct TEntity {
    const char* Name;
    char Replacement;
};

constexpr TEntity Entities[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}};

constexpr int ListIndent = 12;     // pixels per list level
constexpr int ShadowOffset = 1;
constexpr TColor ShadowColor = 0x808080;
constexpr int MaxFontSize = 512;   // points; larger FONT sizes are ignored

char Upper(char c) { return char(std::toupper(static_cast<unsigned char>(c))); }

bool StartsNoCase(const CodePageString& s, size_t at, const char* prefix)
{
    for (size_t i = 0; prefix[i]; ++i)
        if (at + i >= s.size() || Upper(s[at + i]) != Upper(prefix[i]))
            return false;
    return true;
}

size_t FindNoCase(const CodePageString& s, const char* what, size_t from = 0)
{
    const size_t n = std::char_traits<char>::length(what);
    if (n == 0 || s.size() < n)
        return CodePageString::npos;
    for (size_t i = from; i + n <= s.size(); ++i)
        if (StartsNoCase(s, i, what))
            return i;
    return CodePageString::npos;
}

// Replaces the four entities, again and again until none is left ("&amp;"
// followed by "lt;" ends as "<"). A replacement can only start a new entity
// with the "&" it produced, so one pass that stays on it does it all.
CodePageString ReplaceEntities(CodePageString word)
{
    size_t i = word.find('&');
    while (i != CodePageString::npos && i < word.size()) {
        bool replaced = false;
        for (const TEntity& e : Entities) {
            if (StartsNoCase(word, i, e.Name)) {
                word.replace(i, std::char_traits<char>::length(e.Name), 1, e.Replacement);
                replaced = true;
                break;
            }
        }
        if (!replaced || word[i] != '&')
            i = word.find('&', i + 1);
    }
    return word;
}

// A tag's attribute: the text between the first pair of double quotes after
// its name (empty without quotes). "color" is not the tail of "bgcolor".
bool FindAttribute(const CodePageString& tag, const char* name, CodePageString& value, bool caseSensitive = false)
{
    const size_t n = std::char_traits<char>::length(name);
    size_t at = 0;
    for (;;) {
        at = caseSensitive ? tag.find(name, at) : FindNoCase(tag, name, at);
        if (at == CodePageString::npos)
            return false;
        const bool tailOfBg = at >= 2 && Upper(tag[at - 2]) == 'B' && Upper(tag[at - 1]) == 'G';
        if (!(tailOfBg && StartsNoCase(CodePageString(name), 0, "color")))
            break;
        at += n;
    }
    value.clear();
    const size_t open = tag.find('"', at + n);
    if (open != CodePageString::npos) {
        const size_t close = tag.find('"', open + 1);
        if (close != CodePageString::npos)
            value = tag.substr(open + 1, close - open - 1);
    }
    return true;
}

bool ReadNumber(const CodePageString& value, int& number)
{
    return TryStrToInt(Trim(value), number);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Upper(c);
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// --- pictures ----------------------------------------------------------------------------

// Bitmap files named by "file://", kept while they do not change: a cell is
// laid out again on every paint and every mouse move.
class TFileBitmaps {
public:
    const TBitmap* Find(const CodePageString& path)
    {
        struct stat st{};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > MaxFileSize)
            return nullptr;
        for (auto it = FEntries.begin(); it != FEntries.end(); ++it) {
            if (it->Path == path && it->Stamp == st.st_mtime && it->Size == st.st_size) {
                FEntries.splice(FEntries.begin(), FEntries, it);
                return FEntries.front().Bitmap.get();
            }
        }
        auto bitmap = std::make_unique<TBitmap>();
        try {
            bitmap->LoadFromFile(path);
        } catch (const std::exception&) {
            bitmap.reset();  // not a picture: the cell shows nothing there
        }
        FEntries.push_front({path, st.st_mtime, st.st_size, std::move(bitmap)});
        if (FEntries.size() > MaxEntries)
            FEntries.pop_back();
        const TBitmap* found = FEntries.front().Bitmap.get();
        return found && !found->Empty() ? found : nullptr;
    }

private:
    static constexpr off_t MaxFileSize = 32 * 1024 * 1024;
    static constexpr size_t MaxEntries = 16;
    struct TEntry {
        CodePageString Path;
        std::time_t Stamp;
        off_t Size;
        std::unique_ptr<TBitmap> Bitmap;
    };
    std::list<TEntry> FEntries;
};

TFileBitmaps& FileBitmaps()
{
    static TFileBitmaps cache;
    return cache;
}

// The local path of a "file://" address: an empty host or "localhost" only;
// an address that names another host would be a network fetch.
bool LocalFilePath(const CodePageString& rest, CodePageString& path)
{
    if (!rest.empty() && rest[0] == '/') {
        path = rest;
        return true;
    }
    if (StartsNoCase(rest, 0, "localhost/")) {
        path = rest.substr(9);
        return true;
    }
    return false;
}

const TBitmap* FileBitmap(const CodePageString& address)
{
    CodePageString path;
    if (!StartsNoCase(address, 0, "file://") || !LocalFilePath(address.substr(7), path))
        return nullptr;
    return FileBitmaps().Find(path);
}

// The program's pictures by name (letter case ignored, "#" and a number for
// a numbered one); each is read once. Names that find nothing are not kept,
// so cells of made-up names cannot grow the cache.
const TBitmap* ResourcePicture(const CodePageString& name)
{
    static std::map<CodePageString, std::unique_ptr<TBitmap>> pictures;
    const CodePageString key = UpperCase(name);
    if (const auto it = pictures.find(key); it != pictures.end())
        return it->second.get();
    auto bitmap = std::make_unique<TBitmap>();
    try {
        bitmap->LoadFromResourceName(key);
    } catch (const EInvalidGraphic&) {
        return nullptr;  // no such picture: the cell shows nothing there
    }
    return pictures.emplace(key, std::move(bitmap)).first->second.get();
}

struct TPicture {
    enum TKind { pkNone, pkImageList, pkBitmap } Kind = pkNone;
    const TImageList* List = nullptr;
    int Index = -1;
    const TBitmap* Bitmap = nullptr;
    int Width = 0;
    int Height = 0;

    void Draw(TCanvas& canvas, int x, int y) const
    {
        switch (Kind) {
        case pkImageList:
            List->Draw(&canvas, x, y, Index, true);
            break;
        case pkBitmap:
            canvas.DrawBitmap(Bounds(x, y, Width, Height), *Bitmap, Rect(0, 0, Bitmap->Width(), Bitmap->Height()),
                              false, clNone);
            break;
        case pkNone:
            break;
        }
    }
};

TPicture FromList(const TImageList& list, int index)
{
    TPicture p;
    if (index < 0 || index >= list.Count())
        return p;
    p.Kind = TPicture::pkImageList;
    p.List = &list;
    p.Index = index;
    p.Width = list.Width();
    p.Height = list.Height();
    return p;
}

TPicture FromBitmap(const TBitmap* bitmap, int width, int height)
{
    TPicture p;
    if (!bitmap || bitmap->Empty())
        return p;
    p.Kind = TPicture::pkBitmap;
    p.Bitmap = bitmap;
    p.Width = width > 0 ? width : bitmap->Width();
    p.Height = height > 0 ? height : bitmap->Height();
    return p;
}

TPicture FindPicture(const CodePageString& tag, const TImageList* images)
{
    CodePageString src;
    FindAttribute(tag, "src", src);
    int number = 0;
    if (StartsNoCase(src, 0, "idx:")) {
        if (images && ReadNumber(src.substr(4), number))
            return FromList(*images, number);
        return {};
    }
    const bool small = StartsNoCase(src, 0, "ssys:");
    if (small || StartsNoCase(src, 0, "lsys:")) {
        const TImageList& list = SystemImageList(!small);
        const CodePageString rest = src.substr(5);
        return FromList(list, ReadNumber(rest, number) ? number : ShellIconIndex(rest));
    }
    if (StartsNoCase(src, 0, "res://"))
        return FromBitmap(ResourcePicture(src.substr(6)), 0, 0);
    if (StartsNoCase(src, 0, "file://")) {
        // Unlike every other attribute, these two are known in lower case only.
        CodePageString value;
        int width = 0, height = 0;
        if (FindAttribute(tag, "width", value, true))
            ReadNumber(value, width);
        if (FindAttribute(tag, "height", value, true))
            ReadNumber(value, height);
        if (width <= 0 || height <= 0)
            width = height = 0;
        return FromBitmap(FileBitmap(src), width, height);
    }
    return {};
}

// --- the renderer ---------------------------------------------------------------------------

// The text still to lay out, read from Pos on.
struct TMarkupText {
    CodePageString Text;
    size_t Pos = 0;
    size_t NextHashTag = 0;  // where to look for the next "<#"

    bool Empty() const { return Pos >= Text.size(); }
    char At(size_t i) const { return Pos + i < Text.size() ? Text[Pos + i] : '\0'; }
    bool StartsWith(const char* prefix) const { return StartsNoCase(Text, Pos, prefix); }
};

// What a pass carries from line to line.
struct TPassState {
    TFont Font;
    int ListLevel = 0;
    bool InAnchor = false;
    CodePageString Anchor;
};

struct TLineMetrics {
    int Width = 0;
    int Height = 0;
    int SubExtra = 0;
    int SupExtra = 0;
    int Lift = 0;
};

enum TAlign { alLeft, alRight, alCenter };

class TRenderer {
public:
    TRenderer(TCanvas& canvas, const TRect& rect, const TMarkupContext& context, TMarkupMode mode, TPoint point)
        : FCanvas(canvas), FRect(rect), FContext(context), FMode(mode), FPoint(point),
          FInitialFont(*canvas.Font()), FInitialBrush(canvas.Brush()->Color()),
          FInitialBrushStyle(canvas.Brush()->Style())
    {
    }

    TMarkupResult Run(const CodePageString& source)
    {
        TMarkupText text;
        text.Text.reserve(source.size());
        for (char c : source)
            if (c != '\r' && c != '\n')
                text.Text.push_back(c);

        FCanvas.Brush()->SetStyle(bsClear);
        TPassState measure;
        measure.Font = FInitialFont;
        TPassState paint = measure;
        const int startX = FRect.Left + 1;
        int penY = FRect.Top;
        int lines = 0;
        while (!text.Empty()) {
            FSub = FSup = false;
            TLineMetrics m;
            TMarkupText taken;
            const size_t before = text.Pos;
            Line(text, false, startX, penY, measure, m, nullptr, &taken.Text);
            int left = startX;
            if (FAlign == alRight)
                left = FRect.Right - m.Width;
            else if (FAlign == alCenter)
                left = startX + (FRect.Right - startX - m.Width) / 2;
            const int boxHeight = m.Height + m.SubExtra + m.SupExtra;
            if (FMode != mmMeasure) {
                TLineMetrics again = m;
                again.Width = 0;
                Line(taken, true, left, penY, paint, again, &m, nullptr);
            }
            penY += boxHeight;
            FResult.Height += boxHeight;
            FResult.Width = std::max(FResult.Width, m.Width);
            ++lines;
            if (FMode != mmMeasure && penY + boxHeight > FRect.Bottom)
                break;
            if (text.Pos == before)
                break;  // nothing taken: cannot happen, but a hostile text must not hang the paint
        }
        if (lines == 0) {
            UseFont(FInitialFont);
            FResult.Height = FCanvas.TextHeight("gh");
        }
        FCanvas.SetFont(&FInitialFont);
        FCanvas.Brush()->SetColor(FInitialBrush);
        FCanvas.Brush()->SetStyle(FInitialBrushStyle);
        return FResult;
    }

private:
    void UseFont(const TFont& font)
    {
        if (!(*FCanvas.Font() == font))
            FCanvas.SetFont(&font);
    }

    void SetBrush(bool saved, TColor color)
    {
        if (saved) {
            FCanvas.Brush()->SetColor(color);
            FCanvas.Brush()->SetStyle(bsSolid);
        } else {
            FCanvas.Brush()->SetStyle(bsClear);
        }
    }
    bool BrushSet() const { return FCanvas.Brush()->Style() != bsClear; }

    void Fill(const TRect& r, TColor color)
    {
        const TColor oldColor = FCanvas.Brush()->Color();
        const TBrushStyle oldStyle = FCanvas.Brush()->Style();
        FCanvas.Brush()->SetColor(color);
        FCanvas.Brush()->SetStyle(bsSolid);
        FCanvas.FillRect(r);
        FCanvas.Brush()->SetColor(oldColor);
        FCanvas.Brush()->SetStyle(oldStyle);
    }

    int WordWidth(const CodePageString& word)
    {
        if (word.find('\t') == CodePageString::npos)
            return FCanvas.TextWidth(word);
        TRect r = Rect(0, 0, 0, 0);
        FCanvas.DrawText(word, r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_EXPANDTABS);
        return r.Width();
    }

    // Takes the "<" of the first "<#" still to come out, with the first ">"
    // after it; what lies between stays as text.
    static void DropHashTag(TMarkupText& text)
    {
        const size_t at = text.Text.find("<#", std::max(text.Pos, text.NextHashTag));
        if (at == CodePageString::npos) {
            text.NextHashTag = text.Text.size();
            return;
        }
        const size_t close = text.Text.find('>', at + 1);
        if (close != CodePageString::npos)
            text.Text.erase(close, 1);
        text.Text.erase(at, 1);
        text.NextHashTag = at;
    }

    // One line of one pass. The measuring pass takes words and tags from the
    // front of text until the line is full or ended (and hands them out in
    // taken); the painting pass lays the taken markup out again in the line
    // box. measured: the measuring pass's metrics (painting pass only).
    void Line(TMarkupText& text, bool painting, int left, int top, TPassState& state, TLineMetrics& m,
              const TLineMetrics* measured, CodePageString* taken)
    {
        const bool draw = painting && FMode == mmPaint;
        const bool fit = !painting || FMode == mmHitTest;
        const bool hit = FMode == mmHitTest;
        const int available = FRect.Right - left;
        int penX = left;
        UseFont(state.Font);
        const int gh = FCanvas.TextHeight("gh");
        m.Height = gh;
        if (draw && FParagraph)
            Fill(Rect(FRect.Left, top, FRect.Right, top + gh), FParagraphColor);
        int lastBottom = painting ? top + measured->Height + measured->SupExtra : FRect.Bottom;
        bool lastEndsInBlank = false;
        int lastBlank = 0;
        bool sawItem = false;

        auto take = [&](size_t count) {
            if (taken)
                taken->append(text.Text, text.Pos, count);
            text.Pos += count;
        };

        while (!text.Empty()) {
            // The word: up to the next "<" when that comes before the next
            // blank, else up to and including the next blank, else the rest.
            const size_t lt = text.Text.find('<', text.Pos);
            const size_t blank = text.Text.find(' ', text.Pos);
            size_t length;
            if (lt != CodePageString::npos && (blank == CodePageString::npos || lt < blank))
                length = lt - text.Pos;
            else if (blank != CodePageString::npos)
                length = blank - text.Pos + 1;
            else
                length = text.Text.size() - text.Pos;
            const CodePageString word = ReplaceEntities(text.Text.substr(text.Pos, length));

            const int h = FCanvas.TextHeight(word);
            if (FSub)
                m.SubExtra = std::max(m.SubExtra, h / 4);
            if (FSup)
                m.SupExtra = std::max(m.SupExtra, h / 4);
            m.Height = std::max(m.Height, h);
            // An empty word (a tag follows at once) takes no room and cannot end the line.
            if (!FHidden && !word.empty()) {
                const int w = WordWidth(word);
                if (fit) {
                    m.Width += w;
                    if (!(available > m.Width) && available > w) {
                        m.Width -= w;  // the word goes to the next line
                        break;
                    }
                }
                if (draw)
                    DrawWord(word, penX, top, *measured, m);
                if (hit && state.InAnchor && FPoint.x >= penX && FPoint.x <= penX + w && FPoint.y > top &&
                    FPoint.y < top + h)
                    FResult.Anchor = state.Anchor;
                penX += w;
                lastEndsInBlank = word.back() == ' ';
                lastBlank = lastEndsInBlank ? FCanvas.TextWidth(" ") : 0;
                lastBottom = top + h;
            }
            if (!painting) {
                FResult.PlainText += word;
                if (!FHidden) {
                    FResult.VisibleText += word;
                    if (state.InAnchor && !FResult.Anchors.empty())
                        FResult.Anchors.back().Text += word;
                }
            }
            take(length);
            DropHashTag(text);

            if (text.At(0) != '<')
                continue;
            // A tag. It ends at its first ">", or the rest of the text is dropped.
            const size_t close = text.Text.find('>', text.Pos);
            const bool closed = close != CodePageString::npos;
            const size_t tagLength = closed ? close - text.Pos + 1 : text.Text.size() - text.Pos;
            const CodePageString tag = text.Text.substr(text.Pos, tagLength);
            bool lineEnds = false;
            if (text.At(1) == '/') {
                Closing(text, Upper(text.At(2)), painting, state, lineEnds);
            } else {
                const TTagResult r = Opening(text, tag, closed, painting, draw, fit, hit, left, top, available,
                                             penX, lastBottom, sawItem, state, m, measured);
                if (r == trStays)
                    break;  // the tag waits for the next line
                lineEnds = r == trEndsLine;
            }
            take(tagLength);
            if (lineEnds)
                break;
        }
        if (lastEndsInBlank && !painting)
            m.Width -= lastBlank;
    }

    void DrawWord(const CodePageString& word, int penX, int top, const TLineMetrics& measured, const TLineMetrics& m)
    {
        int bottom = top + measured.Height + measured.SupExtra - m.Lift;
        if (FSub)
            bottom += m.SubExtra;
        if (FSup)
            bottom -= m.SupExtra;
        const unsigned flags = DT_SINGLELINE | DT_BOTTOM | DT_NOPREFIX | DT_EXPANDTABS | DT_EXTERNALLEADING;
        if (FShadow) {
            const TColor own = FCanvas.Font()->Color();
            FCanvas.Font()->SetColor(ShadowColor);
            TRect shadow = Rect(penX + ShadowOffset, top + ShadowOffset, FRect.Right + ShadowOffset,
                                bottom + ShadowOffset);
            FCanvas.DrawText(word, shadow, flags);
            FCanvas.Font()->SetColor(own);
        }
        TRect box = Rect(penX, top, FRect.Right, bottom);
        FCanvas.DrawText(word, box, flags);
    }

    enum TTagResult { trGoesOn, trEndsLine, trStays };

    TTagResult Opening(const TMarkupText& text, const CodePageString& tag, bool closed, bool painting, bool draw,
                       bool fit, bool hit, int left, int top, int available, int& penX, int& lastBottom,
                       bool& sawItem, TPassState& state, TLineMetrics& m, const TLineMetrics* measured)
    {
        CodePageString value;
        int number = 0;
        TFont& font = state.Font;
        switch (Upper(text.At(1))) {
        case 'A':
            if (FindAttribute(tag, "href", value)) {
                font.SetStyle(font.Style() << fsUnderline);
                if (!FContext.KeepColors)
                    font.SetColor(FContext.AnchorColor);
                state.Anchor = value;
                state.InAnchor = true;
                if (!painting)
                    FResult.Anchors.push_back({value, CodePageString()});
                UseFont(font);
            }
            break;
        case 'B':
            if (text.StartsWith("<BR>")) {
                if (!painting) {
                    FResult.PlainText += '\r';
                    FResult.VisibleText += '\r';
                }
                return trEndsLine;
            }
            if (text.StartsWith("<B>")) {
                font.SetStyle(font.Style() << fsBold);
            } else if (text.StartsWith("<BLINK")) {
                if (!FContext.BlinkOn)
                    font.SetColor(FInitialBrush);
            } else if (text.StartsWith("<BODY") && painting) {
                if (FindAttribute(tag, "background", value) && draw)
                    TileBackground(value);
                TColor color = clNone;
                if (FindAttribute(tag, "bgcolor", value) && ReadMarkupColor(value, color)) {
                    if (draw)
                        Fill(FRect, color);
                    SetBrush(true, color);
                    FFontBrushSaved = true;
                    FFontBrush = color;
                }
            }
            UseFont(font);
            break;
        case 'F':
            if (!closed)
                break;
            if (FindAttribute(tag, "face", value) && !value.empty())
                font.SetName(value);
            if (!FContext.KeepColors) {
                TColor color = font.Color();
                if (FindAttribute(tag, "color", value) && ReadMarkupColor(value, color))
                    font.SetColor(color);
                if (painting && FindAttribute(tag, "bgcolor", value) && ReadMarkupColor(value, color)) {
                    FFontBrushSaved = BrushSet();
                    FFontBrush = FCanvas.Brush()->Color();
                    SetBrush(true, color);
                }
            }
            if (FindAttribute(tag, "size", value) && ReadNumber(value, number) && number > 0 && number <= MaxFontSize)
                font.SetSize(number);
            UseFont(font);
            break;
        case 'H':
            if (draw) {
                const int y = top + measured->Height + measured->SupExtra + 1;
                const TPen saved(*FCanvas.Pen());
                FCanvas.Pen()->SetColor(clBlack);
                FCanvas.Pen()->SetWidth(1);
                FCanvas.Pen()->SetStyle(psSolid);
                FCanvas.MoveTo(left, y);
                FCanvas.LineTo(FRect.Right, y);
                FCanvas.SetPen(&saved);
            }
            return trEndsLine;
        case 'I':
            if (text.StartsWith("<I>")) {
                font.SetStyle(font.Style() << fsItalic);
                UseFont(font);
            } else if (text.StartsWith("<IND")) {
                if (FindAttribute(tag, "x", value) && ReadNumber(value, number) && number > m.Width) {
                    m.Width = number;
                    penX = FRect.Left + number;
                }
            } else if (text.StartsWith("<IMG")) {
                return Picture(tag, fit, hit, draw, top, available, penX, lastBottom, state, m);
            }
            break;
        case 'L': {
            if (sawItem)
                return trStays;  // a second item starts a line of its own
            sawItem = true;
            const int indent = state.ListLevel * ListIndent;
            m.Width += indent;
            const int bullet = penX + (state.ListLevel - 1) * ListIndent;
            if (draw) {
                // One character of the symbol font: its bullet on odd levels,
                // its small omicron (a ring) on even ones.
                TRect box = Rect(bullet, top, FRect.Right, top + FCanvas.TextHeight("gh"));
                TFont symbol(state.Font);
                symbol.SetName("Symbol");
                UseFont(symbol);
                FCanvas.DrawText(state.ListLevel % 2 ? "\xB7" : "o", box, DT_SINGLELINE | DT_NOPREFIX | DT_TOP);
                UseFont(state.Font);
            }
            penX = bullet + ListIndent;
            break;
        }
        case 'P':
            if (!closed)
                break;
            if (FindAttribute(tag, "align", value)) {
                if (FindNoCase(value, "right") != CodePageString::npos)
                    FAlign = alRight;
                else if (FindNoCase(value, "left") != CodePageString::npos)
                    FAlign = alLeft;
                else if (FindNoCase(value, "center") != CodePageString::npos)
                    FAlign = alCenter;
            }
            if (painting && FindAttribute(tag, "bgcolor", value)) {
                TColor color = clNone;
                if (ReadMarkupColor(value, color)) {
                    FParagraph = true;
                    FParagraphColor = color;
                    FParagraphBrushSaved = BrushSet();
                    FParagraphBrush = FCanvas.Brush()->Color();
                    if (draw)
                        Fill(Rect(FRect.Left, top, FRect.Right, top + m.Height + m.SubExtra + m.SupExtra), color);
                }
            }
            break;
        case 'S':
            if (text.StartsWith("<SUB>"))
                FSub = true;
            else if (text.StartsWith("<SUP>"))
                FSup = true;
            else if (text.StartsWith("<SHAD>"))
                FShadow = true;
            else if (text.StartsWith("<S>")) {
                font.SetStyle(font.Style() << fsStrikeOut);
                UseFont(font);
            }
            break;
        case 'U':
            if (text.StartsWith("<UL>")) {
                ++state.ListLevel;
            } else {
                font.SetStyle(font.Style() << fsUnderline);
                UseFont(font);
            }
            break;
        case 'Z':
            FHidden = true;
            break;
        case 'R':
            // Turned text: the angle in degrees, which the font keeps in tenths.
            if (FindAttribute(tag, "a", value) && ReadNumber(value, number)) {
                font.SetOrientation(number % 360 * 10);
                UseFont(font);
            }
            break;
        default:
            break;  // unknown tags: removed, nothing else
        }
        return trGoesOn;
    }

    void Closing(const TMarkupText& text, char letter, bool painting, TPassState& state, bool& lineEnds)
    {
        TFont& font = state.Font;
        switch (letter) {
        case 'A':
            font.SetStyle(font.Style() >> fsUnderline);
            state.InAnchor = false;
            if (!FContext.KeepColors)
                font.SetColor(FInitialFont.Color());
            break;
        case 'B':
            if (text.StartsWith("</BL"))
                font.SetColor(FInitialFont.Color());
            else
                font.SetStyle(font.Style() >> fsBold);
            break;
        case 'F':
            font.SetName(FInitialFont.Name());
            font.SetHeight(FInitialFont.Height());
            if (painting && !FContext.KeepColors) {
                font.SetColor(FInitialFont.Color());
                SetBrush(FFontBrushSaved, FFontBrush);
            }
            break;
        case 'I':
            font.SetStyle(font.Style() >> fsItalic);
            break;
        case 'R':
            font.SetOrientation(FInitialFont.Orientation());
            break;
        case 'P':
            lineEnds = true;
            if (painting) {
                FParagraph = false;
                SetBrush(FParagraphBrushSaved, FParagraphBrush);
            }
            break;
        case 'S': {
            const char next = Upper(text.At(3));
            if (next == 'U')
                FSub = FSup = false;
            else if (next == 'H')
                FShadow = false;
            else
                font.SetStyle(font.Style() >> fsStrikeOut);
            break;
        }
        case 'U':
            if (text.StartsWith("</UL>") && state.ListLevel > 0)
                --state.ListLevel;
            else
                font.SetStyle(font.Style() >> fsUnderline);
            break;
        case 'Z':
            FHidden = false;
            break;
        default:
            break;
        }
        UseFont(font);
    }

    TTagResult Picture(const CodePageString& tag, bool fit, bool hit, bool draw, int top, int available, int& penX,
                       int lastBottom, const TPassState& state, TLineMetrics& m)
    {
        const TPicture picture = FindPicture(tag, FContext.Images);
        if (fit && m.Width + picture.Width > available && picture.Width < available)
            return trStays;
        if (draw)
            picture.Draw(FCanvas, penX, top);
        if (hit && state.InAnchor && FPoint.x > penX && FPoint.x < penX + picture.Width && FPoint.y > top &&
            FPoint.y < lastBottom)
            FResult.Anchor = state.Anchor;
        m.Width += picture.Width;
        penX += picture.Width;
        m.Height = std::max(m.Height, picture.Height);
        if (FindNoCase(tag, "align") != CodePageString::npos) {
            const int gh = FCanvas.TextHeight("gh");
            if (FindNoCase(tag, "\"top") != CodePageString::npos)
                m.Lift = m.Height - gh;
            else if (FindNoCase(tag, "\"middle") != CodePageString::npos)
                m.Lift = (m.Height - gh) / 2;
        }
        return trGoesOn;
    }

    void TileBackground(const CodePageString& value)
    {
        const size_t at = FindNoCase(value, "file://");
        if (at == CodePageString::npos)
            return;
        const TBitmap* tile = FileBitmap(value.substr(at));
        if (!tile)
            return;
        const TRect saved = FCanvas.IntersectClip(FRect);
        for (int y = FRect.Top; y < FRect.Bottom; y += tile->Height())
            for (int x = FRect.Left; x < FRect.Right; x += tile->Width())
                FCanvas.DrawBitmap(Bounds(x, y, tile->Width(), tile->Height()), *tile,
                                   Rect(0, 0, tile->Width(), tile->Height()), false, clNone);
        FCanvas.RestoreClip(saved);
    }

    TCanvas& FCanvas;
    const TRect FRect;
    const TMarkupContext& FContext;
    const TMarkupMode FMode;
    const TPoint FPoint;
    const TFont FInitialFont;
    const TColor FInitialBrush;
    const TBrushStyle FInitialBrushStyle;
    TMarkupResult FResult;
    // Shared by the two passes of a line.
    bool FSub = false;
    bool FSup = false;
    bool FShadow = false;
    bool FHidden = false;
    bool FParagraph = false;
    TColor FParagraphColor = clNone;
    TAlign FAlign = alLeft;
    // The brushes that the closing tags return to.
    bool FFontBrushSaved = false;
    TColor FFontBrush = clNone;
    bool FParagraphBrushSaved = false;
    TColor FParagraphBrush = clNone;
};

}  // namespace

bool ReadMarkupColor(const CodePageString& value, TColor& color)
{
    if (value.find("cl") != CodePageString::npos) {
        const CodePageString name = LowerCase(value);
        color = clBlack;
        for (const TColorName& c : ColorNames)
            if (name == c.Name)
                color = c.Color;
        return true;
    }
    const size_t hash = value.find('#');
    if (hash == CodePageString::npos || hash + 7 > value.size())
        return false;
    int digits[6];
    for (int i = 0; i < 6; ++i)
        if ((digits[i] = HexDigit(value[hash + 1 + size_t(i)])) < 0)
            return false;
    color = RGB(digits[0] * 16 + digits[1], digits[2] * 16 + digits[3], digits[4] * 16 + digits[5]);
    return true;
}

TMarkupResult RenderMarkup(TCanvas& canvas, const CodePageString& text, const TRect& rect, const TMarkupContext& context,
                           TMarkupMode mode, TPoint point)
{
    TRenderer renderer(canvas, rect, context, mode, point);
    return renderer.Run(text);
}
