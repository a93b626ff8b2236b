#include "controls/ColMemo.h"

#include <algorithm>
#include <string_view>

namespace {

struct TNamedColor {
    const char* Name;
    TColor Color;
};
constexpr TNamedColor NamedColors[] = {
    {"BLACK", 0x000000}, {"MAROON", 0x000080}, {"GREEN", 0x008000},  {"OLIVE", 0x008080},
    {"NAVY", 0x800000},  {"PURPLE", 0x800080}, {"TEAL", 0x808000},   {"GRAY", 0x808080},
    {"SILVER", 0xC0C0C0}, {"RED", 0x0000FF},   {"LIME", 0x00FF00},   {"YELLOW", 0x00FFFF},
    {"BLUE", 0xFF0000},  {"FUCHSIA", 0xFF00FF}, {"AQUA", 0xFFFF00},  {"WHITE", 0xFFFFFF},
};

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '@';
}

// An entry's colour is the text after its last ";", whatever stands between.
CodePageString ColorPart(const CodePageString& line)
{
    return line.substr(line.rfind(';') + 1);
}

bool IsLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

}  // namespace

bool ReadRuleColor(const CodePageString& text, TColor& color)
{
    CodePageString t = UpperCase(Trim(text));
    for (const TNamedColor& named : NamedColors)
        if (t == named.Name) {
            color = named.Color;
            return true;
        }
    if (!t.empty() && (t[0] == '#' || t[0] == '$'))
        t.erase(0, 1);
    if (t.empty() || t.size() > 6)
        return false;
    std::uint32_t rgb = 0;
    for (const char c : t) {
        const int digit = HexValue(c);
        if (digit < 0)
            return false;
        rgb = rgb * 16 + std::uint32_t(digit);
    }
    color = TColor(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
    return true;
}

// --- TColorRule ----------------------------------------------------------------------------------

TColorRule::TColorRule(TColorMemo* memo)
    : FMemo(memo),
      FKeywords(std::make_unique<TStringList>()),
      FKeyBegEndLst(std::make_unique<TStringList>()),
      FKeyLineEndLst(std::make_unique<TStringList>())
{
    FKeywords->OnChange = [this](TObject*) {
        FIntChar = "*";
        Changed();
    };
    FKeyBegEndLst->OnChange = [this](TObject*) { Changed(); };
    FKeyLineEndLst->OnChange = [this](TObject*) { Changed(); };
}

void TColorRule::SetZOrder(std::uint8_t z)
{
    FZOrder = z;
    Changed();
}

void TColorRule::SetKeyMaxHeight(int lines)
{
    FKeyMaxHeight = lines;
    Changed();
}

void TColorRule::SetKeyDrawingType(TKeyDrawingType type)
{
    FKeyDrawingType = type;
    Changed();
}

void TColorRule::SetKeyCase(bool v)
{
    FKeyCase = v;
    Changed();
}

void TColorRule::SetEnabled(bool v)
{
    FEnabled = v;
    Changed();
}

void TColorRule::SetPartWord(bool v)
{
    FPartWord = v;
    Changed();
}

void TColorRule::SetDefKeyColor(TColor color)
{
    FDefKeyColor = color;
    Changed();
}

void TColorRule::Changed()
{
    Parse();
    if (FMemo)
        FMemo->RulesChanged();
}

void TColorRule::Parse()
{
    FPairs = ParsePairs(*FKeyBegEndLst, true);
    FKeywordList.clear();
    FColors.clear();
    FLineEnds.clear();
    if (FKeyDrawingType == dtKeyShow)
        ParseKeywords();
    if (FKeyDrawingType == dtBeginLineEnd)
        FLineEnds = ParsePairs(*FKeyLineEndLst, false);
}

int TColorRule::ColorIndex(const CodePageString& colorText)
{
    TColor color = 0;
    // No colour, a text that is no colour, and a colour beyond the table's
    // room all take the rule's default colour.
    if (!ReadRuleColor(colorText, color))
        return -1;
    const auto known = std::find(FColors.begin(), FColors.end(), color);
    if (known != FColors.end())
        return int(known - FColors.begin());
    if (int(FColors.size()) >= MaxColors)
        return -1;
    FColors.push_back(color);
    return int(FColors.size()) - 1;
}

void TColorRule::ParseKeywords()
{
    for (int i = 0; i < FKeywords->Count(); ++i) {
        const CodePageString line = Trim(FKeywords->Strings(i));
        const std::size_t semi = line.find(';');
        CodePageString keyword = line.substr(0, semi);
        if (keyword.empty())
            continue;
        if (!FKeyCase)
            keyword = UpperCase(keyword);
        FKeywordList.push_back({keyword, ColorIndex(semi == CodePageString::npos ? CodePageString() : ColorPart(line))});
    }
}

std::vector<TColorRule::TMarkerPair> TColorRule::ParsePairs(const TStrings& lines, bool withEnd) const
{
    std::vector<TMarkerPair> pairs;
    const int count = std::min(lines.Count(), MaxPairs);
    for (int i = 0; i < count; ++i) {
        const CodePageString line = lines.Strings(i);
        const std::size_t semi = line.find(';');
        if (semi == CodePageString::npos || semi == 0)
            continue;
        TMarkerPair pair;
        pair.Begin = line.substr(0, std::min<std::size_t>(semi, MarkerLength));
        CodePageString colorText;
        if (withEnd) {
            const std::size_t semi2 = line.find(';', semi + 1);
            pair.End = line.substr(semi + 1, std::min<std::size_t>(semi2 - semi - 1, MarkerLength));
            if (pair.End.empty())
                continue;
            if (semi2 != CodePageString::npos)
                colorText = ColorPart(line);
        } else {
            colorText = ColorPart(line);
        }
        pair.HasColor = ReadRuleColor(colorText, pair.Color);
        pairs.push_back(pair);
    }
    return pairs;
}

bool TColorRule::HasEntries() const
{
    // The begin/end list is read for every kind, so its lines count for
    // every kind, an owner-drawn rule's included.
    if (FKeyBegEndLst->Count() > 0)
        return true;
    switch (FKeyDrawingType) {
    case dtKeyShow: return FKeywords->Count() > 0;
    case dtBeginLineEnd: return FKeyLineEndLst->Count() > 0;
    case dtBeginEnd:
    case dtEventDraw: return false;
    }
    return false;
}

std::vector<TKeyDescr> TColorRule::Match(const CodePageString& text, int from, int to) const
{
    std::vector<TKeyDescr> out;
    from = std::clamp(from, 0, int(text.size()));
    to = std::clamp(to, from, int(text.size()));
    switch (FKeyDrawingType) {
    case dtKeyShow: MatchKeywords(text, from, to, out); break;
    case dtBeginEnd: MatchPairs(text, from, to, false, out); break;
    case dtBeginLineEnd: MatchPairs(text, from, to, true, out); break;
    case dtEventDraw: break;
    }
    return out;
}

void TColorRule::MatchKeywords(const CodePageString& text, int from, int to, std::vector<TKeyDescr>& out) const
{
    CodePageString region = text.substr(std::size_t(from), std::size_t(to - from));
    if (!FKeyCase)
        region = UpperCase(region);
    for (const TKeyword& keyword : FKeywordList) {
        const std::size_t length = keyword.Text.size();
        for (std::size_t at = region.find(keyword.Text); at != CodePageString::npos; at = region.find(keyword.Text, at + 1)) {
            const std::size_t start = std::size_t(from) + at;
            const std::size_t after = start + length;
            if (!FPartWord && ((start > 0 && IsWordChar(text[start - 1])) ||
                               (after < text.size() && IsWordChar(text[after]))))
                continue;
            const TColor color = keyword.Color >= 0 ? FColors[std::size_t(keyword.Color)] : FDefKeyColor;
            out.push_back({int(start), int(after) - 1, color, FZOrder, 1});
        }
    }
}

void TColorRule::MatchPairs(const CodePageString& text, int from, int to, bool toLineEnd,
                            std::vector<TKeyDescr>& out) const
{
    const std::vector<TMarkerPair>& pairs = toLineEnd ? FLineEnds : FPairs;
    const std::string_view region(text.data() + from, std::size_t(to - from));
    // Where each pair's begin marker next occurs, found again only once the
    // matching has passed it: a long line with many matches is read once per
    // pair, not once per pair and match.
    std::vector<std::size_t> next;
    for (const TMarkerPair& p : pairs)
        next.push_back(region.find(p.Begin));
    std::size_t pos = 0;
    for (;;) {
        // The pair whose begin marker comes first; on a tie, the earlier line.
        std::size_t begin = std::string_view::npos;
        const TMarkerPair* pair = nullptr;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            if (next[i] != std::string_view::npos && next[i] < pos)
                next[i] = region.find(pairs[i].Begin, pos);
            if (next[i] < begin) {
                begin = next[i];
                pair = &pairs[i];
            }
        }
        if (!pair)
            return;
        std::size_t last;  // the match's last character
        if (toLineEnd) {
            const std::size_t lineEnd = region.find("\r\n", begin + pair->Begin.size());
            last = lineEnd == std::string_view::npos ? region.size() - 1 : lineEnd - 1;
            pos = lineEnd == std::string_view::npos ? region.size() : lineEnd + 2;
        } else {
            const std::size_t end = region.find(pair->End, begin + 1);
            if (end == std::string_view::npos)
                return;  // an open pair ends this rule's matching
            last = end + pair->End.size() - 1;
            pos = end + pair->End.size();
        }
        out.push_back({from + int(begin), from + int(last), PairColor(*pair), FZOrder, 0});
    }
}

