// Rich-text cells: a small reader of the rich-text subset that list cells
// hold, and TExRichEdit, the list view's renderer of such cells.
//
// The reader knows bold, italic, underline, the font and colour tables, the
// font, colour and size of the text, paragraphs and tabs (\b \i \ul \f \cf
// \fs \par \tab, with \plain); the escapes \\ \{ \} \'hh; it skips other
// destination groups whole ({\*...}, {\stylesheet ...}, {\pict ...} and their
// like) and ignores every other control word.
#pragma once

#include <vector>

#include "classlib/Graphics.h"

struct TRichRun {
    CodePageString Text;        // bytes; a tab is '\t'
    CodePageString FontName;    // empty: the cell's font
    int Size = 0;           // points; 0: the cell's size
    TFontStyles Style;
    TColor Color = clDefault;  // clDefault: the cell's text colour
};

struct TRichParagraph {
    std::vector<TRichRun> Runs;
};

struct TRichDocument {
    std::vector<TRichParagraph> Paragraphs;
};

TRichDocument ParseRichText(const CodePageString& rtf);
// The text without formatting: paragraphs joined by CR LF.
CodePageString RichPlainText(const TRichDocument& document);

// The renderer of rich-text cells (one hidden instance per list view).
class TExRichEdit : public TPersistent {
public:
    // Loads a cell's rich text (the last few are kept read).
    void SetRichText(const CodePageString& rtf);
    // Gives the first count characters of the loaded text the colour, as a
    // selection of them would take it (a paragraph break counts two, CR LF,
    // as in Text); the rest keeps its own.
    void RecolorStart(int count, TColor color);
    const TRichDocument& Document() const { return FDocument; }
    CodePageString Text() const { return RichPlainText(FDocument); }

    struct TFormatted {
        int Width = 0;   // the widest line
        int Height = 0;  // the lines laid out
    };
    // Lays the text out in rect, lines broken at its right edge, drawing
    // unless measureOnly. background (not clNone) fills rect first. The
    // canvas's font is the cell's font, and is as it was afterwards.
    TFormatted Format(TCanvas& canvas, const TRect& rect, TColor background, bool measureOnly);

private:
    struct TCached {
        CodePageString Source;
        TRichDocument Document;
    };
    std::vector<TCached> FCache;
    TRichDocument FDocument;
};
