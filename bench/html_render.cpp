// Pages read, laid out 780 pixels wide and painted whole (page after page
// of 800 x 1000 pixels into an image), by the HTML viewer's document model
// and by Qt's QTextDocument (setHtml, a text width, the full layout forced by
// asking for the size, drawContents), both with the same default font. The
// pages:
//   page     1 MB of headings, text, tables and lists
//   large    10 MB of the same
//   nested   tables nested 8 deep, text at every level (35 KB)
//   span     a table of 5,000 rows whose first cell spans them all
//   cells    a table of 1,000,000 cells (100,000 rows of 10)
// Each side is its own process:
//
//   bench_html_render [ROUNDS]            every page, ROUNDS rounds (default 5)
//   bench_html_render PAGE [ROUNDS]       one page
//   bench_html_render generate PAGE FILE  writes a page
//   bench_html_render viewer FILE         the viewer's side
//   bench_html_render qt FILE             QTextDocument's side
//
// Each side prints figures over regions from the bytes in memory on:
// "load_s" (the page read into a document), "layout_s" (laid out at 780
// pixels), "paint_s" (every page painted), "relayout_s" (laid out again at
// 700 pixels, as a resize does), "screen_ms" (one screen painted, the mean
// of 20 screens spread over the document) and "render_s" (load, layout and
// paint). The rounds run with QT_QPA_PLATFORM=offscreen on both sides; they
// also give each side's whole time and peak memory.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTextDocument>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Rounds.h"
#include "classlib/Graphics.h"
#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlBuild.h"

