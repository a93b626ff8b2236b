// Documents built through the sections' own constructors and laid out on
// the fixed-metrics canvas: every character 7 pixels wide, every line 16
// high with a descent of 4 (ascent 12).
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "htmlview/HtmlBuild.h"
#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlImages.h"
#include "htmlview/HtmlParse.h"
#include "htmlview/HtmlTables.h"
#include "htmlview/HtmlTextSection.h"
#include "support/FixedCanvas.h"

// The attributes of the first tag of html, read by the tokenizer.
inline TAttributeList Tag(const std::string& html)
{
    TAttributeList list;
    const std::vector<HtmlToken> tokens = TokenizeHtml(html);
    if (!tokens.empty())
        for (const TAttribute& a : tokens.front().Attributes)
            list.Add(a.Symbol, a.Value, a.Text);
    return list;
}

// Pictures served by name through the document's image request event.
struct TPictureServer {
    std::map<std::string, std::string> pictures;
    std::map<std::string, std::unique_ptr<TMemoryStream>> streams;
    TGetImageEvent Handler()
    {
        return [this](TObject*, const CodePageString& source, TMemoryStream*& stream) {
            auto it = pictures.find(source);
            if (it == pictures.end())
                return;
            auto& s = streams[source];
            s = std::make_unique<TMemoryStream>();
            s->Write(it->second.data(), std::int64_t(it->second.size()));
            stream = s.get();
        };
    }
    void AddBitmap(const std::string& name, int width, int height)
    {
        pictures[name] = TBitmap(width, height).SaveToBytes();
    }
};

// A text section that counts how often it is measured, laid out and painted.
class TCountingSection : public TSection {
public:
    using TSection::TSection;
    int Ranges = 0;
    int Layouts = 0;
    int Draws = 0;
    void WidthRange(TCanvas* canvas, int& min, int& max) override
    {
        ++Ranges;
        TSection::WidthRange(canvas, min, max);
    }
    int LayOutBlock(TCanvas* canvas, int y, IndentManager& imgr, int& maxWidth, int& curs) override
    {
        ++Layouts;
        return TSection::LayOutBlock(canvas, y, imgr, maxWidth, curs);
    }
    int Draw(TCanvas* canvas, const TRect& aRect, IndentManager& imgr, int x, int y) override
    {
        ++Draws;
        return TSection::Draw(canvas, aRect, imgr, x, y);
    }
};

class DocumentTest : public ::testing::Test {
protected:
    DocumentTest()
    {
        host.GetImage = server.Handler();
        font.SetNormalSize(&root, 12);
        font.SetFont(&root, root.FontColor);
    }
    ~DocumentTest() override
    {
        root.Clear();
        host.Cache.Clear();
    }

    template <class T, class... Args>
    T* Add(Args&&... args)
    {
        auto section = std::make_unique<T>(&root, std::forward<Args>(args)...);
        T* raw = section.get();
        root.Add(std::move(section));
        return raw;
    }
    TSection* Text(const std::string& text, TJustify justify = jLeft)
    {
        return AddText<TSection>(root, text, justify);
    }
    // A text section of kind T at the end of cell.
    template <class T = TSection>
    T* AddText(TCell& cell, const std::string& text, TJustify justify = jLeft)
    {
        auto section = std::make_unique<T>(&root, 0, font, nullptr, justify);
        section->AddText(text);
        T* raw = section.get();
        cell.Add(std::move(section));
        return raw;
    }
    // Preformatted text, filled before it joins the document (an empty one
    // gets a blank as it joins).
    TPreFormated* Pre(const std::string& text)
    {
        auto section = std::make_unique<TPreFormated>(&root, 0, font, nullptr, jLeft);
        section->AddText(text);
        TPreFormated* raw = section.get();
        root.Add(std::move(section));
        return raw;
    }
    int Layout(int width)
    {
        int maxWidth = 0;
        int curs = 0;
        return root.LayOutAll(&canvas, 0, width, maxWidth, curs);
    }
    void Paint(int width)
    {
        canvas.Clear();
        root.Draw(&canvas, canvas.ClipRect(), width, 0, 0);
    }
    // The texts a line of a section holds.
    static std::vector<std::string> LineTexts(const TSection& section)
    {
        std::vector<std::string> lines;
        for (const LineRec& line : section.Lines)
            lines.push_back(section.Buff.substr(std::size_t(line.Start), std::size_t(line.Ln)));
        return lines;
    }
    // Where each text was drawn.
    std::map<std::string, TPoint> TextPositions() const
    {
        std::map<std::string, TPoint> at;
        for (const TCanvasOp& op : canvas.Ops())
            if (op.kind == TCanvasOp::Text)
                at[op.text] = op.points.front();
        return at;
    }

    // The host holds the document's image cache: it outlives the document.
    TStandaloneHost host;
    TSectionList root{host};
    TFixedCanvas canvas{1000, 1000};
    TMyFont font;
    TPictureServer server;
};
