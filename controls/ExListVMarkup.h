// The small HTML-like markup of list view cells: text styles, fonts, colours,
// pictures, lists, paragraphs and anchors. One renderer lays a text out line
// by line, through the canvas only, in one of three modes: paint, hit-test
// (which anchor lies under a point) and measure (plain text and size).
//
// It walks the text directly, without building a tree, because every mouse
// move over a cell lays the cell out again. Malformed markup is no error: a
// value without quotes is empty, an unknown colour name is black, a tag
// without ">" ends the text, and a picture that cannot be found draws nothing.
#pragma once

#include <vector>

#include "classlib/Graphics.h"
#include "classlib/ImgList.h"

enum TMarkupMode {
    mmPaint,    // draws
    mmHitTest,  // lays each line out twice as painting does, draws nothing, finds the anchor under a point
    mmMeasure,  // lays each line out once, draws nothing, is not stopped by the rectangle's bottom
};

struct TMarkupAnchor {
    CodePageString Href;
    CodePageString Text;  // the visible words inside it
};

struct TMarkupResult {
    CodePageString Anchor;       // hit-test: the href under the point, empty when none
    CodePageString PlainText;    // the words, entities replaced, tags removed, "\r" per BR
    CodePageString VisibleText;  // the same without hidden text: what a reader sees
    std::vector<TMarkupAnchor> Anchors;
    int Width = 0;   // the widest line, without its trailing blank
    int Height = 0;  // all lines laid out
};

// Where pictures come from beyond the cell: "idx:N" is image N of images.
struct TMarkupContext {
    const TImageList* Images = nullptr;
    TColor AnchorColor = clBlue;
    bool KeepColors = false;  // anchors keep the current colour; FONT colours are ignored
    bool BlinkOn = true;      // BLINK text is visible
};

// Lays text out in rect on canvas. The canvas's font and brush are those of
// the cell; both are as they were when the call returns.
TMarkupResult RenderMarkup(TCanvas& canvas, const CodePageString& text, const TRect& rect, const TMarkupContext& context,
                           TMarkupMode mode, TPoint point = {});

// A markup colour value: a name holding "cl" ("clRed", looked up lower-cased;
// any other name is black) or "#RRGGBB". False when the value is neither
// (or its digits are not hexadecimal); color is then unchanged.
bool ReadMarkupColor(const CodePageString& value, TColor& color);