// --- TDrawRules, THotSpot ------------------------------------------------------------------------

TColorRule* TDrawRules::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + IntToStr(index) + ")");
    return FRules[std::size_t(index)].get();
}

TColorRule* TDrawRules::Add()
{
    FRules.push_back(std::make_unique<TColorRule>(FMemo));
    FMemo->RulesChanged();
    return FRules.back().get();
}

void TDrawRules::Delete(int index)
{
    Items(index);
    FRules.erase(FRules.begin() + index);
    FMemo->RulesChanged();
}

void TDrawRules::Clear()
{
    FRules.clear();
    FMemo->RulesChanged();
}

void THotSpot::SetBeginChar(char c)
{
    FBeginChar = c;
    FMemo->RulesChanged();
}

void THotSpot::SetEndChar(char c)
{
    FEndChar = c;
    FMemo->RulesChanged();
}

void THotSpot::SetColor(TColor color)
{
    FColor = color;
    FMemo->RulesChanged();
}

void THotSpot::SetMarkerColor(TColor color)
{
    FMarkerColor = color;
    FMemo->RulesChanged();
}

void THotSpot::SetActive(bool v)
{
    FActive = v;
    FMemo->RulesChanged();
}

void THotSpot::SetUnderlined(bool v)
{
    FUnderlined = v;
    FMemo->RulesChanged();
}

