// The small shared tools of the HTML viewer's parser and layout: the symbol
// enumeration of tags and attributes, the link-target record, lists that own
// their items, the indent manager that tracks floats and list levels against
// Y, and text helpers (file URLs, trimming, wrapped drawing, the 3D frame,
// widths). A tag's attributes belong to the tokenizer: only the builder
// reads them.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "classlib/Strings.h"

// One byte-wide enumeration shared by tags (start and end), attributes and the
// tokenizer's special tokens. Some values stand for two things at once: 70 is
// both the text token and the TEXT attribute, 114 the SELECTED tag and
// attribute, 166 the WRAP tag and attribute.
enum class HtmlSymbol : std::uint8_t {
    Html = 0, Title = 1, Body = 2, Head = 3, P = 4, PEnd = 5, B = 6, BEnd = 7, I = 8, IEnd = 9,
    HtmlEnd = 10, TitleEnd = 11, BodyEnd = 12, HeadEnd = 13, BR = 14, H = 15, HEnd = 16,
    Em = 17, EmEnd = 18, Strong = 19, StrongEnd = 20, U = 21, UEnd = 22, HR = 23,
    Cite = 24, Var = 25, CiteEnd = 26, VarEnd = 27, Base = 28,
    TT = 29, Code = 30, Kbd = 31, Samp = 32, TTEnd = 33, CodeEnd = 34, KbdEnd = 35, SampEnd = 36,
    OL = 37, OLEnd = 38, LI = 39, UL = 40, ULEnd = 41, Dir = 42, DirEnd = 43, Menu = 44, MenuEnd = 45,
    DL = 46, DLEnd = 47, DD = 48, DT = 49, Address = 50, AddressEnd = 51, BlockQuote = 52, BlockQuoteEnd = 53,
    Pre = 54, PreEnd = 55, Img = 56, Center = 57, CenterEnd = 58,
    UnknownAttr = 59, A = 60, AEnd = 61,
    Href = 62, Name = 63, Src = 64, Alt = 65, Align = 66,
    StrayChar = 67, UnknownTag = 69, Text = 70, EndOfInput = 71,
    Link = 72, BgColor = 73, Background = 74,
    Table = 75, TableEnd = 76, TD = 77, TDEnd = 78, TR = 79, TREnd = 80, TH = 81, THEnd = 82,
    ColSpan = 83, RowSpan = 84, Border = 85, CellPadding = 86, CellSpacing = 87, VAlign = 88, Width = 89,
    Caption = 90, CaptionEnd = 91, Start = 92, Button = 93, Input = 94,
    Value = 95, Type = 96, CheckBox = 97, Radio = 98, Form = 99, FormEnd = 100,
    Method = 101, Action = 102, Checked = 103, Size = 104, MaxLength = 105,
    TextArea = 106, TextAreaEnd = 107, Cols = 108, Rows = 109,
    Select = 110, SelectEnd = 111, Option = 112, OptionEnd = 113, Selected = 114, Multiple = 115,
    Font = 116, FontEnd = 117, Color = 118, Face = 119, BaseFont = 120, Transp = 121,
    Sub = 122, SubEnd = 123, Sup = 124, SupEnd = 125, Clear = 126, IsMap = 127,
    Big = 128, BigEnd = 129, Small = 130, SmallEnd = 131, BorderColor = 132,
    Map = 133, MapEnd = 134, Area = 135, Shape = 136, Coords = 137, NoHref = 138, UseMap = 139,
    Height = 140, Plain = 141, FrameSet = 142, FrameSetEnd = 143, Frame = 144, Target = 145,
    NoFrames = 146, NoFramesEnd = 147, NoResize = 148, Scrolling = 149, HSpace = 150,
    Script = 151, ScriptEnd = 152, Language = 153, Div = 154, DivEnd = 155,
    S = 156, SEnd = 157, Strike = 158, StrikeEnd = 159,
    FrameBorder = 160, MarginWidth = 161, MarginHeight = 162, BgSound = 163, Loop = 164, OnClick = 165,
    Wrap = 166, NoShade = 167, Meta = 168, HttpEquiv = 169, Content = 170, EncType = 171,
    LineEnd = 172,
};

