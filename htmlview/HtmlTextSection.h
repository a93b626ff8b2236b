// The HTML viewer's text sections: running text with its lines (LineRec), its
// line breaker, selection and search; and the small block kinds: paragraph and
// heading gaps, rules, preformatted text and list items.
#pragma once

#include <cstdint>
#include <vector>

#include "htmlview/HtmlDocument.h"

// --- text sections -------------------------------------------------------------------------

// A character of the buffer that stands for an inline image or a form control.
inline constexpr char ImagePlaceholder = 4;
inline constexpr char ControlPlaceholder = 2;

enum TListType : std::uint8_t { ltPlain = 0, ltOrdered = 1, ltBullet = 2, ltNoMarker = 3 };

// One laid-out line of a text section.
struct LineRec {
    int Start = 0;        // index of its first character
    int SpaceBefore = 0;  // room above and below the text for tall images and controls
    int SpaceAfter = 0;
    int LineHeight = 0;   // text height; 0 for a line of only images and controls
    int LineImageHeight = 0;  // how far it and the floats starting on it reach down
    int Ln = 0;           // characters
    int Descent = 0;
    int LineIndent = 0;   // X of its first character relative to the cell
    int PaintLeft = 0;    // where it was painted last: X on the canvas
    int DrawY = 0;        // and the document Y of its text top
};

// Running text: a paragraph, a heading's text, a list item, a cell's text.
class TSection : public TSectionBase {
public:
    // Level is the list nesting depth. The first run's font is a copy of font
    // with the document's style overrides added; it links to urlTarget when
    // one is given. The document's sub/superscript state goes back to none.
    TSection(TSectionList* document, int level, const TMyFont& font, const TUrlTarget* urlTarget,
             TJustify justify);

    CodePageString Buff;  // the characters; Len of them
    TFontList Fonts;
    TImageObjList Images;
    TFormControlList FormControls;  // the controls placed in this section
    int ListLevel = 0;
    int Indent = 0;  // ListLevel x 35, added to the widths it reports
    int ListNumber = 0;
    TListType ListType = ltPlain;
    TJustify Justify = jLeft;
    std::uint8_t ClearAttr = 0;  // 0 none, 1 left, 2 right, 3 all
    int LeftX = 0;               // the left indent at its top
    // The font it started with, shared with the document; list markers are drawn in it.
    std::shared_ptr<const TMyFont> FirstFont;
    std::vector<LineRec> Lines;

    // Appends text: runs of blanks collapse to one, and nothing more is
    // taken beyond MaxSectionText characters.
    virtual void AddText(const CodePageString& s);
    void ChangeFont(const TMyFont& font);
    // Starts (sy = HREF) or ends a link, with font.
    void HRef(HtmlSymbol sy, const TMyFont& font, const TUrlTarget& urlTarget);
    // An inline image at the end of the text; none once the section is full.
    TImageObj* AddImage(const TImageSpec& spec);
    // The control of an INPUT, SELECT or TEXTAREA at the end of the text,
    // joining the open form; cell is the cell the section is in (a radio
    // button takes its background). A hidden field takes no place in the
    // text, an image input is an image of the section that shows picture.
    TFormControlObj* AddFormControl(const TFormControlSpec& spec, TCell* cell, const TImageSpec& picture = {});
    // A BR's CLEAR (1 left, 2 right, 3 all); 0 leaves the section as it is.
    void SetClear(std::uint8_t clear);
    // An empty section gets one blank, so that it takes one line of its font.
    void AddBlankIfEmpty();

    void CopySelection() override;
    int LayOutBlock(TCanvas* canvas, int y, IndentManager& imgr, int& maxWidth, int& curs) override;
    int Draw(TCanvas* canvas, const TRect& aRect, IndentManager& imgr, int x, int y) override;
    bool LinkAtPoint(TCanvas* canvas, int x, int y, TUrlTarget& urlTarget, TFormControlObj*& formControl) override;
    bool ObjectAtPoint(int x, int y, TImageObj*& obj, int& ix, int& iy) override;
    int PositionAtPoint(TCanvas* canvas, int x, int y, int& xr, int& yr, int& caretHeight, TCell*& sCell,
                        bool& inText) override;
    int SearchText(int from, const CodePageString& toFind, bool matchCase) override;
    bool PointAtPosition(TCanvas* canvas, int cursor, int& x, int& y) override;
    bool CharAtPosition(int pos, char& ch, TSectionBase*& obj) override;
    void RefreshFonts() override;
    void WidthRange(TCanvas* canvas, int& min, int& max) override;

