// The rule-coloured memo: a memo that paints chosen pieces of its text in
// colours of their own, by an ordered list of rules (keywords, pairs of begin
// and end markers, markers that run to the end of their line), and marks hot
// spots between two marker characters that the user clicks. Editing,
// selection and scrolling stay the edit control's; the coloured pieces are
// painted over its text after every paint.
//
// The colouring is data first: the rules give key descriptions (a range, a
// colour, a z-order), which fill a table of one entry per character, whose
// runs are what gets painted. Tests read the table.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/BasicControls.h"

class TColorMemo;

enum TKeyDrawingType {
    dtKeyShow,       // keywords, each in its colour
    dtEventDraw,     // keywords drawn by the owner's OnDrawKey
    dtBeginEnd,      // from a begin marker through its end marker
    dtBeginLineEnd,  // from a begin marker to the end of its line
};

// One coloured range of the text: positions count characters of the memo's
// Text (a line break is CR LF), End is inclusive (End < Start: empty).
struct TKeyDescr {
    int Start = 0;
    int End = -1;
    TColor Color = clBlack;
    std::uint8_t ZOrder = 0;
    std::uint8_t Keyword = 0;  // 1 for a keyword match, 0 for a marker match
};

// A colour of the rule lists: one of the sixteen colour names (any case) or
// RRGGBB in hexadecimal, with or without "#" or "$", red in the low byte of
// the result. False for any other text, which leaves color alone.
bool ReadRuleColor(const CodePageString& text, TColor& color);

// The z-orders of what the memo colours besides its rules.
constexpr std::uint8_t ZCaretLine = 0;
constexpr std::uint8_t ZHotSpotText = 252;
constexpr std::uint8_t ZHotSpotMarker = 253;
constexpr std::uint8_t ZSelection = 254;
constexpr std::uint8_t ZTab = 255;

class TColorRule {
public:
    static constexpr int MaxColors = 41;     // distinct keyword colours of one rule
    static constexpr int MaxPairs = 40;      // begin/end pairs (and line-end markers) of one rule
    static constexpr int MarkerLength = 6;   // markers keep their first characters only

    explicit TColorRule(TColorMemo* memo = nullptr);
    TColorRule(const TColorRule&) = delete;
    TColorRule& operator=(const TColorRule&) = delete;

    std::uint8_t ZOrder() const { return FZOrder; }
    void SetZOrder(std::uint8_t z);
    // Kept with the rule; the keyword list needs no separator of its own, so a
    // keyword may hold this one.
    const CodePageString& IntChar() const { return FIntChar; }
    void SetIntChar(const CodePageString& s) { FIntChar = s; }
    // One keyword a line, optionally followed by ";" and a colour (in each
    // list below, the colour is the text after the entry's last ";").
    TStrings* Keywords() const { return FKeywords.get(); }
    void SetKeywords(const TStrings& lines) { FKeywords->Assign(lines); }
    // One pair a line: begin marker ";" end marker, optionally ";" and a colour.
    TStrings* KeyBegEndLst() const { return FKeyBegEndLst.get(); }
    void SetKeyBegEndLst(const TStrings& lines) { FKeyBegEndLst->Assign(lines); }
    // One begin marker a line, ";" and optionally a colour.
    TStrings* KeyLineEndLst() const { return FKeyLineEndLst.get(); }
    void SetKeyLineEndLst(const TStrings& lines) { FKeyLineEndLst->Assign(lines); }
    int KeyMaxHeight() const { return FKeyMaxHeight; }
    void SetKeyMaxHeight(int lines);
    TKeyDrawingType KeyDrawingType() const { return FKeyDrawingType; }
    void SetKeyDrawingType(TKeyDrawingType type);
    bool KeyCase() const { return FKeyCase; }
    void SetKeyCase(bool v);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool v);
    bool PartWord() const { return FPartWord; }
    void SetPartWord(bool v);
    TColor DefKeyColor() const { return FDefKeyColor; }
    void SetDefKeyColor(TColor color);
    // Stored with the rule; they do not change the painting.
    TColor KeySelColor = 65535;
    TColor KeyBrushColor = clWindow;

    // Whether a list the rule reads holds a line: the begin/end list, which
    // every kind reads, or the keywords (dtKeyShow) or the line-end markers
    // (dtBeginLineEnd). The memo paints only while some rule has entries.
    bool HasEntries() const;
    // The matches in text[from, to), in the rule's colours and z-order.
    std::vector<TKeyDescr> Match(const CodePageString& text, int from, int to) const;

private:
    struct TKeyword {
        CodePageString Text;  // upper-cased unless KeyCase
        int Color;        // index into FColors; -1: DefKeyColor
    };
    struct TMarkerPair {
        CodePageString Begin;
        CodePageString End;  // empty for a line-end marker
        TColor Color;
        bool HasColor;  // else DefKeyColor
    };
    void Parse();
    void ParseKeywords();
    std::vector<TMarkerPair> ParsePairs(const TStrings& lines, bool withEnd) const;
    int ColorIndex(const CodePageString& colorText);
    void Changed();
    void MatchKeywords(const CodePageString& text, int from, int to, std::vector<TKeyDescr>& out) const;
    void MatchPairs(const CodePageString& text, int from, int to, bool toLineEnd, std::vector<TKeyDescr>& out) const;
    TColor PairColor(const TMarkerPair& pair) const { return pair.HasColor ? pair.Color : FDefKeyColor; }

    TColorMemo* FMemo;
    std::uint8_t FZOrder = 0;
    CodePageString FIntChar;
    std::unique_ptr<TStringList> FKeywords;
    std::unique_ptr<TStringList> FKeyBegEndLst;
    std::unique_ptr<TStringList> FKeyLineEndLst;
    int FKeyMaxHeight = 1;
    TKeyDrawingType FKeyDrawingType = dtBeginEnd;
    bool FKeyCase = false;
    bool FEnabled = true;
    bool FPartWord = false;
    TColor FDefKeyColor = clRed;

    std::vector<TColor> FColors;
    std::vector<TKeyword> FKeywordList;
    std::vector<TMarkerPair> FPairs;
    std::vector<TMarkerPair> FLineEnds;
};