// --- the colour table ----------------------------------------------------------------------------

TColorCell TColorTable::At(int pos) const
{
    if (pos < From || pos - From >= int(Cells.size()))
        return {};
    return Cells[std::size_t(pos - From)];
}

TColorTable FillColorTable(const std::vector<TKeyDescr>& descriptions, int from, int to)
{
    TColorTable table;
    table.From = from;
    table.Cells.resize(std::size_t(std::max(0, to - from)));
    for (const TKeyDescr& d : descriptions) {
        // Ranges from the owner's OnDraw are cut to the table like any other.
        const int first = std::max(d.Start, from);
        const int last = std::min(d.End, to - 1);
        for (int pos = first; pos <= last; ++pos) {
            TColorCell& cell = table.Cells[std::size_t(pos - from)];
            if (cell.ZOrder <= int(d.ZOrder))
                cell = {d.Color, int(d.ZOrder), d.Keyword != 0};
        }
    }
    return table;
}

std::vector<TColorRun> PaintedRuns(const TColorTable& table, const CodePageString& text)
{
    std::vector<TColorRun> runs;
    const int end = table.From + int(table.Cells.size());
    auto painted = [&](int pos) {
        const TColorCell& cell = table.Cells[std::size_t(pos - table.From)];
        return cell.ZOrder >= 0 && cell.ZOrder < ZSelection;
    };
    for (int pos = table.From; pos < end;) {
        if (!painted(pos)) {
            ++pos;
            continue;
        }
        // The whole run of equal cells, line breaks included.
        const TColorCell cell = table.Cells[std::size_t(pos - table.From)];
        int stop = pos + 1;
        while (stop < end && table.Cells[std::size_t(stop - table.From)] == cell)
            ++stop;
        bool spansLines = false;
        for (int i = pos; i < stop; ++i)
            spansLines = spansLines || (i < int(text.size()) && IsLineBreak(text[std::size_t(i)]));
        // Its pieces on each line; TABs keep the edit control's own spacing.
        TColorCell shown = cell;
        if (spansLines) {
            shown.Keyword = false;
            shown.ZOrder = 0;  // a run over several lines is drawn plainly in its colour
        }
        for (int i = pos; i < stop;) {
            const char c = i < int(text.size()) ? text[std::size_t(i)] : '\r';
            if (IsLineBreak(c) || c == '\t') {
                ++i;
                continue;
            }
            int j = i + 1;
            while (j < stop && j < int(text.size()) && !IsLineBreak(text[std::size_t(j)]) && text[std::size_t(j)] != '\t')
                ++j;
            runs.push_back({i, j - i, shown});
            i = j;
        }
        pos = stop;
    }
    return runs;
}