    // Width of n characters from start; with removeSpaces trailing blanks do
    // not count (one character always does).
    int RunWidth(TCanvas* canvas, int start, int n, bool removeSpaces);
    // How many characters from start fit in width, at most max.
    int CountFitting(TCanvas* canvas, int width, int start, int max);
    // The marker of an ordered item numbered n with the list's type character.
    static CodePageString ListMarker(char listChar, int n);

protected:
    virtual bool Preformatted() const { return false; }
    virtual char MarkerChar() const { return '1'; }
    virtual bool NoBulletMark() const { return false; }

    void MeasureAll(TCanvas* canvas);

private:
    struct Fitting;
    int ClearSpace(const IndentManager& imgr, int y) const;
    // One text segment from start: up to the next image, control, run end or
    // limit; the run's font is selected.
    int SegmentEnd(TCanvas* canvas, int start, int limit, const TFontObj*& run);
    int TextExtent(TCanvas* canvas, int start, int n);
    // How many of the n characters from start fit in room (halving search),
    // and the width they take.
    int FitText(TCanvas* canvas, int start, int n, int overhang, int room, int& width);
    int FitLine(TCanvas* canvas, int width, int start, int max, int y, IndentManager* imgr, Fitting* fit);
    void CompleteLine(TCanvas* canvas, int start, int n, int& y, IndentManager& imgr, const Fitting& fit);
    int LineAtY(int y, int& lineTop) const;
    void DrawMarker(TCanvas* canvas, const LineRec& line, int x0, int baseline);
    // Form controls in the line: their width and height at pos (-1 when
    // none stands there), and how far the next one is.
    int ControlWidthAt(int pos) const;
    int ControlHeightAt(int pos, bool& tickBox) const;
    int CharsToNextControl(int pos) const;
    void PlaceControl(int pos, int x, const LineRec& line, int lineBottom);
    TCell* FControlCell = nullptr;
};

// --- block sections ----------------------------------------------------------------------------

// The gap of a paragraph break.
class TParagraphSpace : public TSectionBase {
public:
    using TSectionBase::TSectionBase;
    void CopySelection() override;
    void UpdateSize() override;
};

// The gap above and below a heading of level HeadingLevel.
class THeadingSpace : public TSectionBase {
public:
    THeadingSpace(TSectionList* document, int level) : TSectionBase(document), HeadingLevel(level) {}
    int HeadingLevel;
    void CopySelection() override;
    void UpdateSize() override;
};

// What an HR asks for, as the builder read it from the tag.
struct TRuleSpec {
    int VSize = 2;        // thickness, 1 .. 20
    int HWidth = -1;      // pixels (at most MaxPixelSize) or percent; -1 for the whole width
    bool Percent = false;
    TColor Color = clBlack;
    bool HasColor = false;
    bool NoShade = false;
    TJustify Align = jCentre;
};

// A horizontal rule (HR).
class THorzLine : public TSectionBase {
public:
    explicit THorzLine(TSectionList* document, const TRuleSpec& spec = {});
    int VSize = 2;        // thickness
    int HWidth = -1;      // pixels or percent; -1 for the whole width
    bool Percent = false;
    TColor Color = clBlack;
    bool HasColor = false;
    bool NoShade = false;
    TJustify Align = jCentre;

    void CopySelection() override;
    int LayOutBlock(TCanvas* canvas, int y, IndentManager& imgr, int& maxWidth, int& curs) override;
    int Draw(TCanvas* canvas, const TRect& aRect, IndentManager& imgr, int x, int y) override;
    void UpdateSize() override;

private:
    // The indents beside it at its Y, from the layout, relative to the cell's edges.
    int FLeftIndent = 0;
    int FRightIndent = 0;
};

// Preformatted text: blanks kept, never wrapped.
class TPreFormated : public TSection {
public:
    using TSection::TSection;
    void AddText(const CodePageString& s) override;
    int LayOutBlock(TCanvas* canvas, int y, IndentManager& imgr, int& maxWidth, int& curs) override;
    void WidthRange(TCanvas* canvas, int& min, int& max) override;

protected:
    bool Preformatted() const override { return true; }
};

// A bulleted list item.
class TUListItem : public TSection {
public:
    TUListItem(TSectionList* document, int level, const TMyFont& font, const TUrlTarget* urlTarget);
    bool NoBullet = false;  // a UL with PLAIN

protected:
    bool NoBulletMark() const override { return NoBullet; }
};

// A definition list item: no marker.
class TDListItem : public TUListItem {
public:
    TDListItem(TSectionList* document, int level, const TMyFont& font, const TUrlTarget* urlTarget);
};

// A numbered list item; ListChar is the list's TYPE character.
class TOListItem : public TUListItem {
public:
    TOListItem(TSectionList* document, int level, const TMyFont& font, const TUrlTarget* urlTarget,
               char listChar, int number);
    char ListChar;

protected:
    char MarkerChar() const override { return ListChar; }
};
