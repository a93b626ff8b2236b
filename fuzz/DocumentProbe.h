// What a user does with a laid-out document besides looking at it, for the
// fuzz targets that build one: search it, ask what lies under two points,
// and select and copy from a position to its end.
#pragma once

#include "htmlview/HtmlDocument.h"

inline void ProbeDocument(TSectionList& root, TCanvas* canvas, int width, int height)
{
    root.SearchText(0, "a", false);
    int xr = 0;
    int yr = 0;
    int caret = 0;
    TCell* cell = nullptr;
    bool inText = false;
    const int at = root.PositionAtPoint(canvas, width / 2, height / 3, xr, yr, caret, cell, inText);
    TUrlTarget link;
    TFormControlObj* control = nullptr;
    root.LinkAtPoint(canvas, width / 3, height / 2, link, control);
    root.SelectionBegin = at > 0 ? at / 2 : 0;
    root.SelectionEnd = root.Len;
    root.SelectedText();
}