// --- TColorMemo ----------------------------------------------------------------------------------

TColorMemo::TColorMemo(TComponent* AOwner)
    : TMemo(AOwner), FColorRules(std::make_unique<TDrawRules>(this)), FHotSpot(std::make_unique<THotSpot>(this))
{
}

TColorMemo::~TColorMemo()
{
    SetDestroying();
}

void TColorMemo::SetColorLimMax(int n)
{
    FColorLimMax = std::max(0, n);
    FDrawBuffer.assign(std::size_t(FColorLimMax), TKeyDescr{});
}

void TColorMemo::SetRedrawAlways(bool v)
{
    FRedrawAlways = v;
    RulesChanged();
}

void TColorMemo::RulesChanged()
{
    if (!Destroying())
        InvalidateText();
}

bool TColorMemo::AnyRuleHasEntries() const
{
    for (int i = 0; i < FColorRules->Count(); ++i)
        if (FColorRules->Items(i)->HasEntries())
            return true;
    return false;
}

std::vector<TKeyDescr> TColorMemo::KeyDescriptions(const CodePageString& text, int from, int to)
{
    std::vector<TKeyDescr> out;
    from = std::clamp(from, 0, int(text.size()));
    to = std::clamp(to, from, int(text.size()));
    const std::string_view region(text.data() + from, std::size_t(to - from));

    if (FHotSpot->Active() && FHotSpot->BeginChar() != 0) {
        for (std::size_t pos = 0;;) {
            const std::size_t begin = region.find(FHotSpot->BeginChar(), pos);
            if (begin == std::string_view::npos)
                break;
            const std::size_t end = region.find(FHotSpot->EndChar(), begin + 1);
            if (end == std::string_view::npos)
                break;  // an open hot spot ends the search; those before it stay
            const int b = from + int(begin);
            const int e = from + int(end);
            out.push_back({b, b, FHotSpot->MarkerColor(), ZHotSpotMarker, 0});
            out.push_back({b + 1, e - 1, FHotSpot->Color(), ZHotSpotText, 0});
            out.push_back({e, e, FHotSpot->MarkerColor(), ZHotSpotMarker, 0});
            pos = end + 1;
        }
    }
    if (WantTabs())
        for (std::size_t i = 0; i < region.size(); ++i)
            if (region[i] == '\t')
                out.push_back({from + int(i), from + int(i), Color(), ZTab, 0});
    if (FRedrawAlways) {
        const int caret = SelStart();
        out.push_back({LineIndex(LineFromChar(caret)), caret - 1, Font()->Color(), ZCaretLine, 0});
    }
    for (int r = 0; r < FColorRules->Count(); ++r) {
        const TColorRule* rule = FColorRules->Items(r);
        if (!rule->Enabled())
            continue;
        if (rule->KeyDrawingType() == dtEventDraw) {
            if (!OnDraw || FColorLimMax == 0)
                continue;
            int count = 0;
            std::fill(FDrawBuffer.begin(), FDrawBuffer.end(), TKeyDescr{});
            FireEvent(OnDraw, this, text.c_str() + from, FDrawBuffer, count);
            // The owner's entries count from the text it was handed.
            count = std::clamp(count, 0, std::min(FColorLimMax, int(FDrawBuffer.size())));
            for (int i = 0; i < count; ++i) {
                TKeyDescr d = FDrawBuffer[std::size_t(i)];
                d.Start += from;
                d.End += from;
                out.push_back(d);
            }
            continue;
        }
        const std::vector<TKeyDescr> matches = rule->Match(text, from, to);
        out.insert(out.end(), matches.begin(), matches.end());
    }
    if (const int length = SelLength(); length > 0) {
        const int start = SelStart();
        out.push_back({start, start + length - 1, clHighlight, ZSelection, 0});
    }
    return out;
}

