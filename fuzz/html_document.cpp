// A whole page as the viewer takes it: read by the document builder, laid
// out at a width the input chooses, painted twice (at the top and half way
// down) on the fixed-metrics canvas, searched, selected and copied; and the
// same bytes read as plain text. Pictures are asked for and never given, so
// no file is read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "DocumentProbe.h"
#include "FuzzSupport.h"
#include "classlib/Classes.h"
#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlBuild.h"
#include "htmlview/HtmlTables.h"
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

    ProbeDocument(root, &canvas, width, height);
}

void Read(const std::string& bytes)
{
    const int width = bytes.empty() ? 400 : 40 + static_cast<unsigned char>(bytes[0]) * 4;
    TStandaloneHost host;
    host.GetImage = [](TObject*, const CodePageString&, TMemoryStream*&) {};
    TSectionList root(host);
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
}

}  // namespace

// The toolkit and its fonts start once, with every kind of form control,
// before the inputs are counted: what they keep for the life of the process
// is no leak of an input.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Read("<form><input><input type=checkbox><input type=radio><input type=submit><select><option>a</select>"
         "<select size=3><option>b</select><textarea>c</textarea></form>");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Read(InputBytes(data, size));
    return 0;
}