// A set of symbols, built at compile time: HtmlSymbolSet{HtmlSymbol::TD, HtmlSymbol::TR}.
class HtmlSymbolSet {
public:
    constexpr HtmlSymbolSet() = default;
    constexpr HtmlSymbolSet(std::initializer_list<HtmlSymbol> symbols)
    {
        for (HtmlSymbol s : symbols)
            *this += s;
    }
    constexpr bool Contains(HtmlSymbol s) const
    {
        const unsigned v = unsigned(s);
        return (FBits[v / 64] >> (v % 64)) & 1u;
    }
    constexpr HtmlSymbolSet& operator+=(HtmlSymbol s)
    {
        const unsigned v = unsigned(s);
        FBits[v / 64] |= std::uint64_t(1) << (v % 64);
        return *this;
    }
    constexpr HtmlSymbolSet operator+(const HtmlSymbolSet& other) const
    {
        HtmlSymbolSet result = *this;
        for (std::size_t i = 0; i < FBits.size(); ++i)
            result.FBits[i] |= other.FBits[i];
        return result;
    }

private:
    std::array<std::uint64_t, 4> FBits{};
};

// Horizontal placement of a paragraph, a cell or a table.
enum TJustify : std::uint8_t { jNone = 0, jLeft = 1, jCentre = 2, jRight = 3 };

// --- owning lists --------------------------------------------------------------

// A list that frees its items when it is cleared or destroyed. Items are
// reached by index as plain pointers; the list keeps them alive.
template <class T>
class TFreeList {
public:
    TFreeList() = default;
    TFreeList(const TFreeList&) = delete;
    TFreeList& operator=(const TFreeList&) = delete;
    TFreeList(TFreeList&&) noexcept = default;
    TFreeList& operator=(TFreeList&&) noexcept = default;
    // Not virtual: no list is freed through this base, and a table cell
    // holds several lists.
    ~TFreeList() = default;

    int Count() const { return int(FItems.size()); }
    bool Empty() const { return FItems.empty(); }
    // EListError "List index out of bounds (i)" outside 0 .. Count - 1.
    T* Items(int index) const
    {
        CheckIndex(index);
        return FItems[std::size_t(index)].get();
    }
    T* operator[](int index) const { return Items(index); }
    T* Last() const { return FItems.empty() ? nullptr : FItems.back().get(); }

    T* Add(std::unique_ptr<T> item)
    {
        FItems.push_back(std::move(item));
        return FItems.back().get();
    }
    T* Insert(int index, std::unique_ptr<T> item)
    {
        if (index != Count())
            CheckIndex(index);
        return FItems.insert(FItems.begin() + index, std::move(item))->get();
    }
    // Frees the item.
    void Delete(int index)
    {
        CheckIndex(index);
        FItems.erase(FItems.begin() + index);
    }
    // Takes the item out without freeing it.
    std::unique_ptr<T> Extract(int index)
    {
        CheckIndex(index);
        std::unique_ptr<T> item = std::move(FItems[std::size_t(index)]);
        FItems.erase(FItems.begin() + index);
        return item;
    }
    // Frees every item.
    void Clear() { FItems.clear(); }

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    void CheckIndex(int index) const
    {
        if (index < 0 || index >= Count())
            throw EListError("List index out of bounds (" + IntToStr(index) + ")");
    }
    std::vector<std::unique_ptr<T>> FItems;
};

// --- link targets ----------------------------------------------------------------

// The link and frame target of the current anchor or of an image-map hit.
struct TUrlTarget {
    CodePageString URL;
    CodePageString Target;
    // A part that is absent stays as it was.
    void Assign(const std::optional<CodePageString>& url, const std::optional<CodePageString>& target)
    {
        if (url)
            URL = *url;
        if (target)
            Target = *target;
    }
    void Clear()
    {
        URL.clear();
        Target.clear();
    }
};

// --- the indent manager ----------------------------------------------------------

// One indent: its edge X relative to the manager's left (or right) edge, over
// the rows StartY <= Y < EndY; Level 0 for a float, else the list level that
// made it.
struct IndentRec {
    int X = 0;
    int StartY = 0;
    int EndY = 0;
    int Level = 0;
    friend bool operator==(const IndentRec&, const IndentRec&) = default;
};

// The left and right indents of one cell's layout, made by floating images
// and tables (level 0) and by list levels, each over a band of Y.
class IndentManagerBasic {
public:
    // A list level's record is open downwards until its level is closed.
    static constexpr int OpenEndY = 9999999;
    // Each list level indents this much past whatever applies at its Y.
    static constexpr int ListIndent = 35;