void TColorMemo::ShownRange(const CodePageString& text, int& from, int& to) const
{
    const int above = FColorRules->Count() > 0 ? std::max(0, FColorRules->Items(0)->KeyMaxHeight() - 1) : 0;
    const int first = std::max(0, FirstVisibleLine() - above);
    const int last = std::max(first, LastVisibleLine());
    from = std::max(0, LineIndex(first));
    to = LineIndex(last) < 0 ? int(text.size()) : LineIndex(last) + LineLength(last);
    to = std::clamp(to, from, int(text.size()));
}

TColorTable TColorMemo::ShownColorTable()
{
    const CodePageString text = Text();
    int from = 0;
    int to = 0;
    ShownRange(text, from, to);
    if (!AnyRuleHasEntries())
        return FillColorTable({}, from, to);
    return FillColorTable(KeyDescriptions(text, from, to), from, to);
}

void TColorMemo::PaintOver(TCanvas* canvas)
{
    PaintRules(canvas);
}

void TColorMemo::PaintRules(TCanvas* canvas)
{
    if (!AnyRuleHasEntries())
        return;
    const CodePageString text = Text();
    const TColorTable table = ShownColorTable();
    const int lineHeight = canvas->TextHeight("Wg");
    const TColor fontColor = Font()->Color();
    const TFontStyles style = Font()->Style();
    bool caretCovered = false;
    const int caret = SelLength() == 0 ? SelStart() : -1;

    for (const TColorRun& whole : PaintedRuns(table, text)) {
        // A run whose line wraps is drawn a row at a time.
        std::vector<TColorRun> pieces;
        const int lastChar = whole.Start + whole.Length - 1;
        if (PosFromChar(whole.Start).y == PosFromChar(lastChar).y) {
            pieces.push_back(whole);
        } else {
            for (int i = whole.Start; i <= lastChar;) {
                int j = i + 1;
                while (j <= lastChar && PosFromChar(j).y == PosFromChar(i).y)
                    ++j;
                pieces.push_back({i, j - i, whole.Cell});
                i = j;
            }
        }
        for (const TColorRun& run : pieces) {
            const CodePageString piece = text.substr(std::size_t(run.Start), std::size_t(run.Length));
            const TPoint at = PosFromChar(run.Start);
            caretCovered = caretCovered || (caret >= run.Start && caret <= run.Start + run.Length);
            canvas->Brush()->SetColor(Color());
            canvas->Font()->SetStyle(style);
            canvas->Font()->SetColor(run.Cell.Color);
            if (run.Cell.Keyword && OnDrawKey) {
                canvas->Font()->SetColor(fontColor);
                FireEvent(OnDrawKey, canvas, piece, Bounds(at.x, at.y, canvas->TextWidth(piece), lineHeight), fontColor);
                continue;
            }
            if (run.Cell.ZOrder == ZHotSpotMarker)
                canvas->Brush()->SetColor(run.Cell.Color);
            if (run.Cell.ZOrder == ZHotSpotText && FHotSpot->Underlined()) {
                TFontStyles underlined = style;
                underlined << fsUnderline;
                canvas->Font()->SetStyle(underlined);
            }
            canvas->TextOut(at.x, at.y, piece);
        }
    }
    canvas->Brush()->SetColor(Color());
    canvas->Font()->SetStyle(style);
    canvas->Font()->SetColor(fontColor);
    // The coloured text is drawn over the caret: it is drawn again, steady.
    if (caretCovered && Focused() && caret >= 0) {
        const TPoint at = PosFromChar(caret);
        canvas->Brush()->SetColor(fontColor);
        canvas->FillRect(Bounds(at.x, at.y, 1, lineHeight));
        canvas->Brush()->SetColor(Color());
    }
}