namespace {

constexpr int PageWidth = 800;
constexpr int PageHeight = 1000;
constexpr int Margin = 10;
constexpr int ResizedWidth = 700;
constexpr int Screens = 20;

// Words drawn from a fixed sequence, so that every page is the same on every run.
class TWords {
public:
    const char* Next()
    {
        static const char* const words[] = {"garden", "spade", "rake", "hoe",    "seed",  "tray", "water", "soil",
                                            "summer", "autumn", "plant", "grow", "the",   "and",  "of",    "for"};
        FState = FState * 1103515245u + 12345u;
        return words[(FState >> 16) % 16];
    }
    std::string Text(int words)
    {
        std::string text;
        for (int w = 0; w < words; ++w)
            text += std::string(w ? " " : "") + Next();
        return text;
    }

private:
    unsigned FState = 1;
};

std::string Almanac(std::size_t targetBytes)
{
    TWords words;
    std::string html = "<html><head><title>Garden almanac</title></head><body>\n";
    for (int section = 1; html.size() < targetBytes; ++section) {
        html += "<h2>Section " + std::to_string(section) + "</h2>\n<p>";
        for (int w = 0; w < 70; ++w) {
            html += w % 11 == 3   ? std::string("<b>") + words.Next() + "</b> "
                    : w % 13 == 5 ? std::string("<a href=\"x.htm\">") + words.Next() + "</a> "
                                  : std::string(words.Next()) + " ";
        }
        html += "</p>\n<table border=1 cellpadding=2 width=90%>\n";
        for (int r = 0; r < 5; ++r) {
            html += "<tr>";
            for (int c = 0; c < 4; ++c)
                html += "<td>" + words.Text(2) + "</td>";
            html += "</tr>\n";
        }
        html += "</table>\n<ul>";
        for (int i = 0; i < 4; ++i)
            html += "<li>" + words.Text(3) + "</li>";
        html += "</ul>\n";
    }
    return html + "</body></html>\n";
}

// Each level: a paragraph beside the next level, and two cells of text
// below them, as the layout pages of the late 1990s nest their tables.
std::string NestedLevel(TWords& words, int depth)
{
    const std::string text = "<p>" + words.Text(420) + "</p>";
    if (depth == 0)
        return text + text;
    return "<table border=1 cellpadding=2 width=100%>\n<tr><td valign=top>" + text + "</td><td>" +
           NestedLevel(words, depth - 1) + "</td></tr>\n<tr><td>" + words.Text(140) + "</td><td>" + words.Text(140) +
           "</td></tr>\n</table>\n";
}

std::string Nested()
{
    TWords words;
    return "<html><body>\n" + NestedLevel(words, 8) + "</body></html>\n";
}

std::string Span()
{
    TWords words;
    std::string html = "<html><body>\n<table border=1 cellpadding=2>\n";
    for (int r = 0; r < 5000; ++r) {
        html += "<tr>";
        if (r == 0)
            html += "<td rowspan=5000 valign=top>" + words.Text(30) + "</td>";
        html += "<td>" + std::to_string(r + 1) + "</td><td>" + words.Text(4) + "</td><td>" + words.Text(2) +
                "</td></tr>\n";
    }
    return html + "</table>\n</body></html>\n";
}

std::string Cells()
{
    TWords words;
    std::string html = "<html><body>\n<table border=1>\n";
    for (int r = 0; r < 100000; ++r) {
        html += "<tr>";
        for (int c = 0; c < 10; ++c)
            html += std::string("<td>") + words.Next() + "</td>";
        html += "</tr>\n";
    }
    return html + "</table>\n</body></html>\n";
}

struct TPage {
    const char* Name;
    std::function<std::string()> Make;
};

const std::vector<TPage>& Pages()
{
    static const std::vector<TPage> pages = {
        {"page", [] { return Almanac(1024 * 1024); }},
        {"large", [] { return Almanac(10 * 1024 * 1024); }},
        {"nested", Nested},
        {"span", Span},
        {"cells", Cells},
    };
    return pages;
}

std::string ReadFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

using TClock = std::chrono::steady_clock;

double Seconds(TClock::time_point since)
{
    return std::chrono::duration<double>(TClock::now() - since).count();
}

// The screens painted for screen_ms: spread evenly from the top to the last
// screen of the document.
int ScreenTop(int screen, int height)
{
    const int last = std::max(0, height - PageHeight);
    return int(static_cast<long long>(last) * screen / (Screens - 1));
}

int Viewer(const std::string& html)
{
    TBitmap page(PageWidth, PageHeight);
    TCanvas* canvas = page.Canvas();
    const auto start = TClock::now();
    TStandaloneHost host;
    TSectionList root(host);
    TStringList anchors;
    THtmlParseInfo info;
    ParseHtmlBuffer(root, anchors, html, {}, info);
    const double load = Seconds(start);

    auto mark = TClock::now();
    int maxWidth = 0;
    int curs = 0;
    const int height = root.LayOutAll(canvas, Margin, PageWidth - 2 * Margin, maxWidth, curs) + 2 * Margin;
    const double layout = Seconds(mark);

    const auto paintScreen = [&](int top) {
        canvas->Brush()->SetColor(clWhite);
        canvas->FillRect(Rect(0, 0, PageWidth, PageHeight));
        root.SetScrollTop(top);
        root.Draw(canvas, Rect(0, 0, PageWidth, PageHeight), 2000, Margin, Margin);
    };
    mark = TClock::now();
    int pages = 0;
    for (int y = 0; y < height; y += PageHeight, ++pages)
        paintScreen(y);
    const double paint = Seconds(mark);
    const double render = Seconds(start);

    mark = TClock::now();
    for (int s = 0; s < Screens; ++s)
        paintScreen(ScreenTop(s, height));
    const double screen = Seconds(mark) / Screens;

    mark = TClock::now();
    curs = 0;
    root.LayOutAll(canvas, Margin, ResizedWidth - 2 * Margin, maxWidth, curs);
    const double relayout = Seconds(mark);

    bench::PrintFigure("load_s", load);
    bench::PrintFigure("layout_s", layout);
    bench::PrintFigure("paint_s", paint);
    bench::PrintFigure("render_s", render);
    bench::PrintFigure("screen_ms", screen * 1000);
    bench::PrintFigure("relayout_s", relayout);
    std::printf("height %d pages %d\n", height, pages);
    return 0;
}

int TextDocument(const std::string& html)
{
    // The same kind of image as the viewer's bitmap.
    QImage page(PageWidth, PageHeight, QImage::Format_ARGB32);
    const auto start = TClock::now();
    QTextDocument doc;
    // The viewer's default font: Times New Roman at 12 points, which the
    // class library draws as Liberation Serif at 16 pixels. Left to itself the
    // document would set the page in the application's smaller font, on
    // fewer pages.
    QFont font("Liberation Serif");
    font.setPixelSize(16);
    doc.setDefaultFont(font);
    doc.setHtml(QString::fromLatin1(html.data(), qsizetype(html.size())));
    const double load = Seconds(start);

    auto mark = TClock::now();
    doc.setTextWidth(PageWidth - 2 * Margin);
    const int height = int(doc.size().height()) + 2 * Margin;
    const double layout = Seconds(mark);

    const auto paintScreen = [&](int top) {
        // The page is cleared the way the viewer's canvas clears it.
        QPainter painter(&page);
        painter.fillRect(QRect(0, 0, PageWidth, PageHeight), Qt::white);
        painter.translate(Margin, Margin - top);
        doc.drawContents(&painter, QRectF(0, top - Margin, PageWidth, PageHeight));
    };
    mark = TClock::now();
    int pages = 0;
    for (int y = 0; y < height; y += PageHeight, ++pages)
        paintScreen(y);
    const double paint = Seconds(mark);
    const double render = Seconds(start);

    mark = TClock::now();
    for (int s = 0; s < Screens; ++s)
        paintScreen(ScreenTop(s, height));
    const double screen = Seconds(mark) / Screens;

    mark = TClock::now();
    doc.setTextWidth(ResizedWidth - 2 * Margin);
    (void)doc.size();
    const double relayout = Seconds(mark);

    bench::PrintFigure("load_s", load);
    bench::PrintFigure("layout_s", layout);
    bench::PrintFigure("paint_s", paint);
    bench::PrintFigure("render_s", render);
    bench::PrintFigure("screen_ms", screen * 1000);
    bench::PrintFigure("relayout_s", relayout);
    std::printf("height %d pages %d\n", height, pages);
    return 0;
}

int Compare(const std::string& self, const std::vector<const TPage*>& pages, int rounds)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("bench_html_render." + std::to_string(::getpid()));
    fs::create_directories(folder);
    int status = 0;
    for (const TPage* page : pages) {
        const std::string file = (folder / (std::string(page->Name) + ".htm")).string();
        const std::string html = page->Make();
        std::ofstream(file, std::ios::binary) << html;
        std::printf("\n=== %s: %zu bytes\n", page->Name, html.size());
        std::fflush(stdout);
        bench::TRoundsOptions options;
        options.Rounds = rounds;
        status |= bench::CompareSides({"viewer", {self, "viewer", file}}, {"qt", {self, "qt", file}}, options);
    }
    fs::remove_all(folder);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string mode = argc > 1 ? argv[1] : "";
    const auto pageNamed = [](const std::string& name) -> const TPage* {
        for (const TPage& page : Pages())
            if (name == page.Name)
                return &page;
        return nullptr;
    };
    if (mode == "generate") {
        const TPage* page = argc == 4 ? pageNamed(argv[2]) : nullptr;
        if (!page) {
            std::fprintf(stderr, "usage: bench_html_render generate page|large|nested|span|cells FILE\n");
            return 2;
        }
        std::ofstream(argv[3], std::ios::binary) << page->Make();
        return 0;
    }
    if ((mode == "viewer" || mode == "qt") && argc == 3) {
        QApplication app(argc, argv);
        const std::string html = ReadFile(argv[2]);
        return mode == "viewer" ? Viewer(html) : TextDocument(html);
    }
    std::vector<const TPage*> pages;
    int rounds = 5;
    if (const TPage* page = pageNamed(mode)) {
        pages.push_back(page);
        if (argc > 2)
            rounds = std::max(5, std::atoi(argv[2]));
    } else if (mode.empty() || std::atoi(mode.c_str()) > 0) {
        for (const TPage& page : Pages())
            pages.push_back(&page);
        if (!mode.empty())
            rounds = std::max(5, std::atoi(mode.c_str()));
    } else {
        std::fprintf(stderr, "usage: bench_html_render [page|large|nested|span|cells] [ROUNDS]\n"
                             "       bench_html_render generate PAGE FILE | viewer FILE | qt FILE\n");
        return 2;
    }
    return Compare(bench::SelfPath(argv[0]), pages, rounds);
}