// The memo's rules, in order.
class TDrawRules {
public:
    explicit TDrawRules(TColorMemo* memo) : FMemo(memo) {}
    int Count() const { return int(FRules.size()); }
    TColorRule* Items(int index) const;  // EListError when out of range
    TColorRule* Add();
    void Delete(int index);
    void Clear();

private:
    TColorMemo* FMemo;
    std::vector<std::unique_ptr<TColorRule>> FRules;
};

class THotSpot {
public:
    explicit THotSpot(TColorMemo* memo) : FMemo(memo) {}
    char BeginChar() const { return FBeginChar; }
    void SetBeginChar(char c);  // character 0 switches hot spots off
    char EndChar() const { return FEndChar; }
    void SetEndChar(char c);
    TColor Color() const { return FColor; }
    void SetColor(TColor color);
    TColor MarkerColor() const { return FMarkerColor; }  // the markers' cells, so that they vanish
    void SetMarkerColor(TColor color);
    bool Active() const { return FActive; }
    void SetActive(bool v);
    bool Underlined() const { return FUnderlined; }
    void SetUnderlined(bool v);

private:
    TColorMemo* FMemo;
    char FBeginChar = 30;
    char FEndChar = 31;
    TColor FColor = 0xFF0000;
    TColor FMarkerColor = clWindow;
    bool FActive = false;
    bool FUnderlined = true;
};

// One character of the colour table; ZOrder -1: the edit control's own painting.
struct TColorCell {
    TColor Color = clBlack;
    int ZOrder = -1;
    bool Keyword = false;
    bool operator==(const TColorCell&) const = default;
};

// The colour table of text[From, From + Cells.size()).
struct TColorTable {
    int From = 0;
    std::vector<TColorCell> Cells;
    // The cell of a text position; an empty cell outside the table.
    TColorCell At(int pos) const;
};

// Fills the table for text[from, to) from the descriptions in order: each one
// takes the characters of its range whose z-order is not above its own.
TColorTable FillColorTable(const std::vector<TKeyDescr>& descriptions, int from, int to);

// One run of equal cells, within one line.
struct TColorRun {
    int Start;
    int Length;
    TColorCell Cell;
};
// The runs that are painted: cells with an entry below the selection's
// z-order, split at line breaks.
std::vector<TColorRun> PaintedRuns(const TColorTable& table, const CodePageString& text);

using TMemoDrawEvent =
    std::function<void(TObject* Sender, const char* FromPos, std::vector<TKeyDescr>& A, int& ItemsCount)>;
using TMemoDrawKeyEvent =
    std::function<void(TCanvas* Canvas, const CodePageString& PKey, const TRect& Rect, TColor KColor)>;
using THotSpotClickEvent = std::function<void(TObject* Sender, const CodePageString& SRC)>;

class TColorMemo : public TMemo {
public:
    explicit TColorMemo(TComponent* AOwner);
    ~TColorMemo() override;

    TDrawRules* ColorRules() const { return FColorRules.get(); }
    // The capacity of the key descriptions handed to OnDraw; 0: none.
    int ColorLimMax() const { return FColorLimMax; }
    void SetColorLimMax(int n);
    // The caret's line is painted in the font's colour up to the caret
    // before the rules are applied.
    bool RedrawAlways() const { return FRedrawAlways; }
    void SetRedrawAlways(bool v);
    THotSpot* HotSpot() const { return FHotSpot.get(); }

    TNotifyEvent OnVScroll;
    TNotifyEvent OnHScroll;
    THotSpotClickEvent OnHotSpotClick;
    TMemoDrawEvent OnDraw;
    TMemoDrawKeyEvent OnDrawKey;

    // Every key description of text[from, to), in painting order: hot spots,
    // TABs, the caret's line, the enabled rules, the selection.
    std::vector<TKeyDescr> KeyDescriptions(const CodePageString& text, int from, int to);
    // The colour table of what the memo shows now.
    TColorTable ShownColorTable();
    // The text between the hot spot markers around a position, on its line;
    // false when there is no hot spot there.
    bool HotSpotAt(int pos, CodePageString& text) const;
    // Paints the coloured pieces on a canvas over the text area (the memo's
    // own paint calls it).
    virtual void PaintRules(TCanvas* canvas);

    // Internal: a rule's lists or settings changed.
    void RulesChanged();

protected:
    void PaintOver(TCanvas* canvas) override;
    void Scrolled(bool vertical) override;
    void KeyDown(WORD& key, TShiftState shift) override;
    void KeyUp(WORD& key, TShiftState shift) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

private:
    // The shown lines: from where matching starts to the end of the last
    // visible line.
    void ShownRange(const CodePageString& text, int& from, int& to) const;
    bool AnyRuleHasEntries() const;
    void TrackHotSpot(int x, int y, bool release);

    std::unique_ptr<TDrawRules> FColorRules;
    std::unique_ptr<THotSpot> FHotSpot;
    int FColorLimMax = 0;
    std::vector<TKeyDescr> FDrawBuffer;
    bool FRedrawAlways = false;
    bool FOverHotSpot = false;
};