    std::vector<IndentRec> LeftList;
    std::vector<IndentRec> RightList;
    int CurrentLevel = 0;
    int LeftEdge = 0;
    int RightEdge = 0;

    void Reset(int left, int right);
    void Clear();
    // A floating block of width w and height h at y, aligned jLeft or jRight
    // (other alignments record nothing).
    void AddFloat(int y, int w, TJustify align, int h);
    int LeftEdgeAt(int y) const;
    int RightEdgeAt(int y) const;
    // The largest EndY of all floats, 0 when there is none.
    int FloatsBottom() const;
    // Per side, 1 + the largest EndY of its floats, 0 when it has none: where
    // CLEAR=LEFT, RIGHT or ALL may place content.
    void ClearLines(int& clearLeft, int& clearRight) const;
    // 1 + the largest EndY of the left records that indent further than the
    // current list level's record; 1 when there is none.
    int NextLeftY() const;
    // Opens a record per new level at y, or closes the levels above `level` at y - 1.
    void SetListLevel(int y, int level);

private:
    // A long document gathers a record for every list and float it holds,
    // and a layout asks at every line: so that each question does not walk
    // the whole past, every side keeps what its answers need, taken in as the
    // records come. Records may be appended to the lists directly (floating
    // images are); they are taken in at the next question. A record already
    // taken in changes only through SetListLevel.
    struct TSideIndex {
        std::size_t Seen = 0;           // the records of the list taken in
        std::vector<std::size_t> Live;  // those that may apply at SweepY or below
        int SweepY = INT_MIN;           // the lowest Y asked for so far
        bool AnyFloat = false;          // a level-0 record, with the largest EndY of them
        int FloatEnd = 0;
    };
    void TakeIn(const std::vector<IndentRec>& list, TSideIndex& side, bool left) const;
    void NoteLevelZero(TSideIndex& side, std::size_t index, bool left) const;
    // The largest (left) or smallest X of the records that apply at y, 0 when none does.
    int IndentAt(const std::vector<IndentRec>& list, TSideIndex& side, int y, bool left) const;
    mutable TSideIndex FLeftIndex;
    mutable TSideIndex FRightIndex;
    // Left records: those of an open list level, in order; the last level-0
    // one; and the largest EndY of the level-0 ones by their X.
    mutable std::vector<std::size_t> FOpenLevels;
    mutable std::size_t FLastLevelZero = 0;
    mutable bool FAnyLevelZero = false;
    mutable std::map<int, int> FLevelZeroEnds;
};

class IndentManager : public IndentManagerBasic {
public:
    // The width of the cell being laid out: what a section reports as the
    // width it needs unless it needs more.
    int Width = 0;
};

// --- text helpers ------------------------------------------------------------------

// A file URL as a local name: "%" escapes decoded; then, when the text holds
// a "/", "file:///" (or "file://", in any case) removed and "|" turned into
// ":". Our paths keep "/" as their separator, and file names their case.
CodePageString UrlToLocalPath(const CodePageString& url);
// UrlToLocalPath, with root put in front of a result that starts at the root ("/").
CodePageString UrlToServerPath(const CodePageString& url, const CodePageString& root);

// s without the leading and trailing bytes up to the blank.
CodePageString TrimBlanks(const CodePageString& s);

// Draws s word-wrapped into the rectangle, one line per height of "A", as
// many lines as fit; a word wider than the rectangle stands alone, clipped.
void DrawWrapped(TCanvas* canvas, int x1, int y1, int x2, int y2, const CodePageString& s);

// A one-pixel raised or sunken frame. Its light edge is silver on a white
// page (so that it shows), else the button highlight colour; the dark edge is
// the button shadow colour. `background` is the document's background colour.
void Draw3DFrame(TColor background, TCanvas* canvas, int x1, int y1, int x2, int y2, bool raised);

// Width of the first count bytes of text in the canvas's font.
int TextWidth(TCanvas* canvas, const CodePageString& text, int count);

inline int SmallerOf(int a, int b) { return a < b ? a : b; }
inline int LargerOf(int a, int b) { return a > b ? a : b; }

// Writes the first count bytes of text, then CR LF.
void WriteLine(TStream& stream, const CodePageString& text, int count);