void TColorMemo::Scrolled(bool vertical)
{
    if (vertical ? bool(OnVScroll) : bool(OnHScroll))
        (vertical ? OnVScroll : OnHScroll)(this);
    InvalidateText();
}

void TColorMemo::KeyDown(WORD& key, TShiftState shift)
{
    const bool navigation = key == VK_PRIOR || key == VK_NEXT || key == VK_END || key == VK_HOME ||
                            key == VK_LEFT || key == VK_UP || key == VK_RIGHT || key == VK_DOWN;
    if (navigation && shift.Empty() && SelLength() > 0) {
        const int end = SelStart() + SelLength();
        SetSelStart(end);
        SetSelLength(0);
    }
    InvalidateText();
    TMemo::KeyDown(key, shift);
}

void TColorMemo::KeyUp(WORD& key, TShiftState shift)
{
    if (key == VK_SHIFT)
        InvalidateText();
    TMemo::KeyUp(key, shift);
}

void TColorMemo::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (button == mbLeft)
        InvalidateText();
    TMemo::MouseDown(button, shift, x, y);
}

void TColorMemo::MouseMove(TShiftState shift, int x, int y)
{
    TrackHotSpot(x, y, false);
    TMemo::MouseMove(shift, x, y);
}

void TColorMemo::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    TrackHotSpot(x, y, true);
    TMemo::MouseUp(button, shift, x, y);
}

bool TColorMemo::HotSpotAt(int pos, CodePageString& spot) const
{
    if (!FHotSpot->Active() || FHotSpot->BeginChar() == 0)
        return false;
    const int line = LineFromChar(pos);
    const int start = LineIndex(line);
    if (start < 0)
        return false;
    const CodePageString text = Text();
    const std::string_view lineText(text.data() + std::min<std::size_t>(std::size_t(start), text.size()),
                                    std::size_t(std::clamp(LineLength(line), 0, int(text.size()) - start)));
    const std::size_t column = std::size_t(std::clamp(pos - start, 0, int(lineText.size())));
    const std::size_t begin = lineText.rfind(FHotSpot->BeginChar(), column);
    if (begin == std::string_view::npos)
        return false;
    const std::size_t end = lineText.find(FHotSpot->EndChar(), begin + 1);
    if (end == std::string_view::npos || end < column)
        return false;
    spot = CodePageString(lineText.substr(begin + 1, end - begin - 1));
    return true;
}

void TColorMemo::TrackHotSpot(int x, int y, bool release)
{
    if (!FHotSpot->Active() || FHotSpot->BeginChar() == 0)
        return;
    CodePageString spot;
    const bool over = HotSpotAt(CharFromPos(x, y), spot);
    if (over != FOverHotSpot) {
        FOverHotSpot = over;
        SetTextAreaCursor(over ? crHandPoint : Cursor());
    }
    if (over && release)
        FireEvent(OnHotSpotClick, this, spot);
}
