// A whole page as the viewer takes it: read by the document builder, laid
// out at a width the input chooses, painted twice (at the top and half way
// down) on the fixed-metrics canvas, searched, selected and copied; and the
// same bytes read as plain text. Pictures are asked for and never given, so
// no file is read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "classlib/Classes.h"
#include "htmlview/HtmlParse.h"
#include "htmlview/HtmlSubs.h"
#include "htmlview/HtmlSubs1.h"
#include "support/FixedCanvas.h"

namespace {

void LayOutAndPaint(TSectionList& root, int width)
{
    TFixedCanvas canvas(1000, 600);
    int maxWidth = 0;
    int curs = 0;
    const int height = root.LayOutAll(&canvas, 5, width, maxWidth, curs);
    root.Draw(&canvas, canvas.ClipRect(), 2000, 10, 5);
    root.SetScrollTop(height / 2);
    root.Draw(&canvas, canvas.ClipRect(), 2000, 10, 5);
    root.SetScrollTop(0);

    root.SearchText(0, "a", false);
    int xr = 0;
    int yr = 0;
    int caret = 0;
    TCell* cell = nullptr;
    bool inText = false;
    const int at = root.PositionAtPoint(&canvas, width / 2, height / 3, xr, yr, caret, cell, inText);
    TUrlTarget link;
    TFormControlObj* control = nullptr;
    root.LinkAtPoint(&canvas, width / 3, height / 2, link, control);
    root.SelectionBegin = at > 0 ? at / 2 : 0;
    root.SelectionEnd = root.Len;
    root.SelectedText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes = InputBytes(data, size);
    const int width = size > 0 ? 40 + data[0] * 4 : 400;

    TSectionList root(nullptr, nullptr);
    root.GetImage = [](TObject*, const AnsiString&, TMemoryStream*&) {};
    TStringList anchors;
    THtmlParseInfo info;
    try {
        ParseHtmlBuffer(root, anchors, bytes, {}, info);
    } catch (const EParseError&) {
    }
    LayOutAndPaint(root, width);
    root.Clear();

    TStringList lines;
    lines.SetText(bytes);
    try {
        ParseTextStrings(root, anchors, lines);
    } catch (const EParseError&) {
    }
    LayOutAndPaint(root, width);
    root.Clear();
    SetOpenForm(nullptr);
    return 0;
}
